// CompositeControl's IOleObject: client site, verbs, extent, advise sinks and misc status.
#include "com/composite_control.h"

STDMETHODIMP CompositeControl::SetClientSite(IOleClientSite* site) noexcept
{
    m_spClientSite = site;
    return S_OK;
}

STDMETHODIMP CompositeControl::GetClientSite(IOleClientSite** site) noexcept
{
    if (!site)
        return E_POINTER;
    *site = m_spClientSite.Get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP CompositeControl::SetHostNames(LPCOLESTR, LPCOLESTR) noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::Close(DWORD) noexcept
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

STDMETHODIMP CompositeControl::SetMoniker(DWORD, IMoniker*) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept
{
    if (!moniker)
        return E_POINTER;
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::InitFromData(IDataObject*, BOOL, DWORD) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::GetClipboardData(DWORD, IDataObject** data) noexcept
{
    if (!data)
        return E_POINTER;
    *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT position) noexcept
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

STDMETHODIMP CompositeControl::EnumVerbs(IEnumOLEVERB** verbs) noexcept
{
    if (!verbs)
        return E_POINTER;
    *verbs = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CompositeControl::Update() noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::IsUpToDate() noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::GetUserClassID(CLSID* clsid) noexcept
{
    return GetClassID(clsid);
}

STDMETHODIMP CompositeControl::GetUserType(DWORD, LPOLESTR* userType) noexcept
{
    if (!userType)
        return E_POINTER;
    *userType = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CompositeControl::SetExtent(DWORD aspect, SIZEL* size) noexcept
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

STDMETHODIMP CompositeControl::GetExtent(DWORD aspect, SIZEL* size) noexcept
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    *size = m_sizeExtent;
    return S_OK;
}

STDMETHODIMP CompositeControl::Advise(IAdviseSink* sink, DWORD* connection) noexcept
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

STDMETHODIMP CompositeControl::Unadvise(DWORD connection) noexcept
{
    if (!m_spOleAdviseHolder)
        return OLE_E_NOCONNECTION;
    return m_spOleAdviseHolder->Unadvise(connection);
}

STDMETHODIMP CompositeControl::EnumAdvise(IEnumSTATDATA** advise) noexcept
{
    if (!advise)
        return E_POINTER;
    *advise = nullptr;
    if (!m_spOleAdviseHolder)
        return E_FAIL; // nobody is advised: no enumerator, and a caller must not take S_OK for one
    return m_spOleAdviseHolder->EnumAdvise(advise);
}

STDMETHODIMP CompositeControl::GetMiscStatus(DWORD aspect, DWORD* status) noexcept
{
    if (!status)
        return E_POINTER;
    // As the class's registration says: the flags for the content aspect, none for others.
    *status = aspect == DVASPECT_CONTENT ? m_dwMiscStatus : 0;
    return S_OK;
}

STDMETHODIMP CompositeControl::SetColorScheme(LOGPALETTE*) noexcept
{
    return E_NOTIMPL;
}
