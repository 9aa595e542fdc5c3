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
//   bench_load_bench.exe [runs]          (9 when not given; at least 7 are used)
//   bench_load_bench.exe --child FILE    (one host; used by the parent)
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

int RunHost(const std::string& resultPath)
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
        const HRESULT hr = addin.Start(app.Get(), MeasuredDll());
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

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0)
        return RunHost(argv[2]);
    int runs = argc > 1 ? std::atoi(argv[1]) : kDefaultRuns;
    if (runs < kMinimumRuns)
        runs = kMinimumRuns;

    SetUserSettings("1", "5", "1");
    std::printf("Measured: %s.\n\n", MeasuredDll() == ProgramFolder() + "\\Vantrel.dll"
                                           ? "build/bin/Vantrel.dll, with its symbols (this build has no release DLL)"
                                           : "build/release/Vantrel.dll, the stripped DLL that the installer ships");
    std::vector<double> totals, loads, workingSets, privates;
    std::string addedModules;
    std::printf("| run | LoadLibrary | class object + CreateInstance | OnConnection | OnStartupComplete | "
                "class object to OnStartupComplete | working set added | private bytes added |\n"
                "|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int run = 1; run <= runs; ++run) {
        const std::string resultPath = NewResultPath();
        const ChildRun child = RunChild("\"" + ProgramPath() + "\" --child \"" + resultPath + "\"", "", 60000);
        double load = 0, classObject = 0, connection = 0, startup = 0, workingSet = 0, privateBytes = 0;
        const std::string result = ReadResult(resultPath);
        if (!child.ended || child.exitCode != 0 ||
            std::sscanf(result.c_str(), "%lf %lf %lf %lf %lf %lf", &load, &classObject, &connection, &startup,
                        &workingSet, &privateBytes) != 6) {
            std::printf("| %d | host failed (exit code %lu) | | | | | | |\n", run,
                        static_cast<unsigned long>(child.exitCode));
            continue;
        }
        const double total = classObject + connection + startup;
        totals.push_back(total);
        loads.push_back(load);
        const size_t newline = result.find('\n');
        if (newline != std::string::npos)
            addedModules = result.substr(newline + 1, result.find('\n', newline + 1) - newline - 1);
        workingSets.push_back(workingSet / kMiB);
        privates.push_back(privateBytes / kMiB);
        std::printf("| %d | %.2f ms | %.2f ms | %.2f ms | %.2f ms | %.2f ms | %.2f MiB | %.2f MiB |\n", run, load,
                    classObject, connection, startup, total, workingSet / kMiB, privateBytes / kMiB);
        std::fflush(stdout);
    }
    const Summary total = Summarize(totals);
    const Summary load = Summarize(loads);
    const Summary workingSet = Summarize(workingSets);
    const Summary privateBytes = Summarize(privates);
    std::printf("\nClass object to OnStartupComplete over %zu fresh hosts: median %.2f ms, min %.2f ms, max %.2f ms "
                "(%.2f %% of Outlook's %.0f ms start-up threshold at the median). LoadLibrary before it: median "
                "%.2f ms, max %.2f ms.\n",
                totals.size(), total.median, total.min, total.max, 100.0 * total.median / kResiliencyThresholdMs,
                kResiliencyThresholdMs, load.median, load.max);
    std::printf("RESULT load_runs=%zu\nRESULT load_median=%.2f\nRESULT load_min=%.2f\nRESULT load_max=%.2f\n"
                "RESULT loadlibrary_median=%.2f\nRESULT loadlibrary_max=%.2f\n",
                totals.size(), total.median, total.min, total.max, load.median, load.max);
    std::printf("\nMemory the add-in adds to its host, from before LoadLibrary to after OnStartupComplete: working set "
                "median %.2f MiB (min %.2f, max %.2f), private bytes median %.2f MiB (min %.2f, max %.2f).\n",
                workingSet.median, workingSet.min, workingSet.max, privateBytes.median, privateBytes.min,
                privateBytes.max);
    std::printf("DLLs that came into the host with the add-in (last host): %s.\n",
                addedModules.empty() ? "none" : addedModules.c_str());
    std::printf("The host has loaded and set up the common controls before it loads the add-in, as every Outlook "
                "has; under Wine the working set is the Linux process's resident memory, so read the figure as an "
                "order of magnitude for Windows.\n");
    std::printf("RESULT workingset_added_median_mib=%.2f\nRESULT workingset_added_max_mib=%.2f\n"
                "RESULT private_added_median_mib=%.2f\nRESULT private_added_max_mib=%.2f\n",
                workingSet.median, workingSet.max, privateBytes.median, privateBytes.max);
    return totals.size() == static_cast<size_t>(runs) ? 0 : 1;
}
