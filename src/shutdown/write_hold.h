// The hold before Outlook's end: once the countdown is over, Outlook is ended only after two
// samples a second apart have shown no write to its data files, or once the longest wait
// ("WaitForWrites") has run out. Sampling starts with the two-second wind-down, so that an
// Outlook that is not writing is ended no later than without the hold. Runs on the shutdown
// worker's thread; throws std::bad_alloc only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "shutdown/write_watch.h"

class ShutdownOwner;

// Why the hold ended.
enum class HoldEnd { Quiet, Bound, Released };

class WriteHold {
public:
    // Takes the first sample of the files at `paths` (see WriteWatch); boundSeconds > 0 is the
    // longest the hold may last after the wind-down.
    WriteHold(const std::vector<std::wstring>& paths, int boundSeconds);

    // A sample at the end of one second of the wind-down.
    void Sample();
    // After the wind-down and the close messages: waits in one-second steps, dispatching the
    // thread's messages, until two consecutive samples were quiet, the bound has run out or the
    // owner's run is over (tested before and after each step; `stop` ends a step at once).
    // Logs how it ended and after how long.
    HoldEnd Wait(const ShutdownOwner& owner, HANDLE stop);

    // The seconds the hold lasted after the wind-down.
    int ExtraSeconds() const { return m_extraSeconds; }
    int BoundSeconds() const { return m_boundSeconds; }
    // The file last seen changing; empty when none was, or when the process counter stood in.
    const std::wstring& LastChanged() const { return m_watch.LastChanged(); }

private:
    WriteWatch m_watch;
    int m_boundSeconds;
    int m_quietSamples = 0;
    int m_extraSeconds = 0;
};
