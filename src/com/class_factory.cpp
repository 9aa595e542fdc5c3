#include "com/class_factory.h"

#include <new>

#include "com/interface_table.h"
#include "com/module_lock.h"

ClassFactory* ClassFactory::Create(CreateInstanceFunction createInstance, bool aggregatable) noexcept
{
    return new (std::nothrow) ClassFactory(createInstance, aggregatable);
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept
{
    static constexpr InterfaceEntry<ClassFactory> kInterfaces[] = {
        InterfaceRow<ClassFactory, IClassFactory>(IID_IUnknown),
        InterfaceRow<ClassFactory, IClassFactory>(IID_IClassFactory),
    };
    return QueryInterfaceFromTable(this, kInterfaces, riid, ppv);
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() noexcept
{
    const LONG count = ++m_cRef;
    if (count == 2)
        LockModule();
    return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() noexcept
{
    const LONG count = --m_cRef;
    if (count == 1)
        UnlockModule();
    else if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregated object can only be handed to its outer object as IUnknown.
    if (outer && (riid != IID_IUnknown || !m_aggregatable))
        return CLASS_E_NOAGGREGATION;
    return m_createInstance(outer, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) noexcept
{
    if (lock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}
