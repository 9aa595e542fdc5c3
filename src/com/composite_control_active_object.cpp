// CompositeControl's IOleInPlaceActiveObject: keyboard messages while the control is UI-active,
// with tabbing that leaves the page to the container at either end.
#include "com/composite_control.h"

#include "com/dialog_tab_order.h"

STDMETHODIMP CompositeControl::TranslateAccelerator(LPMSG message) noexcept
{
    if (!message)
        return E_INVALIDARG;
    if (!m_hWnd || message->message < WM_KEYFIRST || message->message > WM_KEYLAST)
        return S_FALSE;
    if (message->hwnd != m_hWnd && !IsChild(m_hWnd, message->hwnd))
        return S_FALSE;
    // Alt combinations are the container's: the control reports no mnemonics of its own.
    if (message->message == WM_SYSKEYDOWN || message->message == WM_SYSKEYUP || message->message == WM_SYSCHAR)
        return S_FALSE;
    const WPARAM key = message->wParam;
    const bool keyMessage = message->message == WM_KEYDOWN || message->message == WM_CHAR;
    // Enter and Escape belong to the container's dialog (its OK and Cancel buttons).
    if (keyMessage && (key == VK_RETURN || key == VK_ESCAPE || key == VK_CANCEL || key == VK_EXECUTE))
        return S_FALSE;
    if (message->message == WM_KEYDOWN && key == VK_TAB) {
        // Tabbing on past the last control, or back before the first, leaves the page:
        // that move is the container's.
        const bool backwards = GetKeyState(VK_SHIFT) < 0;
        HWND first = nullptr;
        HWND last = nullptr;
        TabStopRange(m_hWnd, &first, &last);
        HWND focused = FocusedChild(m_hWnd);
        if (!focused || focused == (backwards ? first : last))
            return S_FALSE;
    }
    return IsDialogMessageW(m_hWnd, message) ? S_OK : S_FALSE;
}

STDMETHODIMP CompositeControl::OnFrameWindowActivate(BOOL) noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::OnDocWindowActivate(BOOL) noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::EnableModeless(BOOL) noexcept
{
    return S_OK;
}
