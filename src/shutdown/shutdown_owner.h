// What the shutdown worker needs of the object that starts it (the connection object): whether
// the run is still on, the event that stops a waiting worker, the request that asks Outlook to
// end, and what the worker's Event Log entries tell of Outlook. The worker calls these on its own thread while the owner lives: the owner clears the
// running flag, signals the stop event and waits for the worker before it goes. None throws.
#pragma once

#include <windows.h>

// What AskOutlookToEnd answers when the stop event came before Outlook's answer: the run goes on
// to its end, which the cleared running flag cuts short. A success code, so that no failure of
// Outlook's can be mistaken for it.
constexpr HRESULT kStoppedWhileAsking = S_FALSE;

class ShutdownOwner {
public:
    // Set before the worker starts, cleared when the owner ends; read afresh at every test.
    virtual bool IsRunning() const noexcept = 0;
    // Signalled when the owner ends, so that a waiting worker stops at once; may be null.
    virtual HANDLE StopEvent() const noexcept = 0;
    // Asks Outlook to log off and quit, on Outlook's own thread, and waits for its answer:
    // S_OK once asked, kStoppedWhileAsking, or the failure that ends the run.
    virtual HRESULT AskOutlookToEnd() noexcept = 0;
    // The Outlook call that AskOutlookToEnd made last ("Session", "Logoff", "Quit"): after a
    // failure, the one that failed or did not answer; null when none was made.
    virtual const char* LastOutlookCall() const noexcept = 0;
    // Outlook's version, read on Outlook's thread before the worker started and not changed
    // afterwards; empty when it could not be read. For the Event Log's entries.
    virtual const char* OutlookVersion() const noexcept = 0;

protected:
    ~ShutdownOwner() = default;
};
