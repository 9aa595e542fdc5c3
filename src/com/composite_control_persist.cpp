// CompositeControl's IPersist and IPersistStreamInit: the extent is all that is persisted.
#include "com/composite_control.h"

namespace {

// Format of the persisted stream: this tag, then "_cx" and "_cy" as 32-bit unsigned values.
constexpr DWORD kExtentStreamFormat = 1;
constexpr ULONG kExtentStreamSize = 3 * sizeof(DWORD);

} // namespace

STDMETHODIMP CompositeControl::GetClassID(CLSID* clsid) noexcept
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CompositeControl::IsDirty() noexcept
{
    return m_bRequiresSave ? S_OK : S_FALSE;
}

STDMETHODIMP CompositeControl::Load(IStream* stream) noexcept
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

STDMETHODIMP CompositeControl::Save(IStream* stream, BOOL clearDirty) noexcept
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

STDMETHODIMP CompositeControl::GetSizeMax(ULARGE_INTEGER* size) noexcept
{
    if (!size)
        return E_POINTER;
    size->QuadPart = kExtentStreamSize;
    return S_OK;
}

STDMETHODIMP CompositeControl::InitNew() noexcept
{
    m_sizeExtent = m_sizeNatural;
    m_bRequiresSave = false;
    return S_OK;
}
