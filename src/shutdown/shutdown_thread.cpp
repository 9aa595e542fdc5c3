#include "shutdown/shutdown_thread.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

namespace {

// Stays installed for the rest of the process's life: a fault on any thread ends Outlook's
// process at once, as the module's own filter does, instead of a report or a hang; the crash
// record (written without allocating or locking) is the one trace it leaves.
LONG WINAPI WorkerExceptionFilter(EXCEPTION_POINTERS* info) noexcept
{
    WriteCrashRecord(info);
    return EXCEPTION_EXECUTE_HANDLER;
}

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

// The Event Log's entry at the end of a countdown: Outlook ended by the worker, or let go of
// the add-in before (Delay, the seconds since the worker asked Outlook to quit, its version).
// Waits for the write as ReportAddinEvent does.
void ReportCountdownEnd(DWORD id, int delay, ULONGLONG askedAt, const ShutdownOwner& owner, DWORD waitMs,
                        HANDLE stopWaiting) noexcept
{
    char configured[16];
    char seconds[24];
    std::snprintf(configured, sizeof(configured), "%d", delay);
    std::snprintf(seconds, sizeof(seconds), "%llu", static_cast<unsigned long long>((GetTickCount64() - askedAt) / 1000));
    const char* version = owner.OutlookVersion();
    (void)ReportAddinEvent(EVENTLOG_INFORMATION_TYPE, id, {configured, seconds, version && *version ? version : "unknown"},
                           waitMs, stopWaiting);
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

    PostQuitMessage(0);
    PumpMessages(2);
    if (window)
        DestroyWindow(window);

    CloseProcessByName("OUTLOOK.EXE", false);
    if (owner->IsRunning()) {
        // Written before the end, which leaves no time afterwards. The wait is bounded, and ends
        // when Outlook lets go meanwhile: Outlook's thread is then waiting for this one, and an
        // Outlook that let go during the write is not ended. The entry already on its way is
        // then followed by the one saying that Outlook let go.
        ReportCountdownEnd(VANTREL_EVENT_OUTLOOK_ENDED, configuredDelay, askedAt, *owner, kEventReportTimeoutMs, stop);
        if (owner->IsRunning()) {
            KillProcess(GetCurrentProcessId(), 0);
        } else {
            LogMessage(0, "ShutdownThread<Terminate> ==> [SKIPPED, ADD-IN RELEASED]");
            ReportCountdownEnd(VANTREL_EVENT_OUTLOOK_LET_GO, configuredDelay, askedAt, *owner, 0, nullptr);
        }
    } else {
        // Outlook's thread waits for this one in its final release.
        ReportCountdownEnd(VANTREL_EVENT_OUTLOOK_LET_GO, configuredDelay, askedAt, *owner, kEventReportOutlookWaitMs,
                           nullptr);
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
