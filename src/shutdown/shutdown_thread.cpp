#include "shutdown/shutdown_thread.h"

#include <commctrl.h>
#include <wrl/client.h>

#include <cstdlib>
#include <cstring>

#include "addin/connect.h"
#include "addin/outlook.h"
#include "addin/outlook_thread_bridge.h"
#include "com/com_error.h"
#include "settings/settings_store.h"
#include "shutdown/exit_progress_dialog.h"
#include "shutdown/message_pump.h"
#include "shutdown/process_closer.h"

namespace {

constexpr int kProgressControl = 228;

// Stays installed for the rest of the process's life: a fault on any thread ends Outlook's
// process at once and silently, as the module's own filter does, instead of a report or a hang.
LONG WINAPI WorkerExceptionFilter(EXCEPTION_POINTERS*)
{
    return EXCEPTION_EXECUTE_HANDLER;
}

bool IsOne(const char* text)
{
    return std::strcmp(text, "1") == 0;
}

// On Outlook's own thread: log off the session (when there is one) and ask Outlook to quit,
// in that order. The first failing call ends the sequence; its HRESULT is returned. No-throw.
HRESULT AskOutlookToEnd(void* context)
{
    try {
        IDispatch* application = static_cast<CConnect*>(context)->Application();
        if (Outlook::Session(application)) {
            Microsoft::WRL::ComPtr<IDispatch> session = Outlook::Session(application);
            Outlook::Logoff(session.Get());
        }
        Outlook::Quit(application);
        return S_OK;
    } catch (...) {
        return CaughtExceptionResult();
    }
}

void AdvanceProgress(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, kProgressControl);
    const LRESULT position = SendMessageA(bar, PBM_GETPOS, 0, 0);
    SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
    InvalidateRect(dialog, nullptr, TRUE);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

DWORD RunShutdown(CConnect* connect)
{
    if (!connect->IsRunning())
        return 0;
    SetUnhandledExceptionFilter(WorkerExceptionFilter); // the module's filter is not put back

    CExitProgDlg dialog;
    char setting[kSettingBufferSize];
    ReadSetting("Delay", setting, kSettingReadSize, HKEY_CURRENT_USER);
    int delay = ParseDelay(setting);
    ReadSetting("ShowExitDialog", setting, kSettingReadSize, HKEY_CURRENT_USER);
    const bool showDialog = IsOne(setting);
    ReadSetting("CloseWinWord", setting, kSettingReadSize, HKEY_CURRENT_USER);
    const bool closeWord = IsOne(setting);

    HWND window = nullptr;
    if (showDialog) {
        dialog.m_nDelay = delay;
        window = dialog.Create(nullptr); // a dialog that cannot be made is left out
        if (window)
            ShowWindow(window, SW_SHOW);
    }

    if (closeWord)
        CloseProcessByName("winword.exe", true);

    // Outlook answers calls from any thread but its own with RPC_E_WRONG_THREAD, so the calls
    // run on Outlook's thread. The final release signals the stop event before it waits for
    // this thread, so this wait can never hold Outlook's thread in a deadlock.
    HANDLE stop = connect->StopEvent();
    OutlookThreadBridge* bridge = connect->Bridge();
    // Without a whole bridge the calls are not made from here either: the run ends as failed.
    const HRESULT asked = bridge ? bridge->Run(AskOutlookToEnd, connect, stop) : E_UNEXPECTED;
    if (FAILED(asked) && asked != kBridgeStopped)
        return 0; // a failed Outlook call ends the run; the dialog goes with the thread's windows

    while (delay > 0 && connect->IsRunning()) {
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
    if (connect->IsRunning())
        KillProcess(GetCurrentProcessId(), 0);
    return 0;
}

} // namespace

int ParseDelay(const char* text)
{
    // long is 32 bits on Windows, so strtol itself clamps to that range.
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

DWORD WINAPI ShutdownThread(LPVOID parameter)
{
    // Nothing may leave a thread routine.
    try {
        return RunShutdown(static_cast<CConnect*>(parameter));
    } catch (...) {
        return 0;
    }
}
