// The leak gauge must see a deliberate leak of each kind, or a leak check built on it proves
// nothing.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com/raii.h"
#include "support/leak_gauge.h"

namespace {

// Holds 100 events, 50 brushes, 15 windows (popups, their children, message-only windows) and
// a thread at once, compares each count with before (unless before is null), then frees them all.
void HoldEachKind(const ResourceCounts* counted)
{
    const ResourceCounts before = counted ? *counted : ResourceCounts{};
    const auto expectCount = [counted](int now, int expected) {
        if (counted) {
            EXPECT_EQ(now, expected);
        }
    };
    std::vector<UniqueHandle> events;
    for (int i = 0; i < 100; ++i)
        events.emplace_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    expectCount(CountOpenHandles(), before.handles + 100);

    std::vector<UniqueGdiObject> brushes;
    for (int i = 0; i < 50; ++i)
        brushes.emplace_back(CreateSolidBrush(RGB(i, 0, 0)));
    expectCount(CountGdiObjects(), before.gdiObjects + 50);

    std::vector<UniqueWindow> windows;
    for (int i = 0; i < 5; ++i) {
        windows.emplace_back(CreateWindowExA(0, "STATIC", "gauge", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                             nullptr, nullptr));
        CreateWindowExA(0, "STATIC", "child", WS_CHILD, 0, 0, 5, 5, windows.back().get(), nullptr, nullptr,
                        nullptr);
        windows.emplace_back(
            CreateWindowExA(0, "STATIC", "message-only", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    }
    expectCount(CountUserObjects(), before.userObjects + 15);

    UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread sleeper([&] { WaitForSingleObject(stop.get(), INFINITE); });
    expectCount(CountThreads(), before.threads + 1);
    SetEvent(stop.get());
    sleeper.join();
}

TEST(LeakGaugeTest, SeesEachKindOfLeak)
{
    // A thread's first window brings its input-method window along, which goes with its last
    // window: one window stays open while the test counts. The first round makes whatever lasting
    // state the process builds on first use (user-interface data, stock objects, helper threads).
    const UniqueWindow keeper(
        CreateWindowExA(0, "STATIC", "keeper", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    HoldEachKind(nullptr);
    const ResourceCounts before = CountResources();
    HoldEachKind(&before);
    const ResourceCounts after = CountResources();
    EXPECT_EQ(after, before) << after.Describe() << " vs " << before.Describe();
}

} // namespace
