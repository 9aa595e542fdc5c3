// Serving the test thread's messages while a test waits for something that happens through them
// (Outlook's thread serving the worker's bridged calls, a page's activation, a timer). Runs on
// the waiting thread; throws only what `done` throws.
#pragma once

#include <windows.h>

#include <functional>

// Dispatches every message waiting for this thread.
inline void DispatchPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Dispatches this thread's messages until `done` answers true or `timeoutMs` has passed, and
// returns what `done` last answered. It sleeps until a message comes or `wake` (a handle, may be
// null) is signalled: `done` must turn true through one of the two, since nothing else wakes it.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HANDLE wake = nullptr)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DispatchPendingMessages();
        if (done())
            return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        // MWMO_INPUTAVAILABLE: also for a message that arrived while `done` ran.
        MsgWaitForMultipleObjectsEx(wake ? 1 : 0, &wake, timeoutMs - spent, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// Whether a handle (a thread, a process, an event) is signalled now.
inline bool IsSignalled(HANDLE handle)
{
    return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}
