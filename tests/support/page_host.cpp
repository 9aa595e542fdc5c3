#include "support/page_host.h"

#include <olectl.h>

#include <algorithm>
#include <cstdio>

#include "outlook/outlook.h"
#include "support/pump_until.h"

using Microsoft::WRL::ComPtr;

namespace {

// The DISPID a site bound as the page site gives PropertyPageSite's OnStatusChange (no ambient
// property has it).
constexpr DISPID kDispidOnStatusChange = 1;

} // namespace

// The container's site: IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IAdviseSink and the
// ambient IDispatch in one object. PropertyPageSite is answered with the test's object, or with
// this object's IDispatch when the site is bound as a page site.
class PageHostSite final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleInPlaceFrame,
                           public IAdviseSink,
                           public IDispatch {
public:
    PageHostSite(HWND frame, IDispatch* pageSite, unsigned bonds)
        : m_bonds(bonds), m_frame(frame), m_pageSite(pageSite)
    {
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow)
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceFrame || riid == IID_IOleInPlaceUIWindow)
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IAdviseSink)
            *ppv = static_cast<IAdviseSink*>(this);
        else if (riid == IID_IDispatch)
            *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_Outlook_PropertyPageSite && m_pageSite)
            return m_pageSite->QueryInterface(riid, ppv); // Outlook's site object stands beside ours
        else if (riid == IID_Outlook_PropertyPageSite && (m_bonds & kSiteIsPageSite))
            *ppv = static_cast<IDispatch*>(this);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = --m_refs;
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = m_frame;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return Note("CanInPlaceActivate"); }
    STDMETHODIMP OnInPlaceActivate() override { return Note("OnInPlaceActivate"); }
    STDMETHODIMP OnUIActivate() override { return Note("OnUIActivate"); }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        Note("GetWindowContext");
        if (!frame || !document || !position || !clip || !info)
            return E_POINTER;
        *frame = this;
        AddRef();
        *document = nullptr;
        *position = m_position;
        GetClientRect(m_frame, clip);
        info->fMDIApp = FALSE;
        info->hwndFrame = m_frame;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return Note("OnUIDeactivate"); }
    STDMETHODIMP OnInPlaceDeactivate() override { return Note("OnInPlaceDeactivate"); }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override
    {
        Note(object ? "SetActiveObject" : "SetActiveObject(null)");
        m_active = object;
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IAdviseSink
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { Note("OnViewChange"); }
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override { Note("OnClose"); }

    // IDispatch: the ambient properties, of which only UserMode is known, and, for a site bound
    // as the page site, PropertyPageSite's OnStatusChange.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) override
    {
        if (!(m_bonds & kSiteIsPageSite) || count != 1 || !names || !dispids || !names[0] ||
            lstrcmpiW(names[0], L"OnStatusChange") != 0)
            return DISP_E_UNKNOWNNAME;
        dispids[0] = kDispidOnStatusChange;
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (dispid == kDispidOnStatusChange && (m_bonds & kSiteIsPageSite))
            return Note("OnStatusChange");
        if (dispid != DISPID_AMBIENT_USERMODE || !result)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_BOOL;
        result->boolVal = m_userMode ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    std::vector<std::string> m_calls;
    RECT m_position{};
    bool m_userMode = true;
    ComPtr<IOleInPlaceActiveObject> m_active;
    const unsigned m_bonds;
    ComPtr<IUnknown> m_control; // with kSiteHoldsControl: released only when the site is freed

private:
    HRESULT Note(const char* call)
    {
        m_calls.push_back(call);
        return S_OK;
    }

    LONG m_refs = 1;
    HWND m_frame;
    ComPtr<IDispatch> m_pageSite;
};

namespace {

const char kFrameClass[] = "VantrelPageHostFrame";
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

} // namespace

// One frame window for the life of the test program. Wine waits two seconds for a window
// manager, which the test display does not have, whenever a visible top-level window goes;
// the hosted controls are children that come and go with each host.
HWND PageHost::SharedFrame()
{
    static const HWND frame = [] {
        WNDCLASSA frameClass{};
        frameClass.lpfnWndProc = DefWindowProcA;
        frameClass.hInstance = GetModuleHandleA(nullptr);
        frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        frameClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
        frameClass.lpszClassName = kFrameClass;
        RegisterClassA(&frameClass);
        HWND window = CreateWindowExA(0, kFrameClass, "Vantrel options page", kFrameStyle, 20, 20, 640, 520,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(window, SW_SHOWNORMAL);
        return window;
    }();
    return frame;
}

SIZE HimetricToPixels(const SIZEL& himetric)
{
    HDC screen = GetDC(nullptr);
    const SIZE pixels{MulDiv(himetric.cx, GetDeviceCaps(screen, LOGPIXELSX), 2540),
                      MulDiv(himetric.cy, GetDeviceCaps(screen, LOGPIXELSY), 2540)};
    ReleaseDC(nullptr, screen);
    return pixels;
}

PageHost::PageHost(IDispatch* pageSite, unsigned bonds) : m_frame(SharedFrame())
{
    m_site = new PageHostSite(m_frame, pageSite, bonds);
}

PageHost::~PageHost()
{
    Close();
    m_site->m_active.Reset();
    m_site->Release();
    PumpPending();
}

void PageHost::SetUserMode(bool userMode)
{
    m_site->m_userMode = userMode;
}

HRESULT PageHost::Host(IUnknown* control, LONG verb)
{
    HRESULT hr = control->QueryInterface(IID_PPV_ARGS(m_object.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;
    hr = m_object->SetClientSite(static_cast<IOleClientSite*>(m_site));
    if (FAILED(hr))
        return hr;
    SIZEL extent{};
    hr = m_object->GetExtent(DVASPECT_CONTENT, &extent);
    if (FAILED(hr))
        return hr;
    if (m_site->m_bonds & kSiteHoldsControl)
        m_site->m_control = control;
    IAdviseSink* sink = static_cast<IAdviseSink*>(m_site);
    if (m_site->m_bonds & kSiteAdvised) {
        DWORD connection = 0;
        hr = m_object->Advise(sink, &connection);
        if (FAILED(hr))
            return hr;
    }
    if (m_site->m_bonds & kSiteViewAdvised) {
        ComPtr<IViewObject> view;
        hr = m_object.As(&view);
        if (SUCCEEDED(hr))
            hr = view->SetAdvise(DVASPECT_CONTENT, 0, sink);
        if (FAILED(hr))
            return hr;
    }
    const SIZE pixels = HimetricToPixels(extent);
    m_site->m_position = RECT{0, 0, pixels.cx, pixels.cy};
    // The frame's client area fits the page.
    RECT outer{0, 0, pixels.cx, pixels.cy};
    AdjustWindowRect(&outer, kFrameStyle, FALSE);
    SetWindowPos(m_frame, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    return m_object->DoVerb(verb, nullptr, static_cast<IOleClientSite*>(m_site), 0, m_frame,
                            &m_site->m_position);
}

void PageHost::Close()
{
    if (!m_object)
        return;
    (void)m_object->Close(OLECLOSE_NOSAVE);
    (void)m_object->SetClientSite(nullptr);
    m_object.Reset();
}

HWND PageHost::ControlWindow() const
{
    ComPtr<IOleWindow> window;
    HWND hwnd = nullptr;
    if (m_object && SUCCEEDED(m_object.As(&window)))
        (void)window->GetWindow(&hwnd);
    return hwnd;
}

IOleInPlaceActiveObject* PageHost::ActiveObject() const
{
    return m_site->m_active.Get();
}

std::vector<std::string> PageHost::Calls() const
{
    return m_site->m_calls;
}

size_t PageHost::CountOf(const std::string& call) const
{
    return static_cast<size_t>(std::count(m_site->m_calls.begin(), m_site->m_calls.end(), call));
}

void PageHost::ClearCalls()
{
    m_site->m_calls.clear();
}

void PageHost::PumpPending()
{
    DispatchPendingMessages();
}

bool PageHost::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    return ::PumpUntil(done, timeoutMs);
}

namespace {

bool WriteBmp(const std::string& path, int width, int height, const std::vector<BYTE>& pixels)
{
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = stride * static_cast<DWORD>(height);
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = std::fwrite(&file, sizeof(file), 1, out) == 1 && std::fwrite(&info, sizeof(info), 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, info.biSizeImage, out) == info.biSizeImage;
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

} // namespace

bool SaveWindowImage(HWND window, const std::string& path)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, previous);
        const size_t size = static_cast<size_t>((width * 3 + 3) & ~3) * static_cast<size_t>(height);
        const BYTE* first = static_cast<const BYTE*>(bits);
        ok = ok && WriteBmp(path, width, height, std::vector<BYTE>(first, first + size));
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}
