#include "shutdown/shutdown_thread.h"

#include <type_traits>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "com/com_error.h"
#include "log/crash_record.h"
#include "log/event_log.h"
#include "log/log_file.h"
#include "resource_ids/resource.h"
#include "settings/settings_store.h"
#include "shutdown/exit_progress_dialog.h"
#include "shutdown/message_pump.h"
#include "shutdown/process_closer.h"
#include "shutdown/shutdown_owner.h"
#include "shutdown/write_hold.h"

namespace {

// Stays installed for the rest of the process's life: a fault on any thread ends Outlook's
// process at once, as the module's own filter does, instead of a report or a hang; the crash
// record (written without allocating or locking) is the one trace it leaves.
LONG WINAPI WorkerExceptionFilter(EXCEPTION_POINTERS* info) noexcept
{
    WriteCrashRecord(info);
    return EXCEPTION_EXECUTE_HANDLER;
}
static_assert(std::is_convertible_v<decltype(&WorkerExceptionFilter), LPTOP_LEVEL_EXCEPTION_FILTER>);

void LogWordLeftOpen(DWORD processId) noexcept
{
    LogMessage(0, "ShutdownThread<CloseWinWord> ==> [VISIBLE, LEFT OPEN] %lu", static_cast<unsigned long>(processId));
}

bool IsOne(const char* text)
{
    return std::strcmp(text, "1") == 0;
}

void AdvanceProgress(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, IDC_EXIT_PROGRESS);
    const LRESULT position = SendMessageA(bar, PBM_GETPOS, 0, 0);
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
    InvalidateRect(dialog, nullptr, TRUE);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

const char* VersionText(const ShutdownOwner& owner)
{
    const char* version = owner.OutlookVersion();
    return version && *version ? version : "unknown";
}

// Whole seconds since `since`, as text for an entry.
std::string SecondsSince(ULONGLONG since)
{
    return std::to_string((GetTickCount64() - since) / 1000);
}

// The Event Log's entry saying that Outlook let go of the add-in before the worker decided to
// end it (Delay, the seconds since the worker asked Outlook to quit, its version). Outlook's
// thread waits for this one in its final release, so the wait is the short one.
void ReportLetGo(int delay, ULONGLONG askedAt, const ShutdownOwner& owner) noexcept
{
    try {
        (void)ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_LET_GO,
                               {std::to_string(delay), SecondsSince(askedAt), VersionText(owner)},
                               kEventReportOutlookWaitMs);
    }
    catch (...) {
        // No memory for the entry's texts: it is left out, the shutdown goes on.
    }
}

// The entries of a decision to end Outlook, written before the end, which leaves no time
// afterwards: 1000 (Delay, the seconds since the worker asked Outlook to quit, the version, the
// seconds the hold added for the writes), and, when the hold's bound ran out while Outlook was
// still writing, the warning naming the file last seen changing, or, when no file was seen
// changing, the warning that the process's write count alone saw the writes. The waits are
// bounded and a release no longer cuts them: the decision is taken, and Outlook's thread waits
// for it.
void ReportEnd(int delay, ULONGLONG askedAt, const ShutdownOwner& owner, const WriteHold* hold,
               bool boundRanOut) noexcept
{
    try {
        (void)ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, VANTREL_EVENT_OUTLOOK_ENDED,
                               {std::to_string(delay), SecondsSince(askedAt), VersionText(owner),
                                std::to_string(hold ? hold->ExtraSeconds() : 0)},
                               kEventReportTimeoutMs);
        if (hold && boundRanOut) {
            const std::wstring& file = hold->LastChanged();
            const std::wstring seconds = std::to_wstring(hold->BoundSeconds());
            if (file.empty())
                (void)ReportAddinEventW(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_WRITES_COUNTED_NOT_FINISHED, {seconds},
                                        kEventReportTimeoutMs);
            else
                (void)ReportAddinEventW(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_WRITES_NOT_FINISHED, {file, seconds},
                                        kEventReportTimeoutMs);
        }
    }
    catch (...) {
        // No memory for the entry's texts: it is left out, the shutdown goes on.
    }
}

// Still running after the termination: the decision could not be carried out. Logged and
// reported; Outlook ends by itself or not at all.
void ReportTerminationFailed(DWORD error, const ShutdownOwner& owner) noexcept
{
    LogMessage(0, "ShutdownThread<Terminate> ==> [FAILED %lu]", static_cast<unsigned long>(error));
    try {
        (void)ReportAddinEvent(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_TERMINATION_FAILED,
                               {std::to_string(error), VersionText(owner)}, kEventReportTimeoutMs);
    }
    catch (...) {
        // No memory for the entry's texts: it is left out, the shutdown goes on.
    }
}

