#include "com/composite_control.h"

#include <olectl.h>

#include <cwchar>

#include "com/com_error.h"

using Microsoft::WRL::ComPtr;

namespace {

// Format of the persisted stream: this tag, then "_cx" and "_cy" as 32-bit unsigned values.
constexpr DWORD kExtentStreamFormat = 1;
constexpr ULONG kExtentStreamSize = 3 * sizeof(DWORD);

// WM_CTLCOLOR: the 16-bit form of the WM_CTLCOLOR* messages, still answered as they are.
constexpr UINT kWmCtlColor = 0x0019;

// Skips a menu or class field of a dialog template: empty, an ordinal, or a string.
const WORD* SkipNameOrOrdinal(const WORD* p, const WORD* end)
{
    if (p >= end)
        return end;
    if (*p == 0x0000)
        return p + 1;
    if (*p == 0xFFFF)
        return p + 2;
    while (p < end && *p)
        ++p;
    return p < end ? p + 1 : end;
}

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

bool IsTabStop(HWND child)
{
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    return (style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

// The first and last tab stops among the dialog's children, in tab (z-) order.
void TabStopRange(HWND dialog, HWND* first, HWND* last)
{
    *first = *last = nullptr;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!IsTabStop(child))
            continue;
        if (!*first)
            *first = child;
        *last = child;
    }
}

// The direct child of dialog that holds the focus (or contains the window that does).
HWND FocusedChild(HWND dialog)
{
    HWND focus = GetFocus();
    while (focus && GetParent(focus) != dialog)
        focus = GetParent(focus);
    return focus;
}

} // namespace

SIZEL DialogTemplateExtent(HINSTANCE instance, WORD dialogId)
{
    SIZEL extent{0, 0};
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(dialogId), MAKEINTRESOURCEW(5)); // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    const DWORD bytes = found ? SizeofResource(instance, found) : 0;
    if (!data || bytes < 18)
        return extent;

    // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF; DLGTEMPLATE has neither.
    const auto word = [data](size_t offset) { return *reinterpret_cast<const WORD*>(data + offset); };
    const bool extended = word(0) == 1 && word(2) == 0xFFFF;
    if (extended && bytes < 26)
        return extent;
    const DWORD style = extended ? *reinterpret_cast<const DWORD*>(data + 12) : *reinterpret_cast<const DWORD*>(data);
    const short cx = static_cast<short>(word(extended ? 22 : 14));
    const short cy = static_cast<short>(word(extended ? 24 : 16));
    const WORD* end = reinterpret_cast<const WORD*>(data + bytes);
    const WORD* p = reinterpret_cast<const WORD*>(data + (extended ? 26 : 18));
    p = SkipNameOrOrdinal(p, end); // menu
    p = SkipNameOrOrdinal(p, end); // window class
    p = SkipNameOrOrdinal(p, end); // title

    HDC screen = GetDC(nullptr);
    const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    // Dialog base units: the average character width and the height of the template's font.
    const LONG systemUnits = GetDialogBaseUnits();
    int baseX = LOWORD(systemUnits);
    int baseY = HIWORD(systemUnits);
    if (screen && (style & DS_SETFONT) && p + (extended ? 3 : 1) < end) {
        LOGFONTW font{};
        font.lfHeight = -MulDiv(static_cast<short>(*p++), dpiY, 72);
        if (extended) {
            font.lfWeight = *p++;
            font.lfItalic = LOBYTE(*p);
            font.lfCharSet = HIBYTE(*p);
            ++p;
        } else {
            font.lfCharSet = DEFAULT_CHARSET;
        }
        for (int i = 0; i < LF_FACESIZE - 1 && p + i < end && p[i]; ++i)
            font.lfFaceName[i] = static_cast<wchar_t>(p[i]);
        HFONT handle = CreateFontIndirectW(&font);
        if (handle) {
            HGDIOBJ previous = SelectObject(screen, handle);
            TEXTMETRICW metrics{};
            SIZE alphabet{};
            static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
            if (GetTextMetricsW(screen, &metrics) && GetTextExtentPoint32W(screen, kAlphabet, 52, &alphabet)) {
                baseX = (alphabet.cx / 26 + 1) / 2;
                baseY = metrics.tmHeight;
            }
            SelectObject(screen, previous);
            DeleteObject(handle);
        }
    }
    if (screen)
        ReleaseDC(nullptr, screen);

    const int pixelsX = MulDiv(cx, baseX, 4);
    const int pixelsY = MulDiv(cy, baseY, 8);
    extent.cx = MulDiv(pixelsX, 2540, dpiX);
    extent.cy = MulDiv(pixelsY, 2540, dpiY);
    return extent;
}

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
    if (riid == IID_IViewObjectEx || riid == IID_IViewObject2 || riid == IID_IViewObject)
        return static_cast<IViewObjectEx*>(this);
    if (riid == IID_IOleInPlaceObjectWindowless || riid == IID_IOleInPlaceObject || riid == IID_IOleWindow)
        return static_cast<IOleInPlaceObjectWindowless*>(this);
    if (riid == IID_IOleInPlaceActiveObject)
        return static_cast<IOleInPlaceActiveObject*>(this);
    if (riid == IID_IOleControl)
        return static_cast<IOleControl*>(this);
    if (riid == IID_IOleObject)
        return static_cast<IOleObject*>(this);
    if (riid == IID_IPersistStreamInit || riid == IID_IPersist)
        return static_cast<IPersistStreamInit*>(this);
    return nullptr;
}

