#include "addin/outlook_end_request.h"

#include <memory>
#include <vector>

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
// request: a store whose own call fails is logged with its HRESULT and left out, a failure of
// the whole collection is logged and noted; the hold counts the process's writes either way.
void ReadDataFiles(IDispatch* session, OutlookDataFiles& files) noexcept
{
    files.stores.clear();
    std::vector<Outlook::StoreReading> readings;
    try {
        Outlook::StoreFilePaths(session, readings);
        files.result = S_OK;
    } catch (...) {
        files.result = CaughtExceptionResult();
        LogMessage(0, "Connect<ReadDataFiles> ==> [HRES %08x]", static_cast<unsigned>(files.result));
    }
    try {
        for (Outlook::StoreReading& reading : readings) {
            if (reading.failedCall) {
                LogMessage(0, "Connect<ReadDataFiles> ==> [STORE %ld SKIPPED] %s [HRES %08x]", reading.number,
                           reading.failedCall, static_cast<unsigned>(reading.failure));
                continue;
            }
            files.stores.push_back(StoreFile{reading.number, std::move(reading.path)});
        }
    } catch (...) {
        files.result = CaughtExceptionResult(); // no memory for the list: the stores read so far
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
            if (dataFiles) {
                // Noted first, so that a Stores call that never answers is reported as such.
                NoteCall(lastCall, "Stores");
                ReadDataFiles(session.Get(), *dataFiles);
            }
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
