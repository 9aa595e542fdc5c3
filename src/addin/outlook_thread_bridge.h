// Runs a function on the thread that created the bridge (Outlook's user-interface thread),
// for a worker thread. Outlook answers object-model calls from any other thread with
// RPC_E_WRONG_THREAD, so the shutdown worker asks Outlook to log off and quit through this.
// Created and destroyed on the owner thread; Run is called from the worker. Never throws.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

// Returned by Run when the stop event was signalled before the call's answer came. A success
// code of its own: the calls answer S_OK or a failure, so no failure can be taken for a stop.
constexpr HRESULT kBridgeStopped = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, 0x0200);
// Returned by Run when the owner thread did not answer within the bridge's time limit.
constexpr HRESULT kBridgeTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

class OutlookThreadBridge {
public:
    // Runs on the owner thread, inside its message loop: it must not throw.
    using Call = HRESULT (*)(void* context) noexcept;

    // Creates the bridge's message-only window on the calling thread. Null on failure. No-throw.
    static std::unique_ptr<OutlookThreadBridge> Create() noexcept;
    // On the owner thread. Requests that never ran are dropped unrun.
    ~OutlookThreadBridge();
    OutlookThreadBridge(const OutlookThreadBridge&) = delete;
    OutlookThreadBridge& operator=(const OutlookThreadBridge&) = delete;

    // From any other thread: has call(context) run on the owner thread by its message loop and
    // returns its result; kBridgeStopped as soon as stopEvent is signalled (the owner thread
    // may then be waiting for the caller, so waiting on is never safe); kBridgeTimedOut when no
    // answer came within the time limit (a call that has not started by then never runs). While
    // it waits, the calling thread's own messages are dispatched, so its windows stay
    // responsive and the owner thread may send messages to them during the call. No-throw.
    HRESULT Run(Call call, void* context, HANDLE stopEvent) noexcept;

    // The time limit of Run: generous, since Outlook may take long to log off, but finite, so
    // that an Outlook thread that never answers cannot hold the caller for ever.
    static constexpr DWORD kDefaultCallTimeoutMs = 60000;
    // Before Run is called (tests shorten it).
    void SetCallTimeout(DWORD milliseconds) { m_timeoutMs = milliseconds; }

private:
    struct Request;
    struct Queued {
        ULONG_PTR id;
        Request* request;
    };
    explicit OutlookThreadBridge(HWND window) : m_hWnd(window) {}
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    static void ReleaseRequest(Request* request) noexcept;
    // Queues the request under a new id (the queue's reference); 0 when it cannot. No-throw.
    ULONG_PTR Enqueue(Request* request) noexcept;
    // Takes the request queued under id out of the queue; null when none is (a message that
    // did not come from Run, or one whose request was already taken). No-throw.
    Request* Dequeue(ULONG_PTR id) noexcept;

    HWND m_hWnd;
    DWORD m_timeoutMs = kDefaultCallTimeoutMs;
    // The requests that Run posted and the owner thread has not taken yet. A message to the
    // window carries only a request's id: any process on the desktop can post to the window,
    // so what a message says is never followed as a pointer.
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<Queued> m_queue;
    ULONG_PTR m_lastId = 0;
};
