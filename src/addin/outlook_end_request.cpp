#include "addin/outlook_end_request.h"

#include <memory>

#include "addin/outlook_thread_bridge.h"
#include "com/com_error.h"
#include "outlook/outlook.h"
#include "shutdown/shutdown_owner.h"

namespace {

// The bridge's call: the context is the holder of the Application reference. The call keeps a
// reference of its own, since Outlook may release the add-in, and with it the holder, inside Quit.
HRESULT AskOutlookToEndOnItsThread(void* context) noexcept
{
    const Microsoft::WRL::ComPtr<IDispatch> application =
        *static_cast<const Microsoft::WRL::ComPtr<IDispatch>*>(context);
    return AskOutlookToEnd(application.Get());
}

} // namespace

HRESULT AskOutlookToEnd(IDispatch* application) noexcept
{
    try {
        // Session is read twice on purpose: the first read only tests for a session (and is
        // released at once), Logoff goes to a reference of its own. Outlook sees both reads.
        if (Outlook::Session(application)) {
            Microsoft::WRL::ComPtr<IDispatch> session = Outlook::Session(application);
            Outlook::Logoff(session.Get());
        }
        Outlook::Quit(application);
        return S_OK;
    }
    CATCH_RETURN()
}

HRESULT AskOutlookToEndThrough(OutlookThreadBridge& bridge, const Microsoft::WRL::ComPtr<IDispatch>& application,
                               HANDLE stopEvent) noexcept
{
    // The call only reads through its context, on Outlook's thread.
    const HRESULT hr = bridge.Run(AskOutlookToEndOnItsThread,
                                  const_cast<Microsoft::WRL::ComPtr<IDispatch>*>(std::addressof(application)), stopEvent);
    return hr == kBridgeStopped ? kStoppedWhileAsking : hr;
}
