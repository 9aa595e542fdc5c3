// CompositeControl's IOleControl: no mnemonics, ambient changes and frozen events ignored.
#include "com/composite_control.h"

STDMETHODIMP CompositeControl::GetControlInfo(CONTROLINFO* info) noexcept
{
    if (!info)
        return E_POINTER;
    // No keyboard mnemonics of the control's own for the container to route.
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP CompositeControl::OnMnemonic(MSG*) noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::OnAmbientPropertyChange(DISPID) noexcept
{
    return S_OK;
}

STDMETHODIMP CompositeControl::FreezeEvents(BOOL) noexcept
{
    return S_OK;
}
