#include <gtest/gtest.h>

#include <thread>

#include "addin/outlook_thread_bridge.h"
#include "com/raii.h"

namespace {

struct Recorded {
    DWORD thread = 0;
    int calls = 0;
};

HRESULT RecordThread(void* context)
{
    Recorded* recorded = static_cast<Recorded*>(context);
    recorded->thread = GetCurrentThreadId();
    ++recorded->calls;
    return S_FALSE;
}

// Runs this thread's messages until the worker has finished.
void ServeUntilDone(std::thread& worker, HANDLE done)
{
    while (MsgWaitForMultipleObjects(1, &done, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    worker.join();
}

TEST(OutlookThreadBridge, RunsTheCallOnTheOwnerThreadAndReturnsItsResult)
{
    OutlookThreadBridge* bridge = OutlookThreadBridge::Create();
    ASSERT_NE(bridge, nullptr);
    Recorded recorded;
    HRESULT result = E_FAIL;
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        result = bridge->Run(RecordThread, &recorded, nullptr);
        SetEvent(done.get());
    });
    ServeUntilDone(worker, done.get());
    EXPECT_EQ(result, S_FALSE);
    EXPECT_EQ(recorded.thread, GetCurrentThreadId());
    delete bridge;
}

TEST(OutlookThreadBridge, StopEventEndsTheWaitAndTheCallNeverRuns)
{
    OutlookThreadBridge* bridge = OutlookThreadBridge::Create();
    ASSERT_NE(bridge, nullptr);
    Recorded recorded;
    UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HRESULT result = E_FAIL;
    // The owner thread does not serve its queue (as in a final release): only the stop event ends the wait.
    std::thread worker([&] { result = bridge->Run(RecordThread, &recorded, stop.get()); });
    Sleep(100);
    SetEvent(stop.get());
    worker.join();
    EXPECT_EQ(result, kBridgeStopped);
    delete bridge; // drops the request still queued
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    EXPECT_EQ(recorded.calls, 0);
}

} // namespace
