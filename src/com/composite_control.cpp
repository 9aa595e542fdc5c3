// CompositeControl's window and activation: construction, the dialog procedure that hands
// the dialog's messages to the derived class, in-place and UI activation, and the interface
// table. The OLE interfaces themselves live in composite_control_*.cpp, one file each.
#include "com/composite_control.h"

#include <type_traits>
#include <olectl.h>

#include "com/com_error.h"
#include "com/dialog_creation.h"
#include "com/interface_table.h"
#include "win32/dialog_template.h"
#include "win32/ui_language.h"
#include "com/raii.h"

using Microsoft::WRL::ComPtr;

namespace {

// How a dialog procedure hands back a message's result: most messages through
// DWLP_MSGRESULT, these few as the procedure's own return value.
INT_PTR DialogResult(HWND hwnd, UINT message, LRESULT result)
{
    switch (message) {
    case kWmCtlColor:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

} // namespace

CompositeControl::CompositeControl(HINSTANCE instance, WORD dialogId, const CLSID& clsid, DWORD miscStatus)
    : m_hInstance(instance), m_wDialogId(dialogId), m_clsid(clsid), m_dwMiscStatus(miscStatus)
{
    m_sizeNatural = DialogTemplateExtent(instance, dialogId);
    m_sizeExtent = m_sizeNatural;
}

CompositeControl::~CompositeControl()
{
    DestroyControlWindow();
}

void CompositeControl::DestroyControlWindow()
{
    if (!m_hWnd)
        return;
    // The window's last messages go to the dialog manager only.
    SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    HWND window = m_hWnd;
    m_hWnd = nullptr;
    DestroyWindow(window);
}

void* CompositeControl::ControlInterface(REFIID riid)
{
    using C = CompositeControl;
    static constexpr InterfaceEntry<C> kInterfaces[] = {
        InterfaceRow<C, IViewObjectEx>(IID_IViewObjectEx),
        InterfaceRow<C, IViewObjectEx>(IID_IViewObject2),
        InterfaceRow<C, IViewObjectEx>(IID_IViewObject),
        InterfaceRow<C, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObjectWindowless),
        InterfaceRow<C, IOleInPlaceObjectWindowless>(IID_IOleInPlaceObject),
        InterfaceRow<C, IOleInPlaceObjectWindowless>(IID_IOleWindow),
        InterfaceRow<C, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
        InterfaceRow<C, IOleControl>(IID_IOleControl),
        InterfaceRow<C, IOleObject>(IID_IOleObject),
        InterfaceRow<C, IPersistStreamInit>(IID_IPersistStreamInit),
        InterfaceRow<C, IPersistStreamInit>(IID_IPersist),
    };
    return FindInterface(this, kInterfaces, riid);
}

INT_PTR CALLBACK CompositeControl::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    static_assert(std::is_convertible_v<decltype(&DialogProc), DLGPROC>); // the caller's convention
    try {
        CompositeControl* self;
        if (message == WM_INITDIALOG) {
            // Only the one this thread's InPlaceActivate creates; any other is not ours.
            if (GetWindowLongPtrW(hwnd, DWLP_USER) || !DialogCreation::Claim(lParam))
                return FALSE;
            self = reinterpret_cast<CompositeControl*>(lParam);
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            self->m_hWnd = hwnd;
        } else {
            self = reinterpret_cast<CompositeControl*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        }
        if (!self)
            return FALSE;
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            return FALSE;
        }
        LRESULT result = 0;
        if (self->OnDialogMessage(message, wParam, lParam, &result))
            return DialogResult(hwnd, message, result);
        if (message == WM_MOUSEACTIVATE && !self->m_bUIActive && self->UserMode()) {
            // A container without in-place support leaves the page as it is.
            (void)self->InPlaceActivate(OLEIVERB_UIACTIVATE, nullptr);
        }
        return FALSE; // the dialog manager's default handling (WM_MOUSEACTIVATE: activate)
    }
    CATCH_RETURN_VALUE(FALSE) // nothing may unwind into the window manager
}

