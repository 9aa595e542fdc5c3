// What loading the add-in costs Outlook at start-up, in a fresh process each time.
//
// Each run starts this program again as a child host: it creates a fake Outlook with one Explorer,
// a window of its own and the common controls set up (as every Outlook has them before it loads
// an add-in), then loads Vantrel.dll with LoadLibrary, asks DllGetClassObject for
// the add-in object, calls OnConnection and OnStartupComplete, and writes the times of those
// steps to a result file. The parent prints every run and the median, minimum and maximum of
// the time from the class-object request to the return of OnStartupComplete, which is what
// Outlook's resiliency rules hold against 1,000 ms. Each host also measures what the add-in adds
// to its memory, from before LoadLibrary to after OnStartupComplete: the growth of its working
// set (GetProcessMemoryInfo; under Wine the Linux process's resident set) and of its private
// bytes, the committed private pages that VirtualQuery finds (Wine leaves the counters' private
// usage unchanged), and the DLLs that came into the host with it. The DLL is the one the
// installer ships (build/release/Vantrel.dll, stripped) when the build has made it: Wine reads a
// DLL whose sections are not page-aligned into memory whole, symbols and debug information
// included, where Windows maps it and reads only the pages used. Otherwise it is the build's
// bin/Vantrel.dll, and the memory figure counts its symbols too. Prints figures only.
//
//
// Given a previous build's DLL, each run starts one host with it beside the one with this build,
// the two in turn (which goes first alternates from run to run, so that a drift of the machine
// falls on both alike), and the start-up of both is printed side by side.
//
//   bench_load_bench.exe [runs] [--previous DLL]  (9 runs when not given; at least 7 are used)
//   bench_load_bench.exe --child FILE [DLL]       (one host; used by the parent)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fake_outlook/fake_outlook.h"
#include "support/bench_support.h"

namespace {

constexpr int kDefaultRuns = 9;
constexpr int kMinimumRuns = 7;
constexpr double kResiliencyThresholdMs = 1000;
constexpr double kMiB = 1024.0 * 1024.0;

struct MemoryFigures {
    double workingSet = 0; // bytes
    double privateBytes = 0;
};

MemoryFigures ProcessMemory()
{
    MemoryFigures figures;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        figures.workingSet = static_cast<double>(counters.WorkingSetSize);
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* address = nullptr; VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
         address = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            figures.privateBytes += static_cast<double>(region.RegionSize);
    }
    return figures;
}

// The base names of the modules loaded in this process.
std::set<std::string> LoadedModules()
{
    std::set<std::string> names;
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof(modules), &needed))
        return names;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 1024; ++i) {
        char name[MAX_PATH] = {};
        if (GetModuleBaseNameA(GetCurrentProcess(), modules[i], name, MAX_PATH))
            names.insert(name);
    }
    return names;
}

// The shipped DLL when the build has made it, otherwise the one beside this program.
std::string MeasuredDll()
{
    const std::string shipped = ProgramFolder() + "\\..\\release\\Vantrel.dll";
    if (GetFileAttributesA(shipped.c_str()) != INVALID_FILE_ATTRIBUTES)
        return shipped;
    return ProgramFolder() + "\\Vantrel.dll";
}

