// IDispatch of a dual interface, answered from the interface's type library. An object with
// two dual interfaces derives from two of these, each with its own type information.
#pragma once

#include "com/type_info_dispatch.h"

template <class DualInterface>
class DispatchImpl : public DualInterface {
public:
    DispatchImpl(const GUID& libid, WORD major, WORD minor, const IID& iid) : m_typeInfo(libid, major, minor, iid) {}

    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override { return m_typeInfo.GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override
    {
        return m_typeInfo.GetTypeInfo(index, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override
    {
        return m_typeInfo.GetIDsOfNames(names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) noexcept override
    {
        return m_typeInfo.Invoke(static_cast<DualInterface*>(this), dispid, flags, params, result, exception,
                                 argError);
    }

private:
    TypeInfoDispatch m_typeInfo;
};
