// The small window with a progress bar that the shutdown worker shows while it counts down.
#pragma once

#include <windows.h>

// Modeless dialog from template 215 of the add-in's module. It lives on one thread (the
// worker's), which creates it, advances its bar (control IDC_EXIT_PROGRESS) and destroys it.
class CExitProgDlg {
public:
    CExitProgDlg() = default;
    // Destroys a window still left (only on its own thread); normally the creator has done so.
    ~CExitProgDlg();
    CExitProgDlg(const CExitProgDlg&) = delete;
    CExitProgDlg& operator=(const CExitProgDlg&) = delete;

    // Creates the window hidden on the calling thread; its initialisation centres it, sets the
    // bar's range to 0..the delay (0 when negative) at position 0 and shows it. Returns the
    // window or null when creation fails; a second call gives the existing window. Never throws.
    HWND Create(HWND owner);

    // The countdown's length in seconds, the bar's maximum; set before Create.
    void SetDelay(int seconds) noexcept { m_nDelay = seconds; }
    // The dialog's window: null until created and again once destroyed.
    HWND Window() const noexcept { return m_hWnd; }

private:
    int m_nDelay = 0;
    HWND m_hWnd = nullptr;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void OnInitDialog();
};
