// What the hold for Outlook's writes costs an Outlook that is not writing: the time it adds
// before the end, and its processor time.
//
// The simulated Outlook (OUTLOOK.EXE) loads the registered Vantrel.dll, has one data file in its
// Session.Stores that nobody writes, and closes its last Explorer with a Delay of 1 s; the worker
// counts down, winds down and ends the process. Each round runs it with the hold switched off
// ("WaitForWrites" "0") and on (the default, 60 s), and takes the difference of the two runs'
// wall time (CreateProcess to the process's end) and processor time (see RunChild). Two of the
// hold's samples fall within the wind-down and one comes a second after Outlook's windows were
// asked to close, so the goal is at most that one second (one sample) of extra time. Since a
// run's processor time moves by tens of milliseconds from one run to the next, the cost of one
// sample is also measured on its own: this program samples the same quiet data file and the
// process's write count many times and reads its thread's processor time (GetThreadTimes).
// Prints figures only.
//
//   bench_write_hold_bench.exe [rounds]          (9 when not given)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shutdown/write_watch.h"
#include "support/bench_support.h"
#include "support/test_support.h"

namespace {

constexpr int kDefaultRounds = 9;
constexpr int kSamples = 20000;

double ThreadCpuMs()
{
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

// Processor time and wall time of one sample of a quiet data file and of the process's write
// count, in microseconds.
void MeasureOneSample(const std::string& store)
{
    const std::wstring path(store.begin(), store.end());
    WriteWatch watch({{1, path}}); // no log is open here, so its lines cost nothing
    const double cpuBefore = ThreadCpuMs(), wallBefore = NowMs();
    int writing = 0;
    for (int i = 0; i < kSamples; ++i)
        writing += watch.Sample() ? 1 : 0;
    const double cpuUs = (ThreadCpuMs() - cpuBefore) * 1000.0 / kSamples;
    const double wallUs = (NowMs() - wallBefore) * 1000.0 / kSamples;
    std::printf("\nOne sample of one quiet data file and the process's write count, over %d samples: %.1f us of "
                "processor time, %.1f us of wall time (%d saw a write).\n",
                kSamples, cpuUs, wallUs, writing);
    std::printf("RESULT hold_sample_cpu_us=%.1f\nRESULT hold_sample_wall_us=%.1f\n", cpuUs, wallUs);
}

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
    MeasureOneSample(store);
    std::printf("\n");

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
                "RESULT hold_extra_wall_max=%.0f\nRESULT hold_cpu=%.0f\nRESULT hold_base_cpu=%.0f\n"
                "RESULT hold_base_wall_spread=%.0f\n",
                rounds, wall.median, wall.min, wall.max, cpu.median, baseCpu.median, baseWall.max - baseWall.min);
    return 0;
}
