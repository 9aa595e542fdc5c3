// The class object of one creatable class: a generic IClassFactory over the class's create
// function. The object map (object_map.h) creates one per class on first request and keeps it.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

// A class's create function (its static CreateInstance): clears *ppv, refuses an outer object
// with CLASS_E_NOAGGREGATION unless the class aggregates, creates the object and queries it for
// riid. No-throw.
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

class ClassFactory final : public IClassFactory {
public:
    // A class object holding one reference, the object map's; null when out of memory. No-throw.
    static ClassFactory* Create(CreateInstanceFunction createInstance, bool aggregatable) noexcept;

    // IUnknown. The map's reference is the first: a client's reference that raises the count
    // from 1 to 2 locks the module, and the release that brings it back to 1 unlocks it, so a
    // client holding a class object keeps the DLL loaded while the cached one alone does not.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override;
    STDMETHODIMP LockServer(BOOL lock) noexcept override;

private:
    ClassFactory(CreateInstanceFunction createInstance, bool aggregatable) noexcept
        : m_createInstance(createInstance), m_aggregatable(aggregatable) {}
    ~ClassFactory() = default;
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    std::atomic<LONG> m_cRef{1};
    CreateInstanceFunction m_createInstance;
    bool m_aggregatable;
};
