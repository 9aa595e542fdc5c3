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

// On Outlook's own thread: logs off the session (when there is one) and asks Outlook to quit,
// in that order. The first failing call ends the sequence; its HRESULT is returned. Each call's
// name goes into lastCall (may be null) before the call is made. Before Logoff the paths of the
// session's data files go into dataFiles (may be null), with "Stores" as the call in progress; a
// store whose own call fails is logged and left out, a failure of the whole list is logged and
// noted in dataFiles, and the sequence goes on.
HRESULT AskOutlookToEnd(IDispatch* application, std::atomic<const char*>* lastCall = nullptr,
                        OutlookDataFiles* dataFiles = nullptr) noexcept;

// From the worker's thread: has AskOutlookToEnd run on Outlook's thread with the reference that
// `application` (the connection object's) holds when the call runs, and waits for it as the
// bridge's Run does. The answer is the worker's own copy: the outcome, the failure, the call
// made last and, once Outlook was asked, its data files. The request itself lives on while
// Outlook's thread may still take it, after a wait that was abandoned.
OutlookEndAnswer AskOutlookToEndThrough(OutlookThreadBridge& bridge, const Microsoft::WRL::ComPtr<IDispatch>& application,
                                        HANDLE stopEvent) noexcept;
