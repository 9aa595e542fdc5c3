#include "shutdown/shutdown_thread.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "com/com_error.h"
#include "log/log_file.h"
#include "resource_ids/resource.h"
#include "settings/settings_store.h"
#include "shutdown/exit_progress_dialog.h"
#include "shutdown/message_pump.h"
#include "shutdown/process_closer.h"
#include "shutdown/shutdown_owner.h"

namespace {

// Stays installed for the rest of the process's life: a fault on any thread ends Outlook's
// process at once and silently, as the module's own filter does, instead of a report or a hang.
LONG WINAPI WorkerExceptionFilter(EXCEPTION_POINTERS*) noexcept
{
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

// One run; the thread routine catches what it may throw.
DWORD RunShutdown(ShutdownOwner* owner)
{
    if (!owner->IsRunning())
        return 0;
    SetUnhandledExceptionFilter(WorkerExceptionFilter); // the module's filter is not put back

    CExitProgDlg dialog;
    char setting[kSettingBufferSize];
    (void)ReadEffectiveSetting("Delay", setting, kSettingReadSize);
    int delay = ParseDelay(setting);
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
    const HRESULT asked = owner->AskOutlookToEnd();
    if (FAILED(asked))
        return 0; // a failed Outlook call ends the run; the dialog goes with the thread's windows

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
    if (owner->IsRunning())
        KillProcess(GetCurrentProcessId(), 0);
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
