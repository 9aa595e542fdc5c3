#include "setup/outlook_program.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "win32/raii.h"

namespace {

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";

} // namespace

std::wstring ExistingAbsoluteFile(std::wstring text) noexcept
{
    try {
        if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
            text = text.substr(1, text.size() - 2);
        // "C:\..." or "\\server\share\...": a path that names its drive or share. PathIsRelative
        // takes "\Office\OUTLOOK.EXE" (the current drive's) for absolute, so that is refused too.
        if (text.empty() || PathIsRelativeW(text.c_str()) || (text[0] == L'\\' && text.rfind(L"\\\\", 0) != 0))
            return {};
        const DWORD attributes = GetFileAttributesW(text.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return {};
        return text;
    } catch (...) {
        return {};
    }
}

std::wstring RegisteredOutlookProgram() noexcept
{
    try {
        UniqueHKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
            ERROR_SUCCESS)
            return {};
        // REG_SZ as it is and REG_EXPAND_SZ expanded (RRF_RT_REG_SZ takes both; adding
        // RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND makes the call fail); any other type fails.
        const DWORD flags = RRF_RT_REG_SZ;
        DWORD size = 0;
        if (RegGetValueW(key.get(), nullptr, nullptr, flags, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0)
            return {};
        std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        if (RegGetValueW(key.get(), nullptr, nullptr, flags, nullptr, value.data(), &size) != ERROR_SUCCESS)
            return {};
        return ExistingAbsoluteFile(value.data());
    } catch (...) {
        return {};
    }
}
