#include "addin/outlook_end_request.h"

#include <atomic>
#include <memory>
#include <vector>

#include "addin/outlook_thread_bridge.h"
#include "com/com_error.h"
#include "log/log_file.h"
#include "log/log_result.h"
#include "outlook/outlook.h"
#include "shutdown/shutdown_owner.h"

namespace {

// The request as the bridge runs it on Outlook's thread, shared with the worker that waits for
// it. It reads the connection object's Application reference when it runs: it only runs while
// the bridge, and so the connection object, is there (a bridge drops what it never ran).
class OutlookEndRequest final : public BridgeWork {
public:
    explicit OutlookEndRequest(const Microsoft::WRL::ComPtr<IDispatch>& application) : m_application(application) {}

    // The call keeps a reference of its own, since Outlook may release the add-in, and with it
    // the reference read here, inside Quit.
    HRESULT Run() noexcept override
    {
        const Microsoft::WRL::ComPtr<IDispatch> application = m_application;
        return AskOutlookToEnd(application.Get(), &m_lastCall, &m_dataFiles);
    }
    // Any thread: written on Outlook's thread as each call begins.
    const char* LastCall() const noexcept { return m_lastCall.load(); }
    // Complete once Run has returned; taken by the worker after the bridge's answer.
    OutlookDataFiles& DataFiles() noexcept { return m_dataFiles; }

private:
    const Microsoft::WRL::ComPtr<IDispatch>& m_application;
    std::atomic<const char*> m_lastCall{nullptr};
    OutlookDataFiles m_dataFiles;
};

OutlookEndOutcome EndOutcome(BridgeOutcome outcome, HRESULT result)
{
    switch (outcome) {
    case BridgeOutcome::Ran:
        return SUCCEEDED(result) ? OutlookEndOutcome::Asked : OutlookEndOutcome::Failed;
    case BridgeOutcome::Stopped:
        return OutlookEndOutcome::Stopped;
    case BridgeOutcome::TimedOut:
        return OutlookEndOutcome::TimedOut;
    case BridgeOutcome::NotSent:
        break;
    }
    return OutlookEndOutcome::Failed;
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
        (void)LogResult("Connect<ReadDataFiles>", files.result);
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

OutlookEndAnswer AskOutlookToEndThrough(OutlookThreadBridge& bridge, const Microsoft::WRL::ComPtr<IDispatch>& application,
                                        HANDLE stopEvent) noexcept
{
    OutlookEndAnswer answer;
    try {
        const auto request = std::make_shared<OutlookEndRequest>(application);
        const BridgeAnswer bridged = bridge.Run(request, stopEvent);
        answer.outcome = EndOutcome(bridged.outcome, bridged.result);
        answer.result = answer.outcome == OutlookEndOutcome::Stopped ? S_OK : bridged.result;
        answer.lastCall = request->LastCall();
        if (answer.outcome == OutlookEndOutcome::Asked)
            answer.dataFiles = std::move(request->DataFiles()); // Outlook's thread is done with it
    } catch (...) {
        answer.outcome = OutlookEndOutcome::Failed;
        answer.result = CaughtExceptionResult();
    }
    return answer;
}