INT_PTR CALLBACK CompositeControl::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        CompositeControl* self;
        if (message == WM_INITDIALOG) {
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
    } catch (...) {
        (void)CaughtExceptionResult(); // nothing may unwind into the window manager
        return FALSE;
    }
}

bool CompositeControl::UserMode() const
{
    ComPtr<IDispatch> ambient;
    if (!m_spClientSite || FAILED(m_spClientSite.As(&ambient)))
        return true;
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none{};
    HRESULT hr = ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                 &value, nullptr, nullptr);
    if (SUCCEEDED(hr))
        hr = VariantChangeType(&value, &value, 0, VT_BOOL);
    const bool userMode = FAILED(hr) || value.boolVal != VARIANT_FALSE;
    (void)VariantClear(&value);
    return userMode;
}

HRESULT CompositeControl::InPlaceActivate(LONG verb, const RECT* position)
{
    if (!m_spClientSite)
        return E_UNEXPECTED;
    if (!m_bInPlaceActive) {
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
        hr = site->GetWindowContext(m_spInPlaceFrame.ReleaseAndGetAddressOf(),
                                    m_spInPlaceUIWindow.ReleaseAndGetAddressOf(), &pos, &clip, &frameInfo);
        HWND parent = nullptr;
        if (SUCCEEDED(hr))
            hr = site->GetWindow(&parent);
        if (SUCCEEDED(hr) && !m_hWnd) {
            CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(m_wDialogId), parent, DialogProc,
                               reinterpret_cast<LPARAM>(this));
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
    }
    if (m_hWnd && !IsWindowVisible(m_hWnd))
        ShowWindow(m_hWnd, SW_SHOWNA);

    if (verb == OLEIVERB_UIACTIVATE && !m_bUIActive && m_spInPlaceSite) {
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
    }
    return S_OK;
}

// --- IViewObject / IViewObject2 / IViewObjectEx ---

STDMETHODIMP CompositeControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                                    LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!drawDc || !bounds)
        return E_INVALIDARG;
    const RECT rect{bounds->left, bounds->top, bounds->right, bounds->bottom};
    if (!m_hWnd) {
        FillRect(drawDc, &rect, GetSysColorBrush(COLOR_3DFACE));
        return S_OK;
    }
    // The window paints itself, children included, at the origin of the bounds.
    POINT previous{};
    OffsetViewportOrgEx(drawDc, rect.left, rect.top, &previous);
    SendMessageW(m_hWnd, WM_PRINT, reinterpret_cast<WPARAM>(drawDc), PRF_CLIENT | PRF_CHILDREN | PRF_ERASEBKGND);
    SetViewportOrgEx(drawDc, previous.x, previous.y, nullptr);
    return S_OK;
}

STDMETHODIMP CompositeControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colorSet)
{
    if (!colorSet)
        return E_POINTER;
    *colorSet = nullptr;
    return S_FALSE;
}

STDMETHODIMP CompositeControl::Freeze(DWORD, LONG, void*, DWORD*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink)
{
    m_spViewAdviseSink = sink;
    m_dwViewAdviseAspects = aspects;
    m_dwViewAdviseFlags = advf;
    return S_OK;
}

