// The hold before Outlook's end: once the countdown is over, Outlook is ended only after two
// consecutive samples have shown no write (write_watch.h), the last of them taken a full second
// after Outlook's windows were asked to close, or once the longest wait ("WaitForWrites") has
// run out. Sampling starts with the two-second wind-down; Outlook's own exit work (closing its
// stores) begins with the close messages, which come after the wind-down, so a quiet Outlook is
// ended one second after them. Times come from the monotonic clock (GetTickCount64), so a slow
// sample cannot stretch the bound. Runs on the shutdown worker's thread; throws std::bad_alloc
// only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "shutdown/write_watch.h"

class ShutdownOwner;

// Why the hold ended.
enum class HoldEnd { Quiet, Bound, Released };

// How long after the close messages the last quiet sample must at least be taken.
constexpr ULONGLONG kQuietAfterCloseMs = 1000;
// The time from the end of one sample to the start of the next.
constexpr ULONGLONG kSampleSpacingMs = 1000;

class WriteHold {
public:
    // Takes the first sample of the stores' files and of the process's write count (see
    // WriteWatch); boundSeconds > 0 is the longest the hold may last after the wind-down.
    WriteHold(const std::vector<StoreFile>& stores, int boundSeconds);

    // A sample at the end of one second of the wind-down.
    void Sample();
    // Right after the close messages were posted, which is the end of the wind-down: samples
    // one second apart, dispatching the thread's messages in between, until two consecutive
    // samples were quiet with the last a full second after the close messages, the bound has
    // run out (a sample begun before it may end after it: the last one is taken at the bound)
    // or the owner's run is over (tested before and after each wait; `stop` ends a wait at
    // once). Logs how it ended and after how long.
    HoldEnd Wait(const ShutdownOwner& owner, HANDLE stop);

    // The whole seconds the hold lasted after the wind-down, by the monotonic clock.
    int ExtraSeconds() const { return m_extraSeconds; }
    int BoundSeconds() const { return m_boundSeconds; }
    // The file last seen changing; empty when no file was, the count alone having seen writing.
    const std::wstring& LastChanged() const { return m_watch.LastChanged(); }

private:
    // Samples, noting when the sample was begun.
    void SampleAt(ULONGLONG now);
    bool QuietEnough(ULONGLONG closedAt) const;

    WriteWatch m_watch;
    int m_boundSeconds;
    int m_quietSamples = 0;
    ULONGLONG m_lastSampleAt = 0;
    int m_extraSeconds = 0;
};
