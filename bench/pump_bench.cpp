// How much the countdown's message pump costs while it waits, and how quickly it answers.
//
// For each pump: the processor time that the pumping thread uses during a 10-second pump
// (GetThreadTimes), and the delay from PostMessage on another thread to the dispatch of that
// message (about 100 posts, one every 100 ms). The waiting pump (PumpMessages) is shown next
// to a busy-polling pump of the kind that peeks at the queue in a loop. Prints figures only.
//
//   bench_pump_bench.exe [waiting|polling]     (both when no argument is given)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "com/raii.h"
#include "shutdown/message_pump.h"

namespace {

constexpr DWORD kPumpSeconds = 10;
constexpr DWORD kPostIntervalMs = 100;
constexpr UINT kTimedPost = WM_APP + 1;

LARGE_INTEGER g_frequency;
std::vector<double> g_delaysMs;

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kTimedPost) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        g_delaysMs.push_back(static_cast<double>(now.QuadPart - lParam) * 1000.0 /
                             static_cast<double>(g_frequency.QuadPart));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The polling pump: peek without removing, take what is there, and loop at once.
void PollingPump(DWORD seconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
}

ULONGLONG ThreadCpu100ns()
{
    FILETIME creation, exit, kernel, user;
    GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
    const auto value = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return value(kernel) + value(user);
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[index];
}

void Measure(const char* name, void (*pump)(DWORD), HWND window)
{
    g_delaysMs.clear();
    g_delaysMs.reserve(1000);
    std::atomic<bool> done{false};
    std::thread poster([&] {
        while (!done) {
            Sleep(kPostIntervalMs);
            LARGE_INTEGER now;
            QueryPerformanceCounter(&now);
            PostMessageA(window, kTimedPost, 0, static_cast<LPARAM>(now.QuadPart));
        }
    });

    const ULONGLONG cpuBefore = ThreadCpu100ns();
    const double wallBefore = NowMs();
    pump(kPumpSeconds);
    const double wallMs = NowMs() - wallBefore;
    const double cpuMs = static_cast<double>(ThreadCpu100ns() - cpuBefore) / 10000.0;
    done = true;
    poster.join();

    std::printf("%-8s pump %5.0f ms: thread CPU %8.1f ms = %6.2f %% of one core; "
                "dispatch delay over %zu posts: median %.3f ms, 95th %.3f ms, max %.3f ms\n",
                name, wallMs, cpuMs, 100.0 * cpuMs / wallMs, g_delaysMs.size(), Percentile(g_delaysMs, 0.5),
                Percentile(g_delaysMs, 0.95), Percentile(g_delaysMs, 1.0));
    std::fflush(stdout);
}

void WaitingPump(DWORD seconds)
{
    PumpMessages(seconds);
}

} // namespace

int main(int argc, char** argv)
{
    QueryPerformanceFrequency(&g_frequency);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VantrelPumpBenchWindow";
    RegisterClassA(&windowClass);
    UniqueWindow window(CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        windowClass.hInstance, nullptr));
    if (!window) {
        std::printf("no window could be created (is there a display?)\n");
        return 1;
    }

    const char* which = argc > 1 ? argv[1] : "";
    if (!*which || std::strcmp(which, "waiting") == 0)
        Measure("waiting", WaitingPump, window.get());
    if (!*which || std::strcmp(which, "polling") == 0)
        Measure("polling", PollingPump, window.get());
    return 0;
}
