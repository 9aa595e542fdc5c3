#include "addin/outlook_end_request.h"

#include <memory>

#include "addin/outlook_thread_bridge.h"
#include "com/com_error.h"
#include "outlook/outlook.h"
#include "shutdown/shutdown_owner.h"

namespace {

// The bridge's call: the context is the request. The call keeps a reference of its own, since
// Outlook may release the add-in, and with it the request, inside Quit.
HRESULT AskOutlookToEndOnItsThread(void* context) noexcept
{
    OutlookEndRequest* request = static_cast<OutlookEndRequest*>(context);
    const Microsoft::WRL::ComPtr<IDispatch> application = request->application;
    return AskOutlookToEnd(application.Get(), &request->lastCall);
}

void NoteCall(std::atomic<const char*>* lastCall, const char* name) noexcept
{
    if (lastCall)
        lastCall->store(name);
}

} // namespace

HRESULT AskOutlookToEnd(IDispatch* application, std::atomic<const char*>* lastCall) noexcept
{
    try {
        // Session is read twice on purpose: the first read only tests for a session (and is
        // released at once), Logoff goes to a reference of its own. Outlook sees both reads.
        NoteCall(lastCall, "Session");
        if (Outlook::Session(application)) {
            Microsoft::WRL::ComPtr<IDispatch> session = Outlook::Session(application);
            NoteCall(lastCall, "Logoff");
            Outlook::Logoff(session.Get());
        }
        NoteCall(lastCall, "Quit");
        Outlook::Quit(application);
        return S_OK;
    }
    CATCH_RETURN()
}

HRESULT AskOutlookToEndThrough(OutlookThreadBridge& bridge, OutlookEndRequest& request, HANDLE stopEvent) noexcept
{
    const HRESULT hr = bridge.Run(AskOutlookToEndOnItsThread, &request, stopEvent);
    return hr == kBridgeStopped ? kStoppedWhileAsking : hr;
}
