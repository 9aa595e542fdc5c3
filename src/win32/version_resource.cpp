#include "win32/version_resource.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "win32/module_instance.h"
#include "win32/raii.h"
#include "win32/system_library.h"

void GetFileProductVersionString(const wchar_t* path, char* text, size_t size)
{
    if (!text || size == 0)
        return;
    text[0] = '\0';
    // VERSION.dll is no KnownDLL: imported, it would be looked for first in the folder that
    // holds Vantrel.dll, which COM loads with the altered search path. Only the system's copy.
    const UniqueModule version(LoadSystemLibrary("version.dll"));
    if (!version)
        return;
    const auto GetFileVersionInfoSizeW = reinterpret_cast<DWORD(WINAPI*)(LPCWSTR, LPDWORD)>(
        reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoSizeW")));
    const auto GetFileVersionInfoW = reinterpret_cast<BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID)>(
        reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoW")));
    const auto VerQueryValueW = reinterpret_cast<BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT)>(
        reinterpret_cast<void*>(GetProcAddress(version.get(), "VerQueryValueW")));
    if (!GetFileVersionInfoSizeW || !GetFileVersionInfoW || !VerQueryValueW)
        return;
    DWORD ignored = 0;
    const DWORD bytes = GetFileVersionInfoSizeW(path, &ignored);
    if (bytes == 0)
        return;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[bytes]);
    if (!block)
        return;
    std::memset(block.get(), 0, bytes);
    if (!GetFileVersionInfoW(path, 0, bytes, block.get()))
        return;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.get(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return;
    std::snprintf(text, size, "%d.%d.%d.%d", HIWORD(info->dwProductVersionMS), LOWORD(info->dwProductVersionMS),
                  HIWORD(info->dwProductVersionLS), LOWORD(info->dwProductVersionLS));
}

void GetModuleVersionString(char* text, size_t size)
{
    if (!text || size == 0)
        return;
    text[0] = '\0';
    // The path in UTF-16: a folder name that the ANSI code page cannot carry would turn into
    // '?' and name no file.
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(ModuleInstance(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return; // no path, or a cut one that would name another file
    GetFileProductVersionString(path, text, size);
}