STDMETHODIMP CompositeControl::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink)
{
    if (aspects)
        *aspects = m_dwViewAdviseAspects;
    if (advf)
        *advf = m_dwViewAdviseFlags;
    if (sink) {
        *sink = m_spViewAdviseSink.Get();
        if (*sink)
            (*sink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CompositeControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

STDMETHODIMP CompositeControl::GetRect(DWORD, LPRECTL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::GetViewStatus(DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = VIEWSTATUS_OPAQUE;
    return S_OK;
}

STDMETHODIMP CompositeControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG, DWORD* hitResult)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!bounds || !hitResult)
        return E_POINTER;
    *hitResult = PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CompositeControl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG, DWORD* hitResult)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!bounds || !location || !hitResult)
        return E_POINTER;
    RECT overlap;
    *hitResult = IntersectRect(&overlap, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CompositeControl::GetNaturalExtent(DWORD aspect, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO* extentInfo,
                                                LPSIZEL size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!extentInfo || !size)
        return E_POINTER;
    if (extentInfo->dwExtentMode != DVEXTENT_CONTENT)
        return E_NOTIMPL;
    *size = m_sizeNatural;
    return S_OK;
}

// --- IOleWindow / IOleInPlaceObject / IOleInPlaceObjectWindowless ---

STDMETHODIMP CompositeControl::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP CompositeControl::ContextSensitiveHelp(BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::InPlaceDeactivate()
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

STDMETHODIMP CompositeControl::UIDeactivate()
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

STDMETHODIMP CompositeControl::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (!position)
        return E_POINTER;
    if (m_hWnd)
        SetWindowPos(m_hWnd, nullptr, position->left, position->top, position->right - position->left,
                     position->bottom - position->top, SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

STDMETHODIMP CompositeControl::ReactivateAndUndo()
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result)
{
    // Never windowless: the control's messages arrive at its own window.
    if (result)
        *result = 0;
    return S_FALSE;
}

STDMETHODIMP CompositeControl::GetDropTarget(IDropTarget** dropTarget)
{
    if (!dropTarget)
        return E_POINTER;
    *dropTarget = nullptr;
    return E_NOTIMPL;
}

// --- IOleInPlaceActiveObject ---

STDMETHODIMP CompositeControl::TranslateAccelerator(LPMSG message)
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

STDMETHODIMP CompositeControl::OnFrameWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CompositeControl::OnDocWindowActivate(BOOL)
{
    return S_OK;
}

STDMETHODIMP CompositeControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL)
{
    return S_OK;
}

STDMETHODIMP CompositeControl::EnableModeless(BOOL)
{
    return S_OK;
}

// --- IOleControl ---

STDMETHODIMP CompositeControl::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    // No keyboard mnemonics of the control's own for the container to route.
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP CompositeControl::OnMnemonic(MSG*)
{
    return S_OK;
}

STDMETHODIMP CompositeControl::OnAmbientPropertyChange(DISPID)
{
    return S_OK;
}

STDMETHODIMP CompositeControl::FreezeEvents(BOOL)
{
    return S_OK;
}

// --- IOleObject ---

STDMETHODIMP CompositeControl::SetClientSite(IOleClientSite* site)
{
    m_spClientSite = site;
    return S_OK;
}

STDMETHODIMP CompositeControl::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = m_spClientSite.Get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP CompositeControl::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP CompositeControl::Close(DWORD)
{
    (void)InPlaceDeactivate();
    // A container closes a control to break the loops of references between its sites and the
    // control: let go of everything the container handed over except the client site, which
    // SetClientSite(null) takes back.
    m_spInPlaceSite.Reset();
    m_spInPlaceFrame.Reset();
    m_spInPlaceUIWindow.Reset();
    m_spViewAdviseSink.Reset();
    m_dwViewAdviseAspects = 0;
    m_dwViewAdviseFlags = 0;
    if (m_spOleAdviseHolder)
        (void)m_spOleAdviseHolder->SendOnClose(); // a notification; the sinks go whatever it says
    m_spOleAdviseHolder.Reset();
    return S_OK;
}

STDMETHODIMP CompositeControl::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (!moniker)
        return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::GetClipboardData(DWORD, IDataObject** data)
{
    if (!data)
        return E_POINTER;
    *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT position)
{
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(verb, position);
    case OLEIVERB_HIDE:
        (void)UIDeactivate();
        if (m_hWnd)
            ShowWindow(m_hWnd, SW_HIDE);
        return S_OK;
    default:
        if (verb > 0) {
            // An unknown verb of the object's own counts as the primary one.
            const HRESULT hr = InPlaceActivate(OLEIVERB_PRIMARY, position);
            return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
        }
        return E_NOTIMPL; // OLEIVERB_OPEN, OLEIVERB_PROPERTIES and the like
    }
}

