#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "win32/raii.h"
#include "shutdown/message_pump.h"

namespace {

constexpr DWORD kGenerousWaitMs = 10000;
// Long enough that a pump which does not stop when told fails the test clearly.
constexpr DWORD kLongPumpSeconds = 30;

constexpr UINT kPosted = WM_APP + 1;
constexpr UINT kThreadMessage = WM_APP + 2;
constexpr UINT kStopRequest = WM_APP + 3;
constexpr UINT kSent = WM_APP + 4;

// A window of the test thread that records what is dispatched to it, and sets events on
// request: charSeen when it gets a WM_CHAR, stop when it gets kStopRequest.
class RecordingWindow {
public:
    RecordingWindow()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VantrelPumpTestWindow";
        RegisterClassA(&windowClass); // fails harmlessly from the second window on
        m_window.reset(CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                       nullptr, windowClass.hInstance, nullptr));
        SetWindowLongPtrA(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    HWND get() const { return m_window.get(); }
    const std::vector<UINT>& messages() const { return m_messages; }
    UniqueHandle charSeen{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle stop{CreateEventA(nullptr, FALSE, FALSE, nullptr)};

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && (message >= WM_APP || message == WM_KEYDOWN || message == WM_CHAR)) {
            self->m_messages.push_back(message);
            if (message == WM_CHAR)
                SetEvent(self->charSeen.get());
            if (message == kStopRequest)
                SetEvent(self->stop.get());
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    UniqueWindow m_window;
    std::vector<UINT> m_messages;
};

bool QueueHolds(UINT message)
{
    MSG msg;
    return PeekMessageA(&msg, nullptr, message, message, PM_NOREMOVE) != FALSE;
}

void EmptyQueue()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(PumpMessages, QuitMessageDoesNotEndItNorTheNextOne)
{
    EmptyQueue();
    RecordingWindow window;
    PostQuitMessage(0);
    PostMessageA(window.get(), kPosted, 0, 0);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const DWORD before = GetTickCount();
        PumpMessages(1);
        const DWORD elapsed = GetTickCount() - before;

        EXPECT_GE(elapsed, 1000u) << "returned before its time";
        EXPECT_FALSE(QueueHolds(WM_QUIT)) << "the quit message was left in the queue";
        EXPECT_EQ(window.messages(), std::vector<UINT>(round + 1, kPosted));
        PostMessageA(window.get(), kPosted, 0, 0);
    }
}

TEST(PumpMessages, DispatchesEveryMessageOfTheThreadAndWakesForOtherThreads)
{
    EmptyQueue();
    RecordingWindow window;
    PostMessageA(window.get(), kPosted, 0, 0);
    PostMessageA(window.get(), WM_KEYDOWN, 'A', 0x001E0001); // translated into a WM_CHAR
    PostThreadMessageA(GetCurrentThreadId(), kThreadMessage, 0, 0);
    // Once the queue is worked through, another thread sends, then posts the stop request.
    std::thread other([&] {
        if (WaitForSingleObject(window.charSeen.get(), kGenerousWaitMs) != WAIT_OBJECT_0)
            return;
        SendMessageA(window.get(), kSent, 0, 0);
        PostMessageA(window.get(), kStopRequest, 0, 0);
    });

    const bool stopped = PumpMessagesUntil(kLongPumpSeconds, window.stop.get());
    other.join();

    EXPECT_TRUE(stopped);
    EXPECT_EQ(window.messages(), (std::vector<UINT>{kPosted, WM_KEYDOWN, WM_CHAR, kSent, kStopRequest}));
    EXPECT_FALSE(QueueHolds(kThreadMessage)) << "the thread message was not taken";
}

TEST(PumpMessagesUntil, StopEventEndsIt)
{
    EmptyQueue();
    {
        SCOPED_TRACE("signalled before");
        UniqueHandle stop(CreateEventA(nullptr, TRUE, TRUE, nullptr));
        EXPECT_TRUE(PumpMessagesUntil(kLongPumpSeconds, stop.get()));
    }
    {
        SCOPED_TRACE("auto-reset event signalled by another thread while the pump waits");
        UniqueHandle stop(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        std::thread other([&] { SetEvent(stop.get()); });
        EXPECT_TRUE(PumpMessagesUntil(kLongPumpSeconds, stop.get()));
        other.join();
    }
}

TEST(PumpMessagesUntilAny, AnswersTheEventThatEndedItOrTheTimeLimit)
{
    EmptyQueue();
    UniqueHandle first(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle second(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    const HANDLE events[3] = {first.get(), nullptr, second.get()};
    std::thread other([&] { SetEvent(second.get()); });
    EXPECT_EQ(PumpMessagesUntilAny(kLongPumpSeconds * 1000, events, 3), 2u);
    other.join();
    EXPECT_EQ(PumpMessagesUntilAny(200, events, 3), kPumpTimedOut)
        << "the auto-reset event's signal was taken by the first pump";
}

// A tick counter that runs with the real one, shifted so that a pump starts where a test wants.
DWORD g_tickOffset = 0;
DWORD WINAPI ShiftedTickCount()
{
    return GetTickCount() + g_tickOffset;
}

TEST(PumpMessagesUntil, LastsItsFullTimeAcrossTheTickCounterWrap)
{
    EmptyQueue();
    // Just before the 32-bit wrap, and just before the point where a signed count would wrap.
    for (DWORD startTick : {0xFFFFFFFFu - 300, 0xFFFFFFFFu, 0x7FFFFFFFu - 300}) {
        SCOPED_TRACE(startTick);
        const DWORD before = GetTickCount();
        g_tickOffset = startTick - before;
        UsePumpTickSource(ShiftedTickCount);
        const bool stopped = PumpMessagesUntil(1, nullptr);
        UsePumpTickSource(nullptr);
        const DWORD elapsed = GetTickCount() - before;

        EXPECT_FALSE(stopped);
        EXPECT_GE(elapsed, 1000u) << "returned before its time";
    }
}

} // namespace
