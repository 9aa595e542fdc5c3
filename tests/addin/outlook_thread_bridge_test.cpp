#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "addin/outlook_thread_bridge.h"
#include "com/module_lock.h"
#include "win32/raii.h"
#include "support/pump_until.h"
#include "win32/scope_exit.h"

namespace {

using Call = HRESULT (*)(void* context) noexcept;

// Work that runs a function with its context on the owner thread.
class CallWork final : public BridgeWork {
public:
    CallWork(Call call, void* context) : m_call(call), m_context(context) {}
    HRESULT Run() noexcept override { return m_call(m_context); }

private:
    Call m_call;
    void* m_context;
};

std::shared_ptr<BridgeWork> Work(Call call, void* context)
{
    return std::make_shared<CallWork>(call, context);
}

struct Recorded {
    DWORD thread = 0;
    int calls = 0;
};

HRESULT RecordThread(void* context) noexcept
{
    Recorded* recorded = static_cast<Recorded*>(context);
    recorded->thread = GetCurrentThreadId();
    ++recorded->calls;
    return S_FALSE;
}

// Runs this thread's messages until the worker has finished.
void ServeUntilDone(std::thread& worker, HANDLE done)
{
    EXPECT_TRUE(PumpUntil([done] { return IsSignalled(done); }, 30000, done));
    worker.join();
}

// Runs `call` through the bridge from another thread while this thread serves its messages.
// The work's result when it ran; E_FAIL when it did not.
HRESULT RunFromWorker(OutlookThreadBridge& bridge, Call call, void* context)
{
    HRESULT result = E_FAIL;
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        const BridgeAnswer answer = bridge.Run(Work(call, context), nullptr);
        if (answer.outcome == BridgeOutcome::Ran)
            result = answer.result;
        SetEvent(done.get());
    });
    ServeUntilDone(worker, done.get());
    return result;
}

// Waits, without taking it, until a bridge's request is in this thread's queue: woken by each
// message posted here.
bool WaitForQueuedRequest()
{
    const DWORD bound = 30000;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        char name[64] = {};
        if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) && message.hwnd &&
            GetClassNameA(message.hwnd, name, sizeof(name)) > 0 && std::string(name) == "VantrelOutlookThreadBridge")
            return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= bound)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, bound - spent, QS_POSTMESSAGE);
    }
}

TEST(OutlookThreadBridge, RunsTheCallOnTheOwnerThreadAndReturnsItsResult)
{
    const std::unique_ptr<OutlookThreadBridge> bridge = OutlookThreadBridge::Create();
    ASSERT_NE(bridge, nullptr);
    Recorded recorded;
    EXPECT_EQ(RunFromWorker(*bridge, RecordThread, &recorded), S_FALSE);
    EXPECT_EQ(recorded.thread, GetCurrentThreadId());
}

TEST(OutlookThreadBridge, StopEventOrTimeLimitEndsTheWaitAndTheCallNeverRuns)
{
    for (const bool stopped : {true, false}) {
        SCOPED_TRACE(stopped ? "stop event" : "time limit");
        std::unique_ptr<OutlookThreadBridge> bridge = OutlookThreadBridge::Create();
        ASSERT_NE(bridge, nullptr);
        UseBridgeCallTimeout(stopped ? OutlookThreadBridge::kDefaultCallTimeoutMs : 200);
        const auto usualTimeout = MakeScopeExit([] { UseBridgeCallTimeout(0); });
        Recorded recorded;
        UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        BridgeAnswer result;
        std::weak_ptr<BridgeWork> work;
        // The owner thread does not serve its queue (as in a final release, or an Outlook that
        // hangs): only the stop event or the time limit ends the wait.
        std::thread worker([&] {
            const std::shared_ptr<BridgeWork> own = Work(RecordThread, &recorded);
            work = own;
            result = bridge->Run(own, stop.get());
        });
        if (stopped) {
            // Stopped while it waits: only once its request is queued here.
            EXPECT_TRUE(WaitForQueuedRequest());
            SetEvent(stop.get());
        }
        worker.join();
        EXPECT_EQ(result.outcome, stopped ? BridgeOutcome::Stopped : BridgeOutcome::TimedOut);
        if (!stopped) {
            EXPECT_EQ(result.result, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
        }
        // The caller has let go of its work; the queued request keeps it until it is served.
        EXPECT_FALSE(work.expired()) << "abandoned work freed while the owner thread may still take it";
        // Served late, the abandoned request is dropped unrun.
        PumpUntil([] { return true; }, 0);
        bridge.reset();
        EXPECT_EQ(recorded.calls, 0);
        EXPECT_TRUE(work.expired());
    }
}

HRESULT ReadModuleLocks(void* context) noexcept
{
    *static_cast<LONG*>(context) = ModuleLockCount();
    return S_OK;
}

TEST(OutlookThreadBridge, CallRunsUnderALockOnTheModule)
{
    // Outlook may release the add-in (and with it the add-in's lock) inside the call.
    const std::unique_ptr<OutlookThreadBridge> bridge = OutlookThreadBridge::Create();
    ASSERT_NE(bridge, nullptr);
    const LONG baseline = ModuleLockCount();
    LONG inside = baseline;
    EXPECT_EQ(RunFromWorker(*bridge, ReadModuleLocks, &inside), S_OK);
    EXPECT_GT(inside, baseline);
    EXPECT_EQ(ModuleLockCount(), baseline);
}

// What a request looked like when the bridge's message carried its address: a process that
// can post to the window fills one with a function of its choice.
struct ForgedRequest {
    Call call;
    void* context;
    HRESULT result;
    HANDLE done;
    LONG abandoned;
    LONG references;
};

TEST(OutlookThreadBridge, PostedMessagesThatRunDidNotQueueAreIgnored)
{
    const std::unique_ptr<OutlookThreadBridge> bridge = OutlookThreadBridge::Create();
    ASSERT_NE(bridge, nullptr);
    const HWND window = FindWindowExA(HWND_MESSAGE, nullptr, "VantrelOutlookThreadBridge", nullptr);
    ASSERT_NE(window, nullptr);
    Recorded forgedCalls;
    UniqueHandle forgedDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ForgedRequest forged{RecordThread, &forgedCalls, E_FAIL, forgedDone.get(), 0, 1000};
    // Every message number near the bridge's, with small ids and a null one, each carrying the
    // forged request's address.
    for (UINT message = WM_APP; message <= WM_APP + 4; ++message)
        for (WPARAM id = 0; id <= 4; ++id)
            ASSERT_TRUE(PostMessageA(window, message, id, reinterpret_cast<LPARAM>(&forged)));
    DispatchPendingMessages();
    EXPECT_EQ(forgedCalls.calls, 0);
    EXPECT_FALSE(IsSignalled(forgedDone.get()));

    // The bridge still runs what Run asks, once.
    Recorded recorded;
    EXPECT_EQ(RunFromWorker(*bridge, RecordThread, &recorded), S_FALSE);
    EXPECT_EQ(recorded.calls, 1);
    EXPECT_EQ(forgedCalls.calls, 0);
}

} // namespace
