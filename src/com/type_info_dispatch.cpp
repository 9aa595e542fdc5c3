#include "com/type_info_dispatch.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "win32/module_instance.h"

using Microsoft::WRL::ComPtr;

TypeInfoDispatch::~TypeInfoDispatch()
{
    if (m_info)
        m_info->Release();
}

HRESULT TypeInfoDispatch::Load()
{
    if (m_info)
        return S_OK;
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadRegTypeLib(m_libid, m_major, m_minor, LOCALE_NEUTRAL, &library);
    if (FAILED(hr)) {
        // Not registered (yet): our own library travels inside this module.
        wchar_t path[MAX_PATH] = {};
        if (GetModuleFileNameW(ModuleInstance(), path, MAX_PATH) == 0)
            return hr;
        ComPtr<ITypeLib> own;
        if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &own)))
            return hr;
        TLIBATTR* attributes = nullptr;
        if (FAILED(own->GetLibAttr(&attributes)))
            return hr;
        const bool same = attributes->guid == m_libid;
        own->ReleaseTLibAttr(attributes);
        if (!same)
            return hr;
        library = own;
    }
    return library->GetTypeInfoOfGuid(m_iid, &m_info);
}

HRESULT TypeInfoDispatch::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT TypeInfoDispatch::GetTypeInfo(UINT index, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    HRESULT hr = Load();
    if (FAILED(hr))
        return hr;
    m_info->AddRef();
    *info = m_info;
    return S_OK;
}

HRESULT TypeInfoDispatch::GetIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids)
{
    HRESULT hr = Load();
    if (FAILED(hr))
        return hr;
    return DispGetIDsOfNames(m_info, names, count, ids);
}

HRESULT TypeInfoDispatch::Invoke(void* object, DISPID dispid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argError)
{
    HRESULT hr = Load();
    if (FAILED(hr))
        return hr;
    return DispInvoke(object, m_info, dispid, flags, params, result, exception, argError);
}
