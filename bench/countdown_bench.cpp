// What the whole shutdown worker costs in processor time, next to a busy-polling pump of the
// same length, each net of an idle host.
//
// The worker ends its own process, so it runs in a child: the simulated Outlook (OUTLOOK.EXE)
// loads the registered Vantrel.dll from Outlook's Addins key and closes its last Explorer with
// the exit dialog shown and a Delay of 5 s; the worker shows the dialog, has Outlook log off and
// quit, counts down, winds down and ends the process. An idle simulated Outlook with the add-in
// loaded then lives as long and is terminated. A child of this program busy-polls its queue
// for the same time, next to one that waits for messages as the worker's pump does. Each
// child's processor time is read with GetProcessTimes on its handle. Prints figures only.
//
//   bench_countdown_bench.exe [rounds]          (3 when not given)
//   bench_countdown_bench.exe --poll MS | --wait MS   (one pump host; used by the parent)
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/bench_support.h"

namespace {

constexpr int kDefaultRounds = 3;
const char kDelay[] = "5";

using RegisterFn = HRESULT(WINAPI*)();

// The polling pump of pump_bench: peek without removing, take what is there, loop at once.
void PollingPump(DWORD ms)
{
    const double start = NowMs();
    while (NowMs() - start < ms) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
}

bool Never(void*)
{
    return false;
}

// A host whose thread pumps for ms while another thread posts it a message every 100 ms, as
// pump_bench does (the countdown's thread gets a message at least as often).
int RunPumpHost(bool polling, DWORD ms)
{
    HWND window = CreateHostWindow();
    std::atomic<bool> done{false};
    std::thread poster([&] {
        while (!done) {
            Sleep(100);
            PostMessageA(window, WM_NULL, 0, 0);
        }
    });
    if (polling)
        PollingPump(ms);
    else
        PumpUntil(Never, nullptr, ms);
    done = true;
    poster.join();
    DestroyWindow(window);
    return 0;
}

// Registers or unregisters build/bin/Vantrel.dll through its own export.
HRESULT CallServerExport(const char* name)
{
    HMODULE module = LoadLibraryA((ProgramFolder() + "\\Vantrel.dll").c_str());
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    const auto function = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    const HRESULT hr = function ? function() : HRESULT_FROM_WIN32(GetLastError());
    FreeLibrary(module);
    return hr;
}

// A command line and the text that only it holds (a new temporary file's name, which also
// serves as the simulated Outlook's log).
struct Command {
    std::string line;
    std::string token;
    std::string file;
};

Command Unique(const std::string& before, const std::string& after)
{
    const std::string path = NewResultPath();
    return {before + "\"" + path + "\"" + after, path.substr(path.rfind('\\') + 1), path};
}

ChildRun Run(const Command& command, DWORD timeoutMs)
{
    const ChildRun run = RunChild(command.line, command.token, timeoutMs);
    DeleteFileA(command.file.c_str());
    return run;
}

Command Simulator(const std::string& steps)
{
    return Unique("\"" + ProgramFolder() + "\\sim\\OUTLOOK.EXE\" --log ", " " + steps);
}

Command PumpHost(const char* kind, DWORD ms)
{
    return Unique("\"" + ProgramPath() + "\" " + kind + " " + std::to_string(ms) + " ", "");
}

struct Round {
    ChildRun worker, idle, polling, waiting;
};

void PrintRow(int round, const char* what, const ChildRun& run)
{
    if (run.cpuFound)
        std::printf("| %d | %s | %.0f ms | %.0f ms | %lu |\n", round, what, run.wallMs, run.cpuMs,
                    static_cast<unsigned long>(run.exitCode));
    else
        std::printf("| %d | %s | %.0f ms | not found | %lu |\n", round, what, run.wallMs,
                    static_cast<unsigned long>(run.exitCode));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && (std::strcmp(argv[1], "--poll") == 0 || std::strcmp(argv[1], "--wait") == 0))
        return RunPumpHost(std::strcmp(argv[1], "--poll") == 0, static_cast<DWORD>(std::atol(argv[2])));
    int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
    if (rounds < 1)
        rounds = 1;

    const HRESULT registered = CallServerExport("DllRegisterServer");
    if (FAILED(registered)) {
        std::printf("Vantrel.dll could not be registered: 0x%08lx\n", static_cast<unsigned long>(registered));
        return 1;
    }
    SetUserSettings("1", kDelay, "1");

    std::vector<Round> results;
    std::printf("| round | child | wall time | process CPU | exit code |\n|---:|:---|---:|---:|---:|\n");
    for (int round = 1; round <= rounds; ++round) {
        Round r;
        r.worker = Run(Simulator("close-last"), 60000);
        PrintRow(round, "simulated Outlook, last window closed: the worker (exit dialog, Delay 5)", r.worker);
        const DWORD span = static_cast<DWORD>(r.worker.wallMs);
        // Ended from here after the same time: ending by itself would start the worker too.
        r.idle = Run(Simulator("wait:600000"), span);
        PrintRow(round, "simulated Outlook with the add-in, idle as long (then terminated)", r.idle);
        r.polling = Run(PumpHost("--poll", span), 60000);
        PrintRow(round, "busy-polling pump as long", r.polling);
        r.waiting = Run(PumpHost("--wait", span), 60000);
        PrintRow(round, "waiting pump host, idle as long", r.waiting);
        std::fflush(stdout);
        results.push_back(r);
    }
    CallServerExport("DllUnregisterServer");

    std::vector<double> workerNet, pollingNet, workerShare, pollingShare, walls;
    for (const Round& r : results) {
        workerNet.push_back(r.worker.cpuMs - r.idle.cpuMs);
        pollingNet.push_back(r.polling.cpuMs - r.waiting.cpuMs);
        workerShare.push_back(100.0 * workerNet.back() / r.worker.wallMs);
        pollingShare.push_back(100.0 * pollingNet.back() / r.polling.wallMs);
        walls.push_back(r.worker.wallMs);
    }
    const Summary worker = Summarize(workerNet), polling = Summarize(pollingNet);
    const Summary workerPct = Summarize(workerShare), pollingPct = Summarize(pollingShare), wall = Summarize(walls);
    std::printf("\nProcessor time read from %s.\n", results.empty() ? "" : results.front().worker.cpuSource);
    std::printf("\nMedian of %d rounds, net of the idle host: the whole worker %.1f ms of CPU over %.0f ms "
                "(%.2f %% of one core; min %.1f ms, max %.1f ms); a busy-polling pump as long %.1f ms "
                "(%.1f %% of one core; min %.1f ms, max %.1f ms).\n",
                rounds, worker.median, wall.median, workerPct.median, worker.min, worker.max, polling.median,
                pollingPct.median, polling.min, polling.max);
    std::printf("RESULT countdown_rounds=%d\nRESULT worker_wall=%.0f\nRESULT worker_cpu=%.1f\n"
                "RESULT worker_pct=%.2f\nRESULT polling_cpu=%.1f\nRESULT polling_pct=%.1f\n",
                rounds, wall.median, worker.median, workerPct.median, polling.median, pollingPct.median);
    return 0;
}
