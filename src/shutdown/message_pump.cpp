#include "shutdown/message_pump.h"

namespace {

bool IsSignalled(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

} // namespace

void PumpMessages(DWORD seconds) noexcept
{
    (void)PumpMessagesUntil(seconds, nullptr, GetTickCount);
}

bool PumpMessagesUntil(DWORD seconds, HANDLE stopEvent) noexcept
{
    return PumpMessagesUntil(seconds, stopEvent, GetTickCount);
}

bool PumpMessagesUntil(DWORD seconds, HANDLE stopEvent, TickSource tick) noexcept
{
    const ULONGLONG wanted = static_cast<ULONGLONG>(seconds) * 1000;
    const DWORD duration = wanted > MAXDWORD ? MAXDWORD : static_cast<DWORD>(wanted);
    const DWORD start = tick();
    for (;;) {
        if (IsSignalled(stopEvent))
            return true;
        // Unsigned difference: right across the counter's wrap after 49.7 days.
        const DWORD elapsed = tick() - start;
        if (elapsed >= duration)
            return false;

        // One message at a time, so that a steady stream of them cannot stretch the time.
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // The thread has no loop to end: a quit message is taken and has no effect.
            if (msg.message != WM_QUIT) {
                (void)TranslateMessage(&msg);
                (void)DispatchMessageA(&msg);
            }
            continue;
        }

        // Sleep until input, the stop event or the end of the time; MWMO_INPUTAVAILABLE wakes
        // also for input that an earlier peek has already seen.
        const DWORD handles = stopEvent ? 1 : 0;
        const DWORD result = MsgWaitForMultipleObjectsEx(handles, stopEvent ? &stopEvent : nullptr,
                                                         duration - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        // The wait takes the signal of an auto-reset event, so it must be answered here.
        if (stopEvent && result == WAIT_OBJECT_0)
            return true;
        if (result == WAIT_FAILED) {
            // Never a busy loop: an unusable stop event is dropped, and a failing wait (not
            // expected) is replaced by a short sleep.
            if (stopEvent)
                stopEvent = nullptr;
            else
                Sleep(10);
        }
    }
}
