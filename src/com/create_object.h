// Creates a COM object for a class's create function (the object map's CreateInstance): the
// argument checks, non-throwing creation, the class's own final construction, the query for the
// interface asked for and the release of the creation's reference. Any thread; never throws.
#pragma once

#include <windows.h>
#include <unknwn.h>

// For a class without a final construction step.
struct NoFinalConstruct {
    template <typename T>
    HRESULT operator()(T*) const noexcept
    {
        return S_OK;
    }
};

// E_POINTER for a null ppv (otherwise *ppv is cleared first), CLASS_E_NOAGGREGATION for an outer
// object, E_OUTOFMEMORY when make() (a non-throwing new of the class, written inside the class
// so that its private constructor is reachable) gives null; then the result of
// finalConstruct(object) and, when that succeeded, of the query for riid. The creation holds a
// reference of its own meanwhile, so an object that fails is deleted through its own Release.
template <typename Make, typename FinalConstruct = NoFinalConstruct>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv, Make make,
                        FinalConstruct finalConstruct = FinalConstruct()) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* object = make();
    if (!object)
        return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = finalConstruct(object);
    if (SUCCEEDED(hr))
        hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}
