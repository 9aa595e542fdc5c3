// CompositeControl's IViewObject, IViewObject2 and IViewObjectEx: drawing, view advise, extent
// and hit testing.
#include "com/composite_control.h"

STDMETHODIMP CompositeControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                                    LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) noexcept
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

STDMETHODIMP CompositeControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colorSet) noexcept
{
    if (!colorSet)
        return E_POINTER;
    *colorSet = nullptr;
    return S_FALSE;
}

STDMETHODIMP CompositeControl::Freeze(DWORD, LONG, void*, DWORD*) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::Unfreeze(DWORD) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) noexcept
{
    m_spViewAdviseSink = sink;
    m_dwViewAdviseAspects = aspects;
    m_dwViewAdviseFlags = advf;
    return S_OK;
}

STDMETHODIMP CompositeControl::GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) noexcept
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

STDMETHODIMP CompositeControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) noexcept
{
    return GetExtent(aspect, size);
}

STDMETHODIMP CompositeControl::GetRect(DWORD, LPRECTL) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP CompositeControl::GetViewStatus(DWORD* status) noexcept
{
    if (!status)
        return E_POINTER;
    *status = VIEWSTATUS_OPAQUE;
    return S_OK;
}

STDMETHODIMP CompositeControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG,
                                             DWORD* hitResult) noexcept
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!bounds || !hitResult)
        return E_POINTER;
    *hitResult = PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP CompositeControl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG,
                                            DWORD* hitResult) noexcept
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
                                                LPSIZEL size) noexcept
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
