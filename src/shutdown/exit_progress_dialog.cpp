#include "shutdown/exit_progress_dialog.h"

#include <type_traits>
#include <commctrl.h>

#include "com/com_error.h"
#include "com/dialog_creation.h"
#include "win32/module_instance.h"
#include "win32/ui_language.h"
#include "resource_ids/resource.h"

namespace {

// Centres the window over its owner or, without one, in the work area of the nearest monitor,
// and keeps it inside that work area.
void CentreInWorkArea(HWND window)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT work = monitor.rcWork;
    RECT centreOn = work;
    const HWND owner = GetWindow(window, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        (void)GetWindowRect(owner, &centreOn);

    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    LONG left = (centreOn.left + centreOn.right - width) / 2;
    LONG top = (centreOn.top + centreOn.bottom - height) / 2;
    if (left + width > work.right)
        left = work.right - width;
    if (left < work.left)
        left = work.left;
    if (top + height > work.bottom)
        top = work.bottom - height;
    if (top < work.top)
        top = work.top;
    (void)SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

CExitProgDlg::~CExitProgDlg()
{
    if (!m_hWnd)
        return;
    if (GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId()) {
        (void)DestroyWindow(m_hWnd);
    } else {
        // Another thread's window cannot be destroyed from here; at least stop it reaching us.
        SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    }
    m_hWnd = nullptr;
}

HWND CExitProgDlg::Create(HWND owner)
{
    if (m_hWnd)
        return m_hWnd;
    // The progress bar's class must be registered in this process; Outlook has usually done
    // so already, and doing it again is harmless.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    (void)InitCommonControlsEx(&controls);
    // The template of the add-in's language (its caption is translated), found explicitly.
    const DLGTEMPLATE* dialog = FindUiDialog(ModuleInstance(), IDD_EXITPROGDLG);
    if (!dialog)
        return nullptr;
    const DialogCreation creating(this);
    return CreateDialogIndirectParamW(ModuleInstance(), dialog, owner, DialogProc, reinterpret_cast<LPARAM>(this));
}

void CExitProgDlg::OnInitDialog()
{
    CentreInWorkArea(m_hWnd);
    // The 32-bit range: PBM_SETRANGE's 16 bits would fill the bar long before a countdown of
    // more than 65535 seconds ends. A negative Delay counts nothing down and shows an empty bar.
    (void)SendDlgItemMessageA(m_hWnd, IDC_EXIT_PROGRESS, PBM_SETRANGE32, 0, m_nDelay > 0 ? m_nDelay : 0);
    (void)SendDlgItemMessageA(m_hWnd, IDC_EXIT_PROGRESS, PBM_SETPOS, 0, 0);
    (void)ShowWindow(m_hWnd, SW_SHOW);
    (void)BringWindowToTop(m_hWnd);
    (void)RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// A window procedure: nothing may unwind out of it into the system.
INT_PTR CALLBACK CExitProgDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    static_assert(std::is_convertible_v<decltype(&DialogProc), DLGPROC>); // the caller's convention
    try {
        if (message == WM_INITDIALOG) {
            // Only the one that this thread's Create makes; any other is not ours.
            if (GetWindowLongPtrA(window, DWLP_USER) || !DialogCreation::Claim(lParam))
                return FALSE;
            auto* self = reinterpret_cast<CExitProgDlg*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->m_hWnd = window;
            self->OnInitDialog();
            // The default answer: the dialog does not choose the keyboard focus itself.
            return FALSE;
        }
        auto* self = reinterpret_cast<CExitProgDlg*>(GetWindowLongPtrA(window, DWLP_USER));
        if (!self)
            return FALSE;
        switch (message) {
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            // Modeless: EndDialog only hides the window; the worker destroys it.
            if ((id == IDOK || id == IDCANCEL) && HIWORD(wParam) == 0) {
                (void)EndDialog(window, id);
                return TRUE;
            }
            return FALSE;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            return FALSE;
        default:
            return FALSE;
        }
    }
    CATCH_RETURN_VALUE(FALSE)
}