STDMETHODIMP CompositeControl::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (!verbs)
        return E_POINTER;
    *verbs = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CompositeControl::Update()
{
    return S_OK;
}

STDMETHODIMP CompositeControl::IsUpToDate()
{
    return S_OK;
}

STDMETHODIMP CompositeControl::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

STDMETHODIMP CompositeControl::GetUserType(DWORD, LPOLESTR* userType)
{
    if (!userType)
        return E_POINTER;
    *userType = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CompositeControl::SetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    if (size->cx == m_sizeExtent.cx && size->cy == m_sizeExtent.cy)
        return S_OK;
    m_sizeExtent = *size;
    m_bRequiresSave = true;
    if (m_spViewAdviseSink && (m_dwViewAdviseAspects & DVASPECT_CONTENT))
        m_spViewAdviseSink->OnViewChange(DVASPECT_CONTENT, -1);
    return S_OK;
}

STDMETHODIMP CompositeControl::GetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    *size = m_sizeExtent;
    return S_OK;
}

STDMETHODIMP CompositeControl::Advise(IAdviseSink* sink, DWORD* connection)
{
    if (!connection)
        return E_POINTER;
    *connection = 0;
    if (!m_spOleAdviseHolder) {
        const HRESULT hr = CreateOleAdviseHolder(&m_spOleAdviseHolder);
        if (FAILED(hr))
            return hr;
    }
    return m_spOleAdviseHolder->Advise(sink, connection);
}

STDMETHODIMP CompositeControl::Unadvise(DWORD connection)
{
    if (!m_spOleAdviseHolder)
        return OLE_E_NOCONNECTION;
    return m_spOleAdviseHolder->Unadvise(connection);
}

STDMETHODIMP CompositeControl::EnumAdvise(IEnumSTATDATA** advise)
{
    if (!advise)
        return E_POINTER;
    *advise = nullptr;
    if (!m_spOleAdviseHolder)
        return E_FAIL; // nobody is advised: no enumerator, and a caller must not take S_OK for one
    return m_spOleAdviseHolder->EnumAdvise(advise);
}

STDMETHODIMP CompositeControl::GetMiscStatus(DWORD aspect, DWORD* status)
{
    if (!status)
        return E_POINTER;
    // As the class's registration says: the flags for the content aspect, none for others.
    *status = aspect == DVASPECT_CONTENT ? m_dwMiscStatus : 0;
    return S_OK;
}

STDMETHODIMP CompositeControl::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

// --- IPersist / IPersistStreamInit ---

STDMETHODIMP CompositeControl::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CompositeControl::IsDirty()
{
    return m_bRequiresSave ? S_OK : S_FALSE;
}

STDMETHODIMP CompositeControl::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    DWORD data[3] = {};
    ULONG read = 0;
    HRESULT hr = stream->Read(data, kExtentStreamSize, &read);
    if (FAILED(hr))
        return hr;
    if (read != kExtentStreamSize || data[0] != kExtentStreamFormat)
        return E_FAIL;
    m_sizeExtent.cx = static_cast<LONG>(data[1]);
    m_sizeExtent.cy = static_cast<LONG>(data[2]);
    m_bRequiresSave = false;
    return S_OK;
}

STDMETHODIMP CompositeControl::Save(IStream* stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    const DWORD data[3] = {kExtentStreamFormat, static_cast<DWORD>(m_sizeExtent.cx),
                           static_cast<DWORD>(m_sizeExtent.cy)};
    ULONG written = 0;
    HRESULT hr = stream->Write(data, kExtentStreamSize, &written);
    if (SUCCEEDED(hr) && written != kExtentStreamSize)
        hr = STG_E_MEDIUMFULL;
    if (SUCCEEDED(hr) && clearDirty)
        m_bRequiresSave = false;
    return hr;
}

STDMETHODIMP CompositeControl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = kExtentStreamSize;
    return S_OK;
}

STDMETHODIMP CompositeControl::InitNew()
{
    m_sizeExtent = m_sizeNatural;
    m_bRequiresSave = false;
    return S_OK;
}
