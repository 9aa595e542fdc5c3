// What the hold for Outlook's writes costs an Outlook that is not writing: the time it adds
// before the end, and its processor time.
//
// The simulated Outlook (OUTLOOK.EXE) loads the registered Vantrel.dll, has one data file in its
// Session.Stores that nobody writes, and closes its last Explorer with a Delay of 1 s; the worker
// counts down, winds down and ends the process. Each round runs it with the hold switched off
// ("WaitForWrites" "0") and on (the default, 60 s), and takes the difference of the two runs'
// wall time (CreateProcess to the process's end) and processor time (see RunChild). The hold's
// samples fall within the wind-down, so the goal is no extra time within a sample's resolution
// (1 s). Prints figures only.
//
//   bench_write_hold_bench.exe [rounds]          (5 when not given)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/bench_support.h"
#include "support/test_support.h"

namespace {

constexpr int kDefaultRounds = 5;

void PrintRow(int round, const char* what, const ChildRun& run)
{
    char cpu[32] = "not found";
    if (run.cpuFound)
        std::snprintf(cpu, sizeof(cpu), "%.0f ms", run.cpuMs);
    std::printf("| %d | %s | %.0f ms | %s | %lu |\n", round, what, run.wallMs, cpu,
                static_cast<unsigned long>(run.exitCode));
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
    if (!RegisterServerForRuns())
        return 1;
    ScopedTempDir dir;
    const std::string store = dir.file("Outlook.pst");
    {
        UniqueFileHandle file(CreateFileA(store.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        (void)WriteFile(file.get(), "!BDN", 4, &written, nullptr);
    }
    const std::string steps = "--stores \"" + store + "\" close-last";

    std::vector<double> extraWall, extraCpu, offWall, offCpu;
    std::printf("| round | hold | wall time | process CPU | exit code |\n|---:|:---|---:|---:|---:|\n");
    for (int round = 1; round <= rounds; ++round) {
        SetUserSettings("1", "1", "0");
        SetStringSetting(HKEY_CURRENT_USER, "WaitForWrites", "0");
        const ChildRun off = Run(Simulator(steps), 60000);
        PrintRow(round, "off (WaitForWrites 0)", off);
        SetUserSettings("1", "1", "0"); // WaitForWrites missing: 60 s
        const ChildRun on = Run(Simulator(steps), 60000);
        PrintRow(round, "on (60 s), the data file quiet", on);
        std::fflush(stdout);
        extraWall.push_back(on.wallMs - off.wallMs);
        extraCpu.push_back(on.cpuMs - off.cpuMs);
        offWall.push_back(off.wallMs);
        offCpu.push_back(off.cpuMs);
    }
    CallServerExport("DllUnregisterServer");
    DeleteSettingsKeys();

    const Summary wall = Summarize(extraWall), cpu = Summarize(extraCpu);
    const Summary baseWall = Summarize(offWall), baseCpu = Summarize(offCpu);
    std::printf("\nMedian of %d rounds: the hold adds %.0f ms to the end of a quiet Outlook (min %.0f, max %.0f; "
                "one sample is 1000 ms) and %.0f ms of processor time (min %.0f, max %.0f), next to %.0f ms of "
                "processor time for the whole run without it over %.0f ms.\n",
                rounds, wall.median, wall.min, wall.max, cpu.median, cpu.min, cpu.max, baseCpu.median,
                baseWall.median);
    std::printf("RESULT hold_rounds=%d\nRESULT hold_extra_wall=%.0f\nRESULT hold_extra_wall_min=%.0f\n"
                "RESULT hold_extra_wall_max=%.0f\nRESULT hold_cpu=%.0f\nRESULT hold_base_cpu=%.0f\n",
                rounds, wall.median, wall.min, wall.max, cpu.median, baseCpu.median);
    return 0;
}
