// The shutdown worker's request to Outlook: log off the session and quit. Outlook answers calls
// from any thread but its own with RPC_E_WRONG_THREAD, so the worker has the request run on
// Outlook's thread through the bridge. Never throws.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>

#include "shutdown/shutdown_owner.h"

class OutlookThreadBridge;

// What the bridged request reads and writes on Outlook's thread. It lives in the connection
// object, not on the worker's stack: a call that did not answer in time may still run after the
// worker has stopped waiting for it.
struct OutlookEndRequest {
    explicit OutlookEndRequest(const Microsoft::WRL::ComPtr<IDispatch>& app) : application(app) {}
    // The connection object's Application reference, read when the call runs.
    const Microsoft::WRL::ComPtr<IDispatch>& application;
    // The Outlook call made last ("Session", "Stores", "Logoff", "Quit"), null before the first:
    // after a failure the one that failed, after a timeout the one that did not answer.
    std::atomic<const char*> lastCall{nullptr};
    // Outlook's data files, read before Logoff; complete once the request has answered.
    OutlookDataFiles dataFiles;
};

// On Outlook's own thread: logs off the session (when there is one) and asks Outlook to quit,
// in that order. The first failing call ends the sequence; its HRESULT is returned. Each call's
// name goes into lastCall (may be null) before the call is made. Before Logoff the paths of the
// session's data files go into dataFiles (may be null), with "Stores" as the call in progress; a
// store whose own call fails is logged and left out, a failure of the whole list is logged and
// noted in dataFiles, and the sequence goes on.
HRESULT AskOutlookToEnd(IDispatch* application, std::atomic<const char*>* lastCall = nullptr,
                        OutlookDataFiles* dataFiles = nullptr) noexcept;

// From the worker's thread: has AskOutlookToEnd run on Outlook's thread with the reference that
// request.application holds when the call runs, and waits for it as the bridge's Run does.
// Answers as ShutdownOwner::AskOutlookToEnd: S_OK, kStoppedWhileAsking, or the failure.
HRESULT AskOutlookToEndThrough(OutlookThreadBridge& bridge, OutlookEndRequest& request, HANDLE stopEvent) noexcept;
