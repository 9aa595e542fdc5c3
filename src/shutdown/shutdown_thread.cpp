#include "shutdown/shutdown_thread.h"

#include <type_traits>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "com/com_error.h"
#include "log/crash_record.h"
#include "log/log_file.h"
#include "resource_ids/resource.h"
#include "settings/settings_store.h"
#include "shutdown/exit_progress_dialog.h"
#include "shutdown/message_pump.h"
#include "shutdown/process_closer.h"
#include "shutdown/shutdown_owner.h"
#include "shutdown/shutdown_reports.h"
#include "shutdown/write_hold.h"

namespace {

// Set by the first worker that installs the process-wide filter; never cleared.
std::atomic<bool> g_workerFilterInstalled{false};

// What one run goes by, read once at its start and never changed afterwards.
struct ShutdownRun {
    int delay = 0;           // the countdown's seconds, as "Delay" sets them
    bool showDialog = false; // "ShowExitDialog"
    bool closeWord = false;  // "CloseWinWord"
    int waitForWrites = 0;   // the hold's bound in seconds; none at 0 or less
    std::string outlookVersion;
};

bool IsOne(const char* text)
{
    return std::strcmp(text, "1") == 0;
}

// The run's settings (an enforced value where an administrator set one), in the order their log
// lines have always come, and the version that the worker was handed at its start.
ShutdownRun ReadRun(const ShutdownStart& start)
{
    ShutdownRun run;
    SettingText setting;
    (void)ReadEffectiveSetting(Setting::Delay, setting);
    run.delay = ParseDelay(setting);
    (void)ReadEffectiveSetting(Setting::ShowExitDialog, setting);
    run.showDialog = IsOne(setting);
    (void)ReadEffectiveSetting(Setting::CloseWinWord, setting);
    run.closeWord = IsOne(setting);
    run.waitForWrites = ReadWaitForWrites();
    run.outlookVersion = start.outlookVersion;
    return run;
}

void LogWordLeftOpen(DWORD processId) noexcept
{
    LogMessage(0, "ShutdownThread<CloseWinWord> ==> [VISIBLE, LEFT OPEN] %lu", static_cast<unsigned long>(processId));
}

// The countdown's dialog when the run shows one; null otherwise, or when it cannot be made (it
// is then left out).
HWND ShowCountdown(CExitProgDlg& dialog, const ShutdownRun& run)
{
    if (!run.showDialog)
        return nullptr;
    dialog.SetDelay(run.delay);
    HWND window = dialog.Create(nullptr);
    if (window)
        ShowWindow(window, SW_SHOW);
    return window;
}

// Only a Word left running in the background: one on the screen may hold unsaved documents.
void CloseWord(const ShutdownRun& run)
{
    if (run.closeWord)
        CloseBackgroundProcessByName("winword.exe", true, LogWordLeftOpen);
}

void AdvanceProgress(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, IDC_EXIT_PROGRESS);
    const LRESULT position = SendMessageA(bar, PBM_GETPOS, 0, 0);
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
    InvalidateRect(dialog, nullptr, TRUE);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// One step of the bar a second while the run is on; returns at once when the add-in is released.
void CountDown(const ShutdownOwner& owner, HWND window, int delay, HANDLE stop)
{
    for (; delay > 0 && owner.IsRunning(); --delay) {
        if (window)
            AdvanceProgress(window);
        PumpMessagesUntil(1, stop);
    }
}

// The hold before the end watches Outlook's writes from here on: sampled at each second of the
// wind-down, and then a second after the close messages, when Outlook's own exit work begins; an
// Outlook that is not writing is ended at that sample. None when it is off or the run is over.
std::unique_ptr<WriteHold> StartHold(const ShutdownRun& run, const ShutdownOwner& owner, const OutlookDataFiles& files)
{
    if (run.waitForWrites <= 0) {
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [OFF]");
        return nullptr;
    }
    if (!owner.IsRunning())
        return nullptr;
    if (FAILED(files.result))
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [STORES FAILED] 0x%08lX",
                   static_cast<unsigned long>(files.result));
    return std::make_unique<WriteHold>(files.stores, run.waitForWrites);
}

