#include "win32/ui_language.h"

#include <atomic>

namespace {

std::atomic<int> g_language{static_cast<int>(UiLanguage::English)};
std::atomic<WindowsLanguageSource> g_windowsLanguage{nullptr};

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

const UiLanguageRow& RowOf(UiLanguage language) noexcept
{
    const auto index = static_cast<size_t>(language);
    return index < kUiLanguageCount ? kUiLanguageRows[index] : kUiLanguageRows[0];
}

bool Matches(LANGID match, LANGID language) noexcept
{
    if (match == 0)
        return false;
    if (SUBLANGID(match) == SUBLANG_NEUTRAL)
        return PRIMARYLANGID(match) == PRIMARYLANGID(language);
    return match == language;
}

} // namespace

LANGID UiLanguageResourceId(UiLanguage language) noexcept
{
    return RowOf(language).resourceId;
}

const char* UiLanguageTag(UiLanguage language) noexcept
{
    return RowOf(language).tag;
}

UiLanguage MatchUiLanguage(LANGID language) noexcept
{
    for (const UiLanguageRow& row : kUiLanguageRows)
        for (LANGID match : row.matches)
            if (Matches(match, language))
                return row.language;
    return UiLanguage::English;
}

void UseWindowsLanguageSource(WindowsLanguageSource source) noexcept
{
    g_windowsLanguage.store(source);
}

UiLanguage ChooseUiLanguage(std::optional<LANGID> officeLanguage) noexcept
{
    if (officeLanguage)
        return MatchUiLanguage(*officeLanguage);
    const WindowsLanguageSource source = g_windowsLanguage.load();
    return MatchUiLanguage(source ? source() : GetUserDefaultUILanguage());
}

void SetUiLanguage(UiLanguage language) noexcept
{
    g_language.store(static_cast<int>(language));
}

UiLanguage CurrentUiLanguage() noexcept
{
    return static_cast<UiLanguage>(g_language.load());
}

const void* FindResourceInLanguage(HINSTANCE module, const wchar_t* type, const wchar_t* name, LANGID language,
                                   DWORD* size) noexcept
{
    if (size)
        *size = 0;
    HRSRC found = FindResourceExW(module, type, name, language);
    if (!found)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data && size)
        *size = SizeofResource(module, found);
    return data;
}

bool FindUiString(HINSTANCE module, UINT id, LANGID language, const wchar_t** text, size_t* length) noexcept
{
    // Strings live in blocks of sixteen: block id / 16 + 1, each entry a count and that many
    // UTF-16 units.
    DWORD bytes = 0;
    const auto* block = static_cast<const WCHAR*>(FindResourceInLanguage(
        module, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(id / 16 + 1), language, &bytes));
    if (!block)
        return false;
    const WCHAR* p = block;
    const WCHAR* end = block + bytes / sizeof(WCHAR);
    for (UINT i = 0; i < id % 16; ++i) {
        if (p >= end)
            return false;
        p += 1 + *p;
    }
    if (p >= end || *p == 0 || p + 1 + *p > end)
        return false;
    if (text)
        *text = p + 1;
    if (length)
        *length = *p;
    return true;
}

std::wstring LoadUiString(HINSTANCE module, UINT id, UiLanguage language)
{
    const wchar_t* text = nullptr;
    size_t length = 0;
    if (FindUiString(module, id, UiLanguageResourceId(language), &text, &length) ||
        FindUiString(module, id, kEnglish, &text, &length))
        return std::wstring(text, length);
    return std::wstring();
}

const DLGTEMPLATE* FindUiDialog(HINSTANCE module, WORD id, UiLanguage language, DWORD* size) noexcept
{
    const void* found = FindResourceInLanguage(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(id),
                                               UiLanguageResourceId(language), size);
    if (!found)
        found = FindResourceInLanguage(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), kEnglish, size);
    return static_cast<const DLGTEMPLATE*>(found);
}
