#include "com/event_sink.h"

#include <wrl/client.h>

#include "com/com_error.h"
#include "com/interface_table.h"

using Microsoft::WRL::ComPtr;

EventSink::EventSink(UINT sinkNumber, const IID& eventInterface, const SinkEntry* table, size_t tableSize,
                     void* target, IUnknown* owner)
    : m_sinkNumber(sinkNumber), m_eventInterface(eventInterface), m_table(table), m_tableSize(tableSize),
      m_target(target), m_owner(owner)
{
}

HRESULT EventSink::FindConnectionPoint(IUnknown* source, IConnectionPoint** point)
{
    *point = nullptr;
    if (!source)
        return E_INVALIDARG;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&container));
    if (FAILED(hr))
        return hr;
    return container->FindConnectionPoint(m_eventInterface, point);
}

HRESULT EventSink::Advise(IUnknown* source)
{
    if (m_dwCookie != kNoCookie)
        return E_FAIL;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindConnectionPoint(source, &point);
    if (FAILED(hr))
        return hr;
    DWORD cookie = kNoCookie;
    hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
    if (SUCCEEDED(hr))
        m_dwCookie = cookie;
    return hr;
}

HRESULT EventSink::Unadvise(IUnknown* source)
{
    const DWORD cookie = m_dwCookie;
    m_dwCookie = kNoCookie;
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindConnectionPoint(source, &point);
    if (FAILED(hr))
        return hr;
    return point->Unadvise(cookie);
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv) noexcept
{
    // The event interface is the sink's own, so this table is made at each call.
    const InterfaceEntry<EventSink> interfaces[] = {
        InterfaceRow<EventSink, IDispatch>(IID_IUnknown),
        InterfaceRow<EventSink, IDispatch>(IID_IDispatch),
        InterfaceRow<EventSink, IDispatch>(m_eventInterface),
    };
    return QueryInterfaceFromTable(this, interfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) EventSink::AddRef() noexcept
{
    return m_owner ? m_owner->AddRef() : 1;
}

STDMETHODIMP_(ULONG) EventSink::Release() noexcept
{
    return m_owner ? m_owner->Release() : 1;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT*) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept
{
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                              UINT*) noexcept
{
    for (size_t i = 0; i < m_tableSize; ++i) {
        const SinkEntry& entry = m_table[i];
        if (entry.sinkNumber == m_sinkNumber && *entry.eventInterface == m_eventInterface && entry.dispid == dispid) {
            // The event source is Outlook: nothing may unwind into it.
            try {
                DISPPARAMS none{nullptr, nullptr, 0, 0};
                entry.handler(m_target, params ? params : &none);
            }
            CATCH_RETURN()
            return S_OK;
        }
    }
    return S_OK;
}
