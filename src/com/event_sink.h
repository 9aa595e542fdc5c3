// An IDispatch that receives one source's events through the connection-point protocol and
// routes them through a sink table. Events the table does not list are answered S_OK.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <cstddef>

// Cookie value of a sink that is not subscribed.
constexpr DWORD kNoCookie = 0xFEFEFEFE;

using EventHandler = void (*)(void* target, DISPPARAMS* params);

struct SinkEntry {
    UINT sinkNumber;
    const IID* eventInterface;
    DISPID dispid;
    EventHandler handler;
};

class EventSink : public IDispatch {
public:
    // `owner` carries the reference count: the sink's AddRef and Release act on it, so a live
    // subscription keeps the owner alive. A null owner makes the sink uncounted (both return 1).
    EventSink(UINT sinkNumber, const IID& eventInterface, const SinkEntry* table, size_t tableSize, void* target,
              IUnknown* owner);
    virtual ~EventSink() = default;

    // Subscribes to `source`'s connection point for the event interface. E_INVALIDARG for a
    // null source; E_FAIL while subscribed already. No-throw.
    HRESULT Advise(IUnknown* source);
    // Unsubscribes from `source` with the cookie; the cookie is reset whatever the result.
    HRESULT Unadvise(IUnknown* source);
    DWORD Cookie() const { return m_dwCookie; }
    bool Subscribed() const { return m_dwCookie != kNoCookie; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) noexcept override;

private:
    HRESULT FindConnectionPoint(IUnknown* source, IConnectionPoint** point);

    UINT m_sinkNumber;
    IID m_eventInterface;
    const SinkEntry* m_table;
    size_t m_tableSize;
    void* m_target;
    IUnknown* m_owner;
    DWORD m_dwCookie = kNoCookie;
};
