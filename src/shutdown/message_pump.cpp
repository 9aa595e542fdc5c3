#include "shutdown/message_pump.h"

#include <atomic>

namespace {
std::atomic<TickSource> g_tickSource{nullptr};
} // namespace

void UsePumpTickSource(TickSource tick) noexcept
{
    g_tickSource.store(tick);
}

void PumpMessages(DWORD seconds) noexcept
{
    (void)PumpMessagesUntil(seconds, nullptr);
}

bool PumpMessagesUntil(DWORD seconds, HANDLE stopEvent) noexcept
{
    const ULONGLONG wanted = static_cast<ULONGLONG>(seconds) * 1000;
    const DWORD duration = wanted > MAXDWORD ? MAXDWORD : static_cast<DWORD>(wanted);
    return PumpMessagesUntilAny(duration, &stopEvent, 1) == 0;
}

// Longer than a screen on purpose: the one loop holds the clock, the events' checks, one
// message at a time and the wait, whose order together keeps the time bound and the answer
// right; split apart, each piece would need the loop's state handed to it.
DWORD PumpMessagesUntilAny(DWORD milliseconds, const HANDLE* events, DWORD count) noexcept
{
    const TickSource standIn = g_tickSource.load();
    const TickSource tick = standIn ? standIn : GetTickCount;

    // The watched handles with their places in `events`; the wait below takes one slot fewer
    // than MAXIMUM_WAIT_OBJECTS because the message queue needs one.
    HANDLE watched[MAXIMUM_WAIT_OBJECTS - 1];
    DWORD place[MAXIMUM_WAIT_OBJECTS - 1];
    DWORD live = 0;
    for (DWORD i = 0; i < count && live < MAXIMUM_WAIT_OBJECTS - 1; ++i) {
        if (events[i]) {
            watched[live] = events[i];
            place[live++] = i;
        }
    }

    const DWORD start = tick();
    for (;;) {
        for (DWORD i = 0; i < live; ++i)
            if (WaitForSingleObject(watched[i], 0) == WAIT_OBJECT_0)
                return place[i];
        // Unsigned difference: right across the counter's wrap after 49.7 days.
        const DWORD elapsed = tick() - start;
        if (elapsed >= milliseconds)
            return kPumpTimedOut;

        // One message at a time, so that a steady stream of them cannot stretch the time. A
        // message sent from another thread is served inside the peek.
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // The thread has no loop to end: a quit message is taken and has no effect.
            if (msg.message != WM_QUIT) {
                (void)TranslateMessage(&msg);
                (void)DispatchMessageA(&msg);
            }
            continue;
        }

        // Sleep until input, an event or the end of the time; MWMO_INPUTAVAILABLE wakes also
        // for input that an earlier peek has already seen.
        const DWORD result = MsgWaitForMultipleObjectsEx(live, live ? watched : nullptr, milliseconds - elapsed,
                                                         QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        // The wait takes the signal of an auto-reset event, so it must be answered here.
        if (result < WAIT_OBJECT_0 + live)
            return place[result - WAIT_OBJECT_0];
        if (result == WAIT_FAILED) {
            // Never a busy loop: handles that cannot be waited on are dropped, and a failing
            // wait with none left (not expected) is replaced by a short sleep.
            DWORD kept = 0;
            for (DWORD i = 0; i < live; ++i) {
                const DWORD state = WaitForSingleObject(watched[i], 0);
                if (state == WAIT_OBJECT_0)
                    return place[i]; // the signal of an auto-reset event is taken here
                if (state != WAIT_FAILED) {
                    watched[kept] = watched[i];
                    place[kept++] = place[i];
                }
            }
            if (kept == live)
                Sleep(10);
            live = kept;
        }
    }
}
