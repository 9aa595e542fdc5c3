#include <gtest/gtest.h>

#include <thread>

#include "addin/outlook_thread_bridge.h"
#include "com/module_lock.h"
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

TEST(OutlookThreadBridge, StopEventOrTimeLimitEndsTheWaitAndTheCallNeverRuns)
{
    for (const bool stopped : {true, false}) {
        SCOPED_TRACE(stopped ? "stop event" : "time limit");
        OutlookThreadBridge* bridge = OutlookThreadBridge::Create();
        ASSERT_NE(bridge, nullptr);
        bridge->SetCallTimeout(stopped ? OutlookThreadBridge::kDefaultCallTimeoutMs : 200);
        Recorded recorded;
        UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        HRESULT result = E_FAIL;
        // The owner thread does not serve its queue (as in a final release, or an Outlook that
        // hangs): only the stop event or the time limit ends the wait.
        std::thread worker([&] { result = bridge->Run(RecordThread, &recorded, stop.get()); });
        if (stopped) {
            Sleep(100);
            SetEvent(stop.get());
        }
        worker.join();
        EXPECT_EQ(result, stopped ? kBridgeStopped : kBridgeTimedOut);
        // Served late, the abandoned request is dropped unrun.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        delete bridge;
        EXPECT_EQ(recorded.calls, 0);
    }
}

HRESULT ReadModuleLocks(void* context)
{
    *static_cast<LONG*>(context) = ModuleLockCount();
    return S_OK;
}

TEST(OutlookThreadBridge, CallRunsUnderALockOnTheModule)
{
    // Outlook may release the add-in (and with it the add-in's lock) inside the call.
    OutlookThreadBridge* bridge = OutlookThreadBridge::Create();
    ASSERT_NE(bridge, nullptr);
    const LONG baseline = ModuleLockCount();
    LONG inside = baseline;
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        bridge->Run(ReadModuleLocks, &inside, nullptr);
        SetEvent(done.get());
    });
    ServeUntilDone(worker, done.get());
    EXPECT_GT(inside, baseline);
    EXPECT_EQ(ModuleLockCount(), baseline);
    delete bridge;
}

} // namespace
