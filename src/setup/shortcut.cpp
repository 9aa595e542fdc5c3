#include "setup/shortcut.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "com/com_error.h"

using Microsoft::WRL::ComPtr;

HRESULT CreateShortcut(const wchar_t* target, const wchar_t* arguments, const wchar_t* linkPath,
                       const wchar_t* description) noexcept
{
    if (!target || !linkPath || !description)
        return E_POINTER;
    try {
        ComPtr<IShellLinkW> link;
        HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                          CLSCTX_REMOTE_SERVER,
                                      IID_IShellLinkW, reinterpret_cast<void**>(link.GetAddressOf()));
        if (FAILED(hr))
            return hr;
        if (FAILED(hr = link->SetPath(target)))
            return hr;
        if (arguments && FAILED(hr = link->SetArguments(arguments)))
            return hr;
        if (FAILED(hr = link->SetDescription(description)))
            return hr;
        if (FAILED(hr = link->SetIconLocation(target, 0)))
            return hr;
        ComPtr<IPersistFile> file;
        if (FAILED(hr = link.As(&file)))
            return hr;
        if (!*linkPath)
            return E_INVALIDARG;
        return file->Save(linkPath, TRUE);
    }
    CATCH_RETURN()
}
