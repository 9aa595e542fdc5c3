// How long Outlook's final release of the add-in is blocked when it comes during the countdown.
//
// Each run starts this program again as a child host (the shutdown worker ends its own process
// when it is not released in time, so that never happens in the program that reports). The host
// loads Vantrel.dll, closes its only Explorer with the exit dialog shown and a Delay of 5 s, serves
// the worker's calls on its own thread until Quit has been called and the dialog is up, lets the
// countdown run one more second, calls OnDisconnection and times the final Release. Prints
// figures only.
//
//   bench_release_bench.exe [runs]          (5 when not given)
//   bench_release_bench.exe --child FILE    (one host; used by the parent)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_outlook/fake_outlook.h"
#include "support/bench_support.h"

namespace {

constexpr int kDefaultRuns = 5;
constexpr DWORD kCountdownBeforeReleaseMs = 1000;
const char kDialogCaption[] = "Vantrel - Exiting Outlook...";

struct CountdownState {
    fake::FakeApplication* app;
    HWND dialog;
};

bool CountdownShown(void* context)
{
    auto* state = static_cast<CountdownState*>(context);
    state->dialog = FindWindowA(nullptr, kDialogCaption);
    return state->app->QuitCalls() > 0 && state->dialog != nullptr;
}

bool Never(void*)
{
    return false;
}

int RunHost(const std::string& resultPath)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = CreateHostWindow();
    int status = 1;
    {
        auto app = fake::FakeApplication::Create();
        auto explorer = app->AddExplorerQuietly();
        HostedAddin addin;
        HRESULT hr = addin.Start(app.Get());
        CountdownState state{app.Get(), nullptr};
        if (SUCCEEDED(hr)) {
            app->CloseExplorer(explorer.Get()); // the last window: the worker starts
            if (PumpUntil(CountdownShown, &state, 30000)) {
                PumpUntil(Never, nullptr, kCountdownBeforeReleaseMs);
                addin.Disconnect();
                const double before = NowMs();
                addin.Release();
                const double blockedMs = NowMs() - before;
                char line[100];
                std::snprintf(line, sizeof(line), "%.3f %d\n", blockedMs, IsWindow(state.dialog) ? 1 : 0);
                WriteResult(resultPath, line);
                status = 0;
            } else {
                std::fprintf(stderr, "the countdown did not show within 30 s\n");
            }
        } else {
            std::fprintf(stderr, "loading the add-in failed: 0x%08lx\n", static_cast<unsigned long>(hr));
        }
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
    if (runs < 1)
        runs = 1;

    SetUserSettings("1", "5", "1");
    std::vector<double> blocks;
    std::printf("| run | final Release blocked | dialog gone after it |\n|---:|---:|:---|\n");
    for (int run = 1; run <= runs; ++run) {
        const std::string resultPath = NewResultPath();
        const ChildRun child = RunChild("\"" + ProgramPath() + "\" --child \"" + resultPath + "\"", "", 60000);
        double blocked = 0;
        int dialogLeft = 1;
        const std::string result = ReadResult(resultPath);
        if (!child.ended || child.exitCode != 0 || std::sscanf(result.c_str(), "%lf %d", &blocked, &dialogLeft) != 2) {
            std::printf("| %d | host failed or was ended (exit code %lu) | |\n", run,
                        static_cast<unsigned long>(child.exitCode));
            continue;
        }
        blocks.push_back(blocked);
        std::printf("| %d | %.1f ms | %s |\n", run, blocked, dialogLeft ? "no" : "yes");
        std::fflush(stdout);
    }
    const Summary summary = Summarize(blocks);
    std::printf("\nFinal release during the countdown over %zu hosts: median %.1f ms, min %.1f ms, max %.1f ms.\n",
                blocks.size(), summary.median, summary.min, summary.max);
    std::printf("RESULT release_runs=%zu\nRESULT release_median=%.1f\nRESULT release_min=%.1f\n"
                "RESULT release_max=%.1f\n",
                blocks.size(), summary.median, summary.min, summary.max);
    return blocks.size() == static_cast<size_t>(runs) ? 0 : 1;
}
