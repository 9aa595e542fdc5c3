// The leak gauge must see a deliberate leak of each kind, or a leak check built on it proves
// nothing.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com/raii.h"
#include "support/leak_gauge.h"

namespace {

// The first window, brush and thread of a process bring lasting state of their own (the
// user-interface thread's data, stock objects, helper threads), and a thread's first window
// brings its input-method window along: a window stays open while the test counts.
UniqueWindow WarmUp()
{
    UniqueWindow window(
        CreateWindowExA(0, "STATIC", "warm-up", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    UniqueGdiObject brush(CreateSolidBrush(RGB(1, 2, 3)));
    std::thread([] {}).join();
    return window;
}

TEST(LeakGaugeTest, SeesEachKindOfLeak)
{
    const UniqueWindow warmUp = WarmUp();
    const ResourceCounts before = CountResources();

    std::vector<UniqueHandle> events;
    for (int i = 0; i < 100; ++i)
        events.emplace_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(CountOpenHandles(), before.handles + 100);

    std::vector<UniqueGdiObject> brushes;
    for (int i = 0; i < 50; ++i)
        brushes.emplace_back(CreateSolidBrush(RGB(i, 0, 0)));
    EXPECT_EQ(CountGdiObjects(), before.gdiObjects + 50);

    std::vector<UniqueWindow> windows;
    for (int i = 0; i < 5; ++i) {
        windows.emplace_back(CreateWindowExA(0, "STATIC", "gauge", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                             nullptr, nullptr));
        CreateWindowExA(0, "STATIC", "child", WS_CHILD, 0, 0, 5, 5, windows.back().get(), nullptr, nullptr,
                        nullptr);
        windows.emplace_back(
            CreateWindowExA(0, "STATIC", "message-only", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    }
    EXPECT_EQ(CountUserObjects(), before.userObjects + 15);

    {
        UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        std::thread sleeper([&] { WaitForSingleObject(stop.get(), INFINITE); });
        EXPECT_EQ(CountThreads(), before.threads + 1);
        SetEvent(stop.get());
        sleeper.join();
    }

    events.clear();
    brushes.clear();
    windows.clear();
    EXPECT_EQ(CountResources(), before) << CountResources().Describe() << " vs " << before.Describe();
}

} // namespace