int RunHost(const std::string& resultPath, const std::string& dll)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = CreateHostWindow();
    // Outlook's windows are made of common controls: they are loaded and set up before any
    // add-in comes, and are no cost of the add-in's.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    int status = 1;
    {
        auto app = fake::FakeApplication::Create();
        app->AddExplorerQuietly();
        HostedAddin addin;
        const std::set<std::string> modulesBefore = LoadedModules();
        const MemoryFigures before = ProcessMemory();
        const HRESULT hr = addin.Start(app.Get(), dll);
        const MemoryFigures after = ProcessMemory();
        if (SUCCEEDED(hr)) {
            std::string added;
            for (const std::string& name : LoadedModules())
                if (!modulesBefore.count(name))
                    added += (added.empty() ? "" : ", ") + name;
            char line[200];
            std::snprintf(line, sizeof(line), "%.3f %.3f %.3f %.3f %.0f %.0f\n", addin.loadLibraryMs, addin.classObjectMs,
                          addin.connectionMs, addin.startupMs, after.workingSet - before.workingSet,
                          after.privateBytes - before.privateBytes);
            WriteResult(resultPath, line + added + "\n");
            status = 0;
        } else {
            std::fprintf(stderr, "loading the add-in failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        }
        addin.Disconnect();
    }
    DestroyWindow(window);
    CoUninitialize();
    return status;
}

// What one host measured.
struct HostFigures {
    double load = 0, classObject = 0, connection = 0, startup = 0, workingSet = 0, privateBytes = 0;
    std::string addedModules;
    unsigned long exitCode = 0;
    double Total() const { return classObject + connection + startup; }
};

// Starts one host with the DLL at `dll`; false when it failed (with its exit code kept).
bool RunOneHost(const std::string& dll, HostFigures& figures)
{
    const std::string resultPath = NewResultPath();
    const ChildRun child =
        RunChild("\"" + ProgramPath() + "\" --child \"" + resultPath + "\" \"" + dll + "\"", "", 60000);
    const std::string result = ReadResult(resultPath);
    if (!child.ended || child.exitCode != 0 ||
        std::sscanf(result.c_str(), "%lf %lf %lf %lf %lf %lf", &figures.load, &figures.classObject,
                    &figures.connection, &figures.startup, &figures.workingSet, &figures.privateBytes) != 6) {
        figures.exitCode = static_cast<unsigned long>(child.exitCode);
        return false;
    }
    const size_t newline = result.find('\n');
    if (newline != std::string::npos)
        figures.addedModules = result.substr(newline + 1, result.find('\n', newline + 1) - newline - 1);
    return true;
}

// The figures of every host of one build.
struct BuildFigures {
    std::vector<double> totals, loads, workingSets, privates;
    std::string addedModules;

    void Add(const HostFigures& host)
    {
        totals.push_back(host.Total());
        loads.push_back(host.load);
        workingSets.push_back(host.workingSet / kMiB);
        privates.push_back(host.privateBytes / kMiB);
        addedModules = host.addedModules;
    }
};

void PrintRun(int run, const HostFigures& f)
{
    std::printf("| %d | %.2f ms | %.2f ms | %.2f ms | %.2f ms | %.2f ms | %.2f MiB | %.2f MiB |\n", run, f.load,
                f.classObject, f.connection, f.startup, f.Total(), f.workingSet / kMiB, f.privateBytes / kMiB);
    std::fflush(stdout);
}

void PrintSummary(const BuildFigures& current)
{
    const Summary total = Summarize(current.totals);
    const Summary load = Summarize(current.loads);
    const Summary workingSet = Summarize(current.workingSets);
    const Summary privateBytes = Summarize(current.privates);
    std::printf("\nClass object to OnStartupComplete over %zu fresh hosts: median %.2f ms, min %.2f ms, max %.2f ms "
                "(%.2f %% of Outlook's %.0f ms start-up threshold at the median). LoadLibrary before it: median "
                "%.2f ms, max %.2f ms.\n",
                current.totals.size(), total.median, total.min, total.max,
                100.0 * total.median / kResiliencyThresholdMs, kResiliencyThresholdMs, load.median, load.max);
    std::printf("RESULT load_runs=%zu\nRESULT load_median=%.2f\nRESULT load_min=%.2f\nRESULT load_max=%.2f\n"
                "RESULT loadlibrary_median=%.2f\nRESULT loadlibrary_max=%.2f\n",
                current.totals.size(), total.median, total.min, total.max, load.median, load.max);
    std::printf("\nMemory the add-in adds to its host, from before LoadLibrary to after OnStartupComplete: working set "
                "median %.2f MiB (min %.2f, max %.2f), private bytes median %.2f MiB (min %.2f, max %.2f).\n",
                workingSet.median, workingSet.min, workingSet.max, privateBytes.median, privateBytes.min,
                privateBytes.max);
    std::printf("DLLs that came into the host with the add-in (last host): %s.\n",
                current.addedModules.empty() ? "none" : current.addedModules.c_str());
    std::printf("The host has loaded and set up the common controls before it loads the add-in, as every Outlook "
                "has; under Wine the working set is the Linux process's resident memory, so read the figure as an "
                "order of magnitude for Windows.\n");
    std::printf("RESULT workingset_added_median_mib=%.2f\nRESULT workingset_added_max_mib=%.2f\n"
                "RESULT private_added_median_mib=%.2f\nRESULT private_added_max_mib=%.2f\n",
                workingSet.median, workingSet.max, privateBytes.median, privateBytes.max);
}

void PrintSideBySide(const BuildFigures& current, const BuildFigures& previous, const std::vector<double>& differences)
{
    const Summary now = Summarize(current.totals);
    const Summary before = Summarize(previous.totals);
    const Summary difference = Summarize(differences);
    std::printf("\nSide by side, the hosts of the two builds in turn:\n\n"
                "| build | hosts | class object to OnStartupComplete, median | min | max |\n"
                "|:---|---:|---:|---:|---:|\n"
                "| this build | %zu | %.2f ms | %.2f ms | %.2f ms |\n"
                "| previous build | %zu | %.2f ms | %.2f ms | %.2f ms |\n",
                current.totals.size(), now.median, now.min, now.max, previous.totals.size(), before.median,
                before.min, before.max);
    std::printf("\nRun by run, this build's host minus the previous build's: median %+.2f ms (min %+.2f, max "
                "%+.2f) over %zu runs.\n",
                difference.median, difference.min, difference.max, differences.size());
    std::printf("RESULT side_runs=%zu\nRESULT side_median=%.2f\nRESULT previous_median=%.2f\n"
                "RESULT previous_min=%.2f\nRESULT previous_max=%.2f\nRESULT side_difference_median=%.2f\n",
                previous.totals.size(), now.median, before.median, before.min, before.max, difference.median);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0)
        return RunHost(argv[2], argc > 3 ? argv[3] : MeasuredDll());
    int runs = kDefaultRuns;
    std::string previousDll;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--previous") == 0 && i + 1 < argc)
            previousDll = argv[++i];
        else
            runs = std::atoi(argv[i]);
    }
    if (runs < kMinimumRuns)
        runs = kMinimumRuns;

    SetUserSettings("1", "5", "1");
    std::printf("Measured: %s.\n\n", MeasuredDll() == ProgramFolder() + "\\Vantrel.dll"
                                           ? "build/bin/Vantrel.dll, with its symbols (this build has no release DLL)"
                                           : "build/release/Vantrel.dll, the stripped DLL that the installer ships");
    std::printf("| run | LoadLibrary | class object + CreateInstance | OnConnection | OnStartupComplete | "
                "class object to OnStartupComplete | working set added | private bytes added |\n"
                "|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    BuildFigures current, previous;
    std::vector<double> differences; // this build's host minus the previous build's, run by run
    for (int run = 1; run <= runs; ++run) {
        double previousTotal = -1;
        const auto runPrevious = [&] {
            HostFigures before;
            if (!previousDll.empty() && RunOneHost(previousDll, before)) {
                previous.Add(before);
                previousTotal = before.Total();
            }
        };
        if (run % 2 == 0) // with a previous build, every other run starts with it
            runPrevious();
        HostFigures host;
        if (RunOneHost(MeasuredDll(), host)) {
            current.Add(host);
            PrintRun(run, host);
        } else {
            std::printf("| %d | host failed (exit code %lu) | | | | | | |\n", run, host.exitCode);
        }
        if (run % 2 == 1)
            runPrevious();
        if (previousTotal >= 0 && current.totals.size() == static_cast<size_t>(run))
            differences.push_back(current.totals.back() - previousTotal);
    }
    PrintSummary(current);
    if (!previousDll.empty())
        PrintSideBySide(current, previous, differences);
    return current.totals.size() == static_cast<size_t>(runs) ? 0 : 1;
}
