// The leak gauge must see a deliberate leak of each kind, or a leak check built on it proves
// nothing. Every count is compared once: a round that came out wrong is a failure, not a retry.
#include <gtest/gtest.h>

#include <vector>

#include "win32/raii.h"
#include "support/leak_gauge.h"

namespace {

// Holds 100 events, 50 brushes and 15 windows (popups, their children, message-only windows)
// at once, and expects the gauge to see each of them over before; then frees them all and
// expects the gauge back at before. Without before (the warm-up) it only makes and frees them.
void HoldEachKindAndLetGo(const ResourceCounts* before)
{
    {
        std::vector<UniqueHandle> events;
        for (int i = 0; i < 100; ++i)
            events.emplace_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (before) {
            EXPECT_EQ(CountOpenHandles(), before->handles + 100);
        }

        std::vector<UniqueGdiObject> brushes;
        for (int i = 0; i < 50; ++i)
            brushes.emplace_back(CreateSolidBrush(RGB(i, 0, 0)));
        if (before) {
            EXPECT_EQ(CountGdiObjects(), before->gdiObjects + 50);
        }

        std::vector<UniqueWindow> windows;
        for (int i = 0; i < 5; ++i) {
            windows.emplace_back(CreateWindowExA(0, "STATIC", "gauge", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                 nullptr, nullptr));
            CreateWindowExA(0, "STATIC", "child", WS_CHILD, 0, 0, 5, 5, windows.back().get(), nullptr, nullptr,
                            nullptr);
            windows.emplace_back(CreateWindowExA(0, "STATIC", "message-only", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                 nullptr, nullptr));
        }
        if (before) {
            EXPECT_EQ(CountUserObjects(), before->userObjects + 15);
        }
    }
    if (before) {
        const ResourceCounts after = CountResources();
        EXPECT_TRUE(after == *before) << "after letting go: " << after.Describe() << " where " << before->Describe()
                                      << " was";
    }
}

struct ThreadEvents {
    UniqueHandle running{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle stop{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

DWORD WINAPI RunUntilStopped(void* context) noexcept
{
    auto* events = static_cast<ThreadEvents*>(context);
    SetEvent(events->running.get());
    return WaitForSingleObject(events->stop.get(), INFINITE);
}

TEST(LeakGaugeTest, SeesEachKindOfLeak)
{
    // A thread's first window brings its input-method window along, which goes with its last
    // window: one window stays open while the test counts. The warm-up makes whatever lasting
    // state the process builds on first use (user-interface data, stock objects).
    const UniqueWindow keeper(
        CreateWindowExA(0, "STATIC", "keeper", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    HoldEachKindAndLetGo(nullptr);

    const ResourceCounts before = CountResources();
    HoldEachKindAndLetGo(&before);
}

TEST(LeakGaugeTest, CountsThreadsOnTheirOwn)
{
    // CreateThread, not std::thread: the MinGW thread library may add a handle of its own when
    // a thread starts or ends (see leak_gauge.h), and the handle count is checked here as well.
    const int threads = CountThreads();
    const ResourceCounts before = CountResources();
    {
        ThreadEvents events;
        ASSERT_TRUE(events.running && events.stop);
        const UniqueHandle thread(CreateThread(nullptr, 0, RunUntilStopped, &events, 0, nullptr));
        ASSERT_TRUE(thread);
        EXPECT_EQ(WaitForSingleObject(events.running.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(CountThreads(), threads + 1);
        SetEvent(events.stop.get());
        // The thread must end before events does, whatever was expected above.
        ASSERT_EQ(WaitForSingleObject(thread.get(), INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(CountThreads(), threads) << "an ended thread no longer counts once its handle is signalled";
    }
    const ResourceCounts after = CountResources();
    EXPECT_TRUE(after == before) << after.Describe() << " where " << before.Describe() << " was";
}

} // namespace