bool CompositeControl::UserMode() const
{
    ComPtr<IDispatch> ambient;
    if (!m_spClientSite || FAILED(m_spClientSite.As(&ambient)))
        return true;
    UniqueVariant value;
    DISPPARAMS none{};
    HRESULT hr = ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                 value.get(), nullptr, nullptr);
    if (SUCCEEDED(hr))
        hr = VariantChangeType(value.get(), value.get(), 0, VT_BOOL);
    return FAILED(hr) || value.get()->boolVal != VARIANT_FALSE;
}

HRESULT CompositeControl::InPlaceActivate(LONG verb, const RECT* position)
{
    if (!m_spClientSite)
        return E_UNEXPECTED;
    if (!m_bInPlaceActive) {
        const HRESULT hr = ActivateInSite(position);
        if (FAILED(hr))
            return hr;
    }
    if (m_hWnd && !IsWindowVisible(m_hWnd))
        ShowWindow(m_hWnd, SW_SHOWNA);
    if (verb == OLEIVERB_UIACTIVATE && !m_bUIActive && m_spInPlaceSite)
        return UIActivate();
    return S_OK;
}

HRESULT CompositeControl::ActivateInSite(const RECT* position)
{
    ComPtr<IOleInPlaceSite> site;
    HRESULT hr = m_spClientSite.As(&site);
    if (FAILED(hr))
        return hr;
    hr = site->CanInPlaceActivate();
    if (hr != S_OK)
        return FAILED(hr) ? hr : E_FAIL;
    hr = site->OnInPlaceActivate();
    if (FAILED(hr))
        return hr;
    m_bInPlaceActive = true;
    m_spInPlaceSite = site;

    RECT pos{};
    RECT clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    hr = site->GetWindowContext(m_spInPlaceFrame.ReleaseAndGetAddressOf(), m_spInPlaceUIWindow.ReleaseAndGetAddressOf(),
                                &pos, &clip, &frameInfo);
    HWND parent = nullptr;
    if (SUCCEEDED(hr))
        hr = site->GetWindow(&parent);
    if (SUCCEEDED(hr) && !m_hWnd) {
        // The template of the add-in's language, found explicitly: CreateDialogParamW would
        // pick one by the thread's UI language, which is Windows', not Office's.
        const DialogCreation creating(this);
        if (const DLGTEMPLATE* dialog = FindUiDialog(m_hInstance, m_wDialogId))
            CreateDialogIndirectParamW(m_hInstance, dialog, parent, DialogProc, reinterpret_cast<LPARAM>(this));
        if (!m_hWnd)
            hr = E_FAIL;
    }
    if (FAILED(hr)) {
        (void)InPlaceDeactivate(); // tells the site that activation ended
        return hr;
    }
    if (position)
        pos = *position;
    (void)SetObjectRects(&pos, &clip);
    return S_OK;
}

HRESULT CompositeControl::UIActivate()
{
    m_bUIActive = true;
    const HRESULT hr = m_spInPlaceSite->OnUIActivate();
    if (FAILED(hr)) {
        m_bUIActive = false;
        return hr;
    }
    HWND focus = GetFocus();
    if (m_hWnd && focus != m_hWnd && !IsChild(m_hWnd, focus))
        SetFocus(m_hWnd); // the dialog passes it on to its current control
    IOleInPlaceActiveObject* active = this;
    // Tool space is optional for a container to give; a control without tools needs none.
    if (m_spInPlaceFrame) {
        (void)m_spInPlaceFrame->SetActiveObject(active, nullptr);
        (void)m_spInPlaceFrame->SetBorderSpace(nullptr);
    }
    if (m_spInPlaceUIWindow) {
        (void)m_spInPlaceUIWindow->SetActiveObject(active, nullptr);
        (void)m_spInPlaceUIWindow->SetBorderSpace(nullptr);
    }
    return S_OK;
}
