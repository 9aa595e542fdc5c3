#include "setup/shortcut.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

#include "com/com_error.h"
#include "com/text_convert.h"

using Microsoft::WRL::ComPtr;

HRESULT CreateShortcut(const char* target, const char* arguments, const char* linkPath, const char* description) noexcept
{
    if (!target || !linkPath || !description)
        return E_POINTER;
    try {
        ComPtr<IShellLinkA> link;
        HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                          CLSCTX_REMOTE_SERVER,
                                      IID_IShellLinkA, reinterpret_cast<void**>(link.GetAddressOf()));
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
        // The link path in the thread's ANSI code page, as the shell would read it.
        const std::wstring widePath = ToWide(linkPath, CP_THREAD_ACP);
        if (widePath.empty())
            return E_INVALIDARG;
        return file->Save(widePath.c_str(), TRUE);
    }
    CATCH_RETURN()
}
