// Runs work on the thread that created the bridge (Outlook's user-interface thread), for a
// worker thread. Outlook answers object-model calls from any other thread with
// RPC_E_WRONG_THREAD, so the shutdown worker asks Outlook to log off and quit through this.
// Created and destroyed on the owner thread; Run is called from the worker. Never throws.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

// How a Run ended.
enum class BridgeOutcome {
    Ran,      // the work ran on the owner thread; its result is the answer's
    Stopped,  // the stop event came before the answer
    TimedOut, // no answer within the time limit
    NotSent,  // the work could not be handed to the owner thread
};

// The answer of a Run, by value.
struct BridgeAnswer {
    BridgeOutcome outcome = BridgeOutcome::NotSent;
    // The work's result (Ran), HRESULT_FROM_WIN32(ERROR_TIMEOUT) (TimedOut), the failure that
    // kept it from being sent (NotSent), S_FALSE (Stopped).
    HRESULT result = E_UNEXPECTED;
};

// Work for the owner thread. The caller and the bridge share it, so that work whose wait was
// abandoned stays alive until the owner thread has let go of it too.
class BridgeWork {
public:
    // Runs on the owner thread, inside its message loop: it must not throw.
    virtual HRESULT Run() noexcept = 0;

protected:
    ~BridgeWork() = default;
};

// The time limit of Run from now on; 0 puts the usual one (kDefaultCallTimeoutMs) back. Tests
// shorten it; not while a Run waits. Never throws.
void UseBridgeCallTimeout(DWORD milliseconds) noexcept;

class OutlookThreadBridge {
public:
    // Creates the bridge's message-only window on the calling thread. Null on failure. No-throw.
    static std::unique_ptr<OutlookThreadBridge> Create() noexcept;
    // On the owner thread. Requests that never ran are dropped unrun.
    ~OutlookThreadBridge();
    OutlookThreadBridge(const OutlookThreadBridge&) = delete;
    OutlookThreadBridge& operator=(const OutlookThreadBridge&) = delete;

    // From any other thread: has work->Run() run on the owner thread by its message loop and
    // answers with its result; Stopped as soon as stopEvent is signalled (the owner thread may
    // then be waiting for the caller, so waiting on is never safe); TimedOut when no answer came
    // within the time limit (work that has not started by then never runs). While it waits, the
    // calling thread's own messages are dispatched, so its windows stay responsive and the owner
    // thread may send messages to them during the call. No-throw.
    BridgeAnswer Run(const std::shared_ptr<BridgeWork>& work, HANDLE stopEvent) noexcept;

    // The usual time limit of Run: generous, since Outlook may take long to log off, but finite,
    // so that an Outlook thread that never answers cannot hold the caller for ever.
    static constexpr DWORD kDefaultCallTimeoutMs = 60000;

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
    // The requests that Run posted and the owner thread has not taken yet. A message to the
    // window carries only a request's id: any process on the desktop can post to the window,
    // so what a message says is never followed as a pointer.
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<Queued> m_queue;
    ULONG_PTR m_lastId = 0;
};
