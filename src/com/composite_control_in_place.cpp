// CompositeControl's IOleWindow, IOleInPlaceObject and IOleInPlaceObjectWindowless: the window,
// in-place and UI deactivation, and placement.
#include "com/composite_control.h"

using Microsoft::WRL::ComPtr;

STDMETHODIMP CompositeControl::GetWindow(HWND* window) noexcept
{
    if (!window)
        return E_POINTER;
    *window = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP CompositeControl::ContextSensitiveHelp(BOOL) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::InPlaceDeactivate() noexcept
{
    if (!m_bInPlaceActive)
        return S_OK;
    (void)UIDeactivate();
    m_bInPlaceActive = false;
    // The window lives only while the control is active in place.
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    m_spInPlaceFrame.Reset();
    m_spInPlaceUIWindow.Reset();
    ComPtr<IOleInPlaceSite> site;
    site.Swap(m_spInPlaceSite);
    if (site)
        (void)site->OnInPlaceDeactivate(); // a notification; nothing to do if it fails
    return S_OK;
}

STDMETHODIMP CompositeControl::UIDeactivate() noexcept
{
    if (!m_bUIActive)
        return S_OK;
    m_bUIActive = false;
    // Notifications to the container; the control is deactivated whatever they answer.
    if (m_spInPlaceUIWindow)
        (void)m_spInPlaceUIWindow->SetActiveObject(nullptr, nullptr);
    if (m_spInPlaceFrame)
        (void)m_spInPlaceFrame->SetActiveObject(nullptr, nullptr);
    if (m_spInPlaceSite)
        (void)m_spInPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP CompositeControl::SetObjectRects(LPCRECT position, LPCRECT) noexcept
{
    if (!position)
        return E_POINTER;
    if (m_hWnd)
        SetWindowPos(m_hWnd, nullptr, position->left, position->top, position->right - position->left,
                     position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

STDMETHODIMP CompositeControl::ReactivateAndUndo() noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) noexcept
{
    // Never windowless: the control's messages arrive at its own window.
    if (result)
        *result = 0;
    return S_FALSE;
}

STDMETHODIMP CompositeControl::GetDropTarget(IDropTarget** dropTarget) noexcept
{
    if (!dropTarget)
        return E_POINTER;
    *dropTarget = nullptr;
    return E_NOTIMPL;
}
