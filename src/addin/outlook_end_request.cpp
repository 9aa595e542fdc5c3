#include "addin/outlook_end_request.h"

#include <memory>

#include "addin/outlook_thread_bridge.h"
#include "com/com_error.h"
#include "log/log_file.h"
#include "outlook/outlook.h"
#include "shutdown/shutdown_owner.h"

namespace {

// The bridge's call: the context is the request. The call keeps a reference of its own, since
// Outlook may release the add-in, and with it the request, inside Quit.
HRESULT AskOutlookToEndOnItsThread(void* context) noexcept
{
    OutlookEndRequest* request = static_cast<OutlookEndRequest*>(context);
    const Microsoft::WRL::ComPtr<IDispatch> application = request->application;
    return AskOutlookToEnd(application.Get(), &request->lastCall, &request->dataFiles);
}

void NoteCall(std::atomic<const char*>* lastCall, const char* name) noexcept
{
    if (lastCall)
        lastCall->store(name);
}

// Reads the session's data files for the worker's hold before Outlook's end. Never stops the
// request: a failure is logged and noted, and the hold then counts the process's own writes.
void ReadDataFiles(IDispatch* session, OutlookDataFiles& files) noexcept
{
    files.paths.clear();
    try {
        Outlook::StoreFilePaths(session, files.paths);
        files.result = S_OK;
    } catch (...) {
        files.result = CaughtExceptionResult();
        LogMessage(0, "Connect<ReadDataFiles> ==> [HRES %08x]", static_cast<unsigned>(files.result));
    }
}

} // namespace

HRESULT AskOutlookToEnd(IDispatch* application, std::atomic<const char*>* lastCall,
                        OutlookDataFiles* dataFiles) noexcept
{
    try {
        // Session is read twice on purpose: the first read only tests for a session (and is
        // released at once), Logoff goes to a reference of its own. Outlook sees both reads.
        if (dataFiles)
            *dataFiles = OutlookDataFiles{S_OK, {}}; // without a session there are none to read
        NoteCall(lastCall, "Session");
        if (Outlook::Session(application)) {
            Microsoft::WRL::ComPtr<IDispatch> session = Outlook::Session(application);
            if (dataFiles)
                ReadDataFiles(session.Get(), *dataFiles);
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
