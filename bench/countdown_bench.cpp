// What the whole shutdown worker costs in processor time, next to a busy-polling pump of the
// same length, each net of an idle host.
//
// The worker ends its own process, so it runs in a child: the simulated Outlook (OUTLOOK.EXE)
// loads the registered Vantrel.dll from Outlook's Addins key and closes its last Explorer with
// the exit dialog shown and a Delay of 5 s; the worker shows the dialog, has Outlook log off and
// quit, counts down, winds down and ends the process. An idle simulated Outlook with the add-in
// loaded then lives as long and is terminated. A child of this program busy-polls its queue
// for the same time, next to one that waits for messages as the worker's pump does. Each
// child's processor time is read with GetProcessTimes on its handle (under Wine from /proc, with
// the Wine server's share beside it; see RunChild). Prints figures only.
//
//   bench_countdown_bench.exe [rounds]          (3 when not given)
//   bench_countdown_bench.exe --poll MS | --wait MS   (one pump host; used by the parent)
#include <windows.h>

#include <atomic>
#include <algorithm>
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

Command PumpHost(const char* kind, DWORD ms)
{
    return Unique("\"" + ProgramPath() + "\" " + kind + " " + std::to_string(ms) + " ", "");
}

struct Round {
    ChildRun worker, idle, polling, waiting;
};

void PrintRow(int round, const char* what, const ChildRun& run)
{
    char cpu[32] = "not found", server[32] = "not measured";
    if (run.cpuFound)
        std::snprintf(cpu, sizeof(cpu), "%.0f ms", run.cpuMs);
    if (run.serverCpuMs >= 0)
        std::snprintf(server, sizeof(server), "%.0f ms", run.serverCpuMs);
    std::printf("| %d | %s | %.0f ms | %s | %s | %lu |\n", round, what, run.wallMs, cpu, server,
                static_cast<unsigned long>(run.exitCode));
}

// Runs the rounds, printing each child's row as it ends.
std::vector<Round> RunRounds(int rounds)
{
    std::vector<Round> results;
    std::printf("| round | child | wall time | process CPU | Wine server CPU meanwhile | exit code |\n"
                "|---:|:---|---:|---:|---:|---:|\n");
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
    return results;
}

// Prints the medians over the rounds, net of the idle host, and their RESULT lines.
void PrintSummary(const std::vector<Round>& results, int rounds)
{
    // Net of the idle host; "with the server" adds what the Wine server did for each child.
    const auto server = [](const ChildRun& run) { return run.serverCpuMs > 0 ? run.serverCpuMs : 0; };
    std::vector<double> workerNet, pollingNet, workerAll, pollingAll, workerShare, pollingShare, walls;
    bool serverKnown = !results.empty();
    for (const Round& r : results) {
        workerNet.push_back(r.worker.cpuMs - r.idle.cpuMs);
        pollingNet.push_back(r.polling.cpuMs - r.waiting.cpuMs);
        workerAll.push_back(workerNet.back() + server(r.worker) - server(r.idle));
        pollingAll.push_back(pollingNet.back() + server(r.polling) - server(r.waiting));
        workerShare.push_back(100.0 * workerAll.back() / r.worker.wallMs);
        pollingShare.push_back(100.0 * pollingAll.back() / r.polling.wallMs);
        walls.push_back(r.worker.wallMs);
        serverKnown = serverKnown && r.worker.serverCpuMs >= 0;
    }
    const Summary worker = Summarize(workerNet), polling = Summarize(pollingNet);
    const Summary workerWith = Summarize(workerAll), pollingWith = Summarize(pollingAll);
    const Summary workerPct = Summarize(workerShare), pollingPct = Summarize(pollingShare), wall = Summarize(walls);
    std::printf("\nProcessor time read from %s%s.\n", results.empty() ? "" : results.front().worker.cpuSource,
                serverKnown ? "; the Wine server's from its own /proc/PID/stat" : "");
    std::printf("\nMedian of %d rounds, net of the idle host: the whole worker %.0f ms of its process's CPU "
                "(min %.0f, max %.0f), %.0f ms with the server's share (min %.0f, max %.0f), over %.0f ms: "
                "%.2f %% of one core. A busy-polling pump as long: %.0f ms (min %.0f, max %.0f), %.0f ms with "
                "the server's share (min %.0f, max %.0f): %.1f %% of one core.\n",
                rounds, worker.median, worker.min, worker.max, workerWith.median, workerWith.min, workerWith.max,
                wall.median, workerPct.median, polling.median, polling.min, polling.max, pollingWith.median,
                pollingWith.min, pollingWith.max, pollingPct.median);
    std::printf("RESULT countdown_rounds=%d\nRESULT worker_wall=%.0f\nRESULT worker_cpu=%.0f\n"
                "RESULT worker_total=%.0f\nRESULT worker_total_min=%.0f\nRESULT worker_total_max=%.0f\n"
                "RESULT worker_pct=%.2f\nRESULT polling_cpu=%.0f\nRESULT polling_total=%.0f\n"
                "RESULT polling_pct=%.1f\n",
                rounds, wall.median, worker.median, workerWith.median, workerWith.min, workerWith.max,
                workerPct.median, polling.median, pollingWith.median, pollingPct.median);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && (std::strcmp(argv[1], "--poll") == 0 || std::strcmp(argv[1], "--wait") == 0))
        return RunPumpHost(std::strcmp(argv[1], "--poll") == 0, static_cast<DWORD>(std::atol(argv[2])));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
    if (!RegisterServerForRuns())
        return 1;
    SetUserSettings("1", kDelay, "1");

    const std::vector<Round> results = RunRounds(rounds);
    CallServerExport("DllUnregisterServer");

    PrintSummary(results, rounds);
    return 0;
}
