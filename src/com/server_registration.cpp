#include "com/server_registration.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>

#include "com/com_error.h"
#include "com/raii.h"
#include "win32/text_convert.h"

using Microsoft::WRL::ComPtr;

namespace {

// The type library in the module's file, or in the ".tlb" file beside it, and the path it was
// loaded from. Throws std::bad_alloc.
HRESULT LoadModuleTypeLibrary(HMODULE module, ComPtr<ITypeLib>* library, std::wstring* loadedFrom)
{
    std::wstring path;
    HRESULT hr = GetModulePath(module, &path);
    if (FAILED(hr))
        return hr;
    hr = LoadTypeLib(path.c_str(), library->ReleaseAndGetAddressOf());
    if (FAILED(hr)) {
        const std::size_t dot = path.find_last_of(L".\\/");
        if (dot != std::wstring::npos && path[dot] == L'.')
            path.erase(dot);
        path += L".tlb";
        hr = LoadTypeLib(path.c_str(), library->ReleaseAndGetAddressOf());
    }
    if (SUCCEEDED(hr))
        *loadedFrom = path;
    return hr;
}

// False only when the registry positively holds no entry for the library's version. UnRegisterTypeLib
// itself fails for such a library (E_INVALIDARG on Wine), with no result that says why. Never throws.
bool IsTypeLibraryRegistered(const TLIBATTR& attributes) noexcept
{
    UniqueBstr path;
    const HRESULT hr = QueryPathOfRegTypeLib(attributes.guid, attributes.wMajorVerNum, attributes.wMinorVerNum,
                                             attributes.lcid, path.put());
    return hr != TYPE_E_LIBNOTREGISTERED;
}

} // namespace

HRESULT GetModulePath(HMODULE module, std::wstring* path) noexcept
{
    wchar_t buffer[MAX_PATH];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (length == 0) {
        const DWORD error = GetLastError();
        return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_MOD_NOT_FOUND);
    }
    if (length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    try {
        path->assign(buffer, length);
    }
    CATCH_RETURN()
    return S_OK;
}

std::string GuidText(const GUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

HRESULT RunModuleScript(HMODULE module, UINT id, RegistrarAction action, const GUID& appId, const char* extraName,
                        const char* extraText) noexcept
{
    try {
        ReplacementMap replacements;
        if (extraName)
            replacements.Add(extraName, extraText ? extraText : "");
        replacements.Add("APPID", GuidText(appId));

        std::wstring path;
        const HRESULT hr = GetModulePath(module, &path);
        if (FAILED(hr))
            return hr;
        const std::string quoted = DoubleSingleQuotes(ToNarrow(path, CP_UTF8));
        replacements.Add("Module", quoted);
        replacements.Add("Module_Raw", quoted);
        // The folder the module is in, with its final backslash: files that belong beside it.
        replacements.Add("ModuleFolder", quoted.substr(0, quoted.find_last_of('\\') + 1));

        return RunScriptResource(module, id, action, replacements);
    }
    CATCH_RETURN()
}

HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept
{
    try {
        ComPtr<ITypeLib> library;
        std::wstring path;
        const HRESULT hr = LoadModuleTypeLibrary(module, &library, &path);
        if (FAILED(hr))
            return hr;

        UniqueBstr helpFile;
        std::wstring helpDirectory;
        const bool hasHelpFile = SUCCEEDED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.put())) &&
                                 SysStringLen(helpFile.get()) > 0;
        if (hasHelpFile) {
            helpDirectory.assign(helpFile.get(), SysStringLen(helpFile.get()));
            const std::size_t slash = helpDirectory.find_last_of(L"\\/");
            helpDirectory.erase(slash == std::wstring::npos ? 0 : slash);
        }
        return RegisterTypeLib(library.Get(), &path[0], hasHelpFile ? &helpDirectory[0] : nullptr);
    }
    CATCH_RETURN()
}

HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept
{
    try {
        ComPtr<ITypeLib> library;
        std::wstring path;
        HRESULT hr = LoadModuleTypeLibrary(module, &library, &path);
        if (FAILED(hr))
            return hr;
        TLIBATTR* attributes = nullptr;
        hr = library->GetLibAttr(&attributes);
        if (FAILED(hr))
            return hr;
        hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                               attributes->syskind);
        if (FAILED(hr) && !IsTypeLibraryRegistered(*attributes))
            hr = S_OK; // nothing was there to remove (a failed registration, or removed before)
        library->ReleaseTLibAttr(attributes);
        return hr;
    }
    CATCH_RETURN()
}