// The Event Log's entry for a run that an Outlook call cut short: the call and its HRESULT.
// The wait ends when Outlook lets go of the add-in, whose final release waits for this thread.
void ReportFailedCall(const ShutdownOwner& owner, HRESULT hr, HANDLE stop) noexcept
{
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    const char* call = owner.LastOutlookCall();
    (void)ReportAddinEvent(EVENTLOG_WARNING_TYPE, VANTREL_EVENT_OUTLOOK_CALL_FAILED, {call ? call : "(none)", code},
                           kEventReportTimeoutMs, stop);
}

// One run; the thread routine catches what it may throw.
DWORD RunShutdown(ShutdownOwner* owner)
{
    if (!owner->IsRunning())
        return 0;
    SetUnhandledExceptionFilter(WorkerExceptionFilter); // the module's filter is not put back

    CExitProgDlg dialog;
    char setting[kSettingBufferSize];
    (void)ReadEffectiveSetting("Delay", setting, kSettingReadSize);
    const int configuredDelay = ParseDelay(setting);
    int delay = configuredDelay;
    (void)ReadEffectiveSetting("ShowExitDialog", setting, kSettingReadSize);
    const bool showDialog = IsOne(setting);
    (void)ReadEffectiveSetting("CloseWinWord", setting, kSettingReadSize);
    const bool closeWord = IsOne(setting);
    const int waitForWrites = ReadWaitForWrites();

    HWND window = nullptr;
    if (showDialog) {
        dialog.m_nDelay = delay;
        window = dialog.Create(nullptr); // a dialog that cannot be made is left out
        if (window)
            ShowWindow(window, SW_SHOW);
    }

    // Only a Word left running in the background: one on the screen may hold unsaved documents.
    if (closeWord)
        CloseBackgroundProcessByName("winword.exe", true, LogWordLeftOpen);

    // The owner has the calls run on Outlook's thread. It signals the stop event before it waits
    // for this thread, so this wait can never hold Outlook's thread in a deadlock.
    HANDLE stop = owner->StopEvent();
    const ULONGLONG askedAt = GetTickCount64();
    const HRESULT asked = owner->AskOutlookToEnd();
    if (FAILED(asked)) {
        // A failed Outlook call ends the run. The dialog goes first, as nothing pumps its
        // messages while the entry is written.
        if (window)
            DestroyWindow(window);
        ReportFailedCall(*owner, asked, stop);
        return 0;
    }

    while (delay > 0 && owner->IsRunning()) {
        if (window)
            AdvanceProgress(window);
        PumpMessagesUntil(1, stop); // returns at once when the add-in is released
        --delay;
    }

    // The hold before the end watches Outlook's writes from here on: sampled at each second of
    // the wind-down, and then a second after the close messages, when Outlook's own exit work
    // begins; an Outlook that is not writing is ended at that sample.
    std::unique_ptr<WriteHold> hold;
    if (waitForWrites <= 0) {
        LogMessage(0, "ShutdownThread<WaitForWrites> ==> [OFF]");
    } else if (owner->IsRunning()) {
        const OutlookDataFiles& files = owner->DataFiles();
        if (FAILED(files.result))
            LogMessage(0, "ShutdownThread<WaitForWrites> ==> [STORES FAILED] 0x%08lX",
                       static_cast<unsigned long>(files.result));
        hold.reset(new WriteHold(files.stores, waitForWrites));
    }

    PostQuitMessage(0);
    for (int second = 0; second < 2; ++second) {
        PumpMessages(1);
        if (hold)
            hold->Sample();
    }
    if (window)
        DestroyWindow(window);
    LogMessage(0, "ShutdownThread<WindDown> ==> [DONE]");

    CloseProcessByName("OUTLOOK.EXE", false);
    // The hold's second after the close messages and its bound both count from here.
    const bool boundRanOut = hold && hold->Wait(*owner, stop) == HoldEnd::Bound;

    // The one decision, raced for with the final release: whichever moves the run from running
    // first acts. The worker that wins ends Outlook; a release after this has lost and changes
    // nothing.
    if (owner->DecideToEnd()) {
        ReportEnd(configuredDelay, askedAt, *owner, hold.get(), boundRanOut);
        ReportTerminationFailed(EndOwnProcess(0), *owner); // reached only when the end failed
    } else {
        LogMessage(0, "ShutdownThread<Terminate> ==> [SKIPPED, ADD-IN RELEASED]");
        ReportLetGo(configuredDelay, askedAt, *owner);
    }
    return 0;
}

} // namespace

int ParseDelay(const char* text) noexcept
{
    // long is 32 bits on Windows, so strtol itself clamps to that range.
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

DWORD WINAPI ShutdownThread(LPVOID parameter) noexcept
{
    // What escapes ends the run; the routine returns 0 in every case.
    try {
        return RunShutdown(static_cast<ShutdownOwner*>(parameter));
    }
    CATCH_RETURN_VALUE(0)
}
static_assert(std::is_convertible_v<decltype(&ShutdownThread), LPTHREAD_START_ROUTINE>);
