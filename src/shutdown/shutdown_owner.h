// What the shutdown worker shares with the object that starts it (the connection object): the
// run state (whether the run is still on, and the one decision to end Outlook), the event that
// stops a waiting worker, and the request that asks Outlook to end, whose answer comes back as a
// value. Everything else the worker is handed at its start (ShutdownStart) or reads itself.
// The worker calls these on its own thread while the owner lives: the owner ends the run,
// signals the stop event and waits for the worker before it goes. None throws.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One of Outlook's stores: its number in Session.Stores (1-based) and its FilePath, empty for a
// store that lives on a server.
struct StoreFile {
    long number = 0;
    std::wstring path;
};

// Outlook's data files as the request to end Outlook read them on Outlook's thread, before
// Logoff: Session.Stores, and each store's FilePath. A store whose own calls failed is not in
// `stores` (the request logged it with its own result).
struct OutlookDataFiles {
    HRESULT result = E_PENDING; // of reading them: S_OK, or the failure that left stores short
    std::vector<StoreFile> stores;
};

// How the request to end Outlook ended.
enum class OutlookEndOutcome {
    Asked,    // Outlook was asked to log off and quit
    Failed,   // an Outlook call failed, or the request could not be made
    TimedOut, // Outlook's thread did not answer within the time limit
    Stopped,  // the stop event came before Outlook's answer
};

// The answer to the request to end Outlook, the worker's own copy.
struct OutlookEndAnswer {
    OutlookEndOutcome outcome = OutlookEndOutcome::Failed;
    // The failure that ended the request (Failed, TimedOut); S_OK otherwise.
    HRESULT result = E_UNEXPECTED;
    // The Outlook call made last ("Session", "Stores", "Logoff", "Quit"): after a failure the
    // one that failed or did not answer; null when none was made.
    const char* lastCall = nullptr;
    // What the request found of Outlook's data files; complete when the outcome is Asked.
    OutlookDataFiles dataFiles;
};

class ShutdownOwner {
public:
    // True while the run is on: from before the worker starts until the owner ends it or the
    // worker decides to end Outlook. Read afresh at every test.
    virtual bool IsRunning() const noexcept = 0;
    // The one decision to end Outlook, which the worker and the owner's end race for: moves the
    // run from running to ending and answers true, or answers false when the owner has ended the
    // run first (Outlook is then ending by itself). Once it has answered true the owner's end
    // loses and changes nothing: Outlook is ended.
    virtual bool DecideToEnd() noexcept = 0;
    // Signalled when the owner ends, so that a waiting worker stops at once; may be null.
    virtual HANDLE StopEvent() const noexcept = 0;
    // Asks Outlook to log off and quit, on Outlook's own thread, and waits for its answer, or
    // for the stop event, or for the time limit.
    virtual OutlookEndAnswer AskOutlookToEnd() noexcept = 0;

protected:
    ~ShutdownOwner() = default;
};

// What the worker is handed at its start, and owns from then on: its owner, uncounted (the owner
// waits for the worker before it goes), and Outlook's version, read on Outlook's thread before
// the start (empty when it could not be read), for the Event Log's entries.
struct ShutdownStart {
    ShutdownOwner* owner = nullptr;
    std::string outlookVersion;
};