// Two seconds of the thread's messages, the hold sampling at the end of each; then the dialog goes.
void WindDown(HWND window, WriteHold* hold)
{
    // The worker's steps post a quit message to its own queue before the wind-down. The thread
    // has no message loop for it to end: the pump takes it from the queue without effect, by
    // design, and the wind-down lasts its full two seconds.
    PostQuitMessage(0);
    for (int second = 0; second < 2; ++second) {
        PumpMessages(1);
        if (hold)
            hold->Sample();
    }
    if (window)
        DestroyWindow(window);
    LogMessage(0, "ShutdownThread<WindDown> ==> [DONE]");
}

// The close messages to Outlook's windows, then the hold, whose second after them and whose
// bound both count from here. True when the hold's bound ran out while Outlook still wrote.
bool CloseOutlookAndHold(WriteHold* hold, const ShutdownOwner& owner, HANDLE stop)
{
    CloseProcessByName("OUTLOOK.EXE", false);
    return hold && hold->Wait(owner, stop) == HoldEnd::Bound;
}

// The one decision, raced for with the final release: whichever moves the run from running
// first acts. The worker that wins ends Outlook (its own process); a release after this has lost
// and changes nothing.
void Decide(ShutdownOwner& owner, const ShutdownRun& run, ULONGLONG askedAt, const WriteHold* hold, bool boundRanOut)
{
    if (owner.DecideToEnd()) {
        ReportEnd(run.delay, askedAt, run.outlookVersion, hold, boundRanOut);
        if (!KillProcess(GetCurrentProcessId(), 0)) // returns only when the end failed
            ReportTerminationFailed(GetLastError(), run.outlookVersion);
    } else {
        LogMessage(0, "ShutdownThread<Terminate> ==> [SKIPPED, ADD-IN RELEASED]");
        ReportLetGo(run.delay, askedAt, run.outlookVersion);
    }
}

// One run, as its phases; the thread routine catches what it may throw.
DWORD RunShutdown(const ShutdownStart& start)
{
    ShutdownOwner& owner = *start.owner;
    if (!owner.IsRunning())
        return 0;
    SetUnhandledExceptionFilter(VantrelUnhandledExceptionFilter); // stays for the rest of the process
    g_workerFilterInstalled.store(true);

    CExitProgDlg dialog;
    const ShutdownRun run = ReadRun(start);
    const HWND window = ShowCountdown(dialog, run);
    CloseWord(run);

    // The owner has the calls run on Outlook's thread. It signals the stop event before it waits
    // for this thread, so this wait can never hold Outlook's thread in a deadlock.
    const HANDLE stop = owner.StopEvent();
    const ULONGLONG askedAt = GetTickCount64();
    const OutlookEndAnswer answer = owner.AskOutlookToEnd();
    if (answer.outcome == OutlookEndOutcome::Failed || answer.outcome == OutlookEndOutcome::TimedOut) {
        // A failed Outlook call ends the run. The dialog goes first, as nothing pumps its
        // messages while the entry is written.
        if (window)
            DestroyWindow(window);
        ReportFailedCall(answer.lastCall, answer.result, stop);
        return 0;
    }
    // Stopped while asking: the run goes on to its end, which the cleared running flag cuts short.

    CountDown(owner, window, run.delay, stop);
    const std::unique_ptr<WriteHold> hold = StartHold(run, owner, answer.dataFiles);
    WindDown(window, hold.get());
    const bool boundRanOut = CloseOutlookAndHold(hold.get(), owner, stop);
    Decide(owner, run, askedAt, hold.get(), boundRanOut);
    return 0;
}

} // namespace

int ParseDelay(const char* text) noexcept
{
    // long is 32 bits on Windows, so strtol itself clamps to that range.
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

bool WorkerFilterInstalled() noexcept
{
    return g_workerFilterInstalled.load();
}

DWORD WINAPI ShutdownThread(LPVOID parameter) noexcept
{
    // What escapes ends the run; the routine returns 0 in every case.
    const std::unique_ptr<ShutdownStart> start(static_cast<ShutdownStart*>(parameter));
    try {
        return RunShutdown(*start);
    }
    CATCH_RETURN_VALUE(0)
}
static_assert(std::is_convertible_v<decltype(&ShutdownThread), LPTHREAD_START_ROUTINE>);
