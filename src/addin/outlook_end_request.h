// The shutdown worker's request to Outlook: log off the session and quit. Outlook answers calls
// from any thread but its own with RPC_E_WRONG_THREAD, so the worker has the request run on
// Outlook's thread through the bridge. Never throws.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

class OutlookThreadBridge;

// On Outlook's own thread: logs off the session (when there is one) and asks Outlook to quit,
// in that order. The first failing call ends the sequence; its HRESULT is returned.
HRESULT AskOutlookToEnd(IDispatch* application) noexcept;

// From the worker's thread: has AskOutlookToEnd run on Outlook's thread with the reference that
// `application` holds when the call runs, and waits for it as the bridge's Run does. Answers as
// ShutdownOwner::AskOutlookToEnd: S_OK, kStoppedWhileAsking, or the failure.
HRESULT AskOutlookToEndThrough(OutlookThreadBridge& bridge, const Microsoft::WRL::ComPtr<IDispatch>& application,
                               HANDLE stopEvent) noexcept;
