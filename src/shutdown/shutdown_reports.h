// The shutdown worker's Event Log entries: Outlook let go, Outlook ended (with the hold's
// warnings), the end that failed, and the Outlook call that cut the run short. Runs on the
// worker's thread; nothing here throws (an entry whose texts find no memory is left out).
#pragma once

#include <windows.h>

#include <string>

class WriteHold;

// The entry saying that Outlook let go of the add-in before the worker decided to end it
// (Delay, the seconds since the worker asked Outlook to quit, its version). Outlook's thread
// waits for this one in its final release, so the wait is the short one.
void ReportLetGo(int delay, ULONGLONG askedAt, const std::string& version) noexcept;

// The entries of a decision to end Outlook, written before the end, which leaves no time
// afterwards: 1000 (Delay, the seconds since the worker asked Outlook to quit, the version, the
// seconds the hold added for the writes), and, when the hold's bound ran out while Outlook was
// still writing, the warning naming the file last seen changing, or, when no file was seen
// changing, the warning that the process's write count alone saw the writes. The waits are
// bounded and a release no longer cuts them: the decision is taken, and Outlook's thread waits
// for it.
void ReportEnd(int delay, ULONGLONG askedAt, const std::string& version, const WriteHold* hold,
               bool boundRanOut) noexcept;

// Still running after the termination: the decision could not be carried out. Logged and
// reported; Outlook ends by itself or not at all.
void ReportTerminationFailed(DWORD error, const std::string& version) noexcept;

// The entry for a run that an Outlook call cut short: the call (null when none was made) and its
// HRESULT. The wait ends when Outlook lets go of the add-in (`stop`), whose final release waits
// for the worker.
void ReportFailedCall(const char* call, HRESULT hr, HANDLE stop) noexcept;
