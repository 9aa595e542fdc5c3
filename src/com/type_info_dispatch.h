// Type information for the IDispatch half of a dual interface, loaded from a registered type
// library (or from this module's own TYPELIB resource) when it is first asked for.
#pragma once

#include <windows.h>
#include <oaidl.h>

class TypeInfoDispatch {
public:
    TypeInfoDispatch(const GUID& libid, WORD major, WORD minor, const IID& iid) noexcept
        : m_libid(libid), m_major(major), m_minor(minor), m_iid(iid) {}
    ~TypeInfoDispatch();
    TypeInfoDispatch(const TypeInfoDispatch&) = delete;
    TypeInfoDispatch& operator=(const TypeInfoDispatch&) = delete;

    // The IDispatch methods of an object whose dual interface this describes. No-throw.
    HRESULT GetTypeInfoCount(UINT* count);
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info);
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids);
    HRESULT Invoke(void* object, DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError);

private:
    HRESULT Load();

    GUID m_libid;
    WORD m_major;
    WORD m_minor;
    IID m_iid;
    ITypeInfo* m_info = nullptr;
};
