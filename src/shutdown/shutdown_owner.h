// What the shutdown worker needs of the object that starts it (the connection object): whether
// the run is still on, the one decision to end Outlook, the event that stops a waiting worker,
// the request that asks Outlook to end (and what it found of Outlook's data files), and what the
// worker's Event Log entries tell of Outlook. The worker calls these on its own thread while the
// owner lives: the owner ends the run, signals the stop event and waits for the worker before it
// goes. None throws.
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
// `stores` (the request logged it).
struct OutlookDataFiles {
    HRESULT result = E_PENDING; // of reading them: S_OK, or the failure that left stores short
    std::vector<StoreFile> stores;
};

// What AskOutlookToEnd answers when the stop event came before Outlook's answer: the run goes on
// to its end, which the cleared running flag cuts short. A success code, so that no failure of
// Outlook's can be mistaken for it.
constexpr HRESULT kStoppedWhileAsking = S_FALSE;

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
    // Asks Outlook to log off and quit, on Outlook's own thread, and waits for its answer:
    // S_OK once asked, kStoppedWhileAsking, or the failure that ends the run.
    virtual HRESULT AskOutlookToEnd() noexcept = 0;
    // The Outlook call that AskOutlookToEnd made last ("Session", "Stores", "Logoff", "Quit"):
    // after a failure, the one that failed or did not answer; null when none was made.
    virtual const char* LastOutlookCall() const noexcept = 0;
    // What the request found of Outlook's data files; to be read only after AskOutlookToEnd
    // answered S_OK.
    virtual const OutlookDataFiles& DataFiles() const noexcept = 0;
    // Outlook's version, read on Outlook's thread before the worker started and not changed
    // afterwards; empty when it could not be read. For the Event Log's entries.
    virtual const char* OutlookVersion() const noexcept = 0;

protected:
    ~ShutdownOwner() = default;
};
