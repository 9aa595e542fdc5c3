#include "win32/ui_language.h"

#include <atomic>

namespace {

struct LanguageEntry {
    UiLanguage language;
    LANGID resourceId;
    const char* tag;
};

constexpr LanguageEntry kEntries[] = {
    {UiLanguage::English, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "en-US"},
    {UiLanguage::German, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), "de-DE"},
    {UiLanguage::French, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), "fr-FR"},
    {UiLanguage::Spanish, MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), "es-ES"},
    {UiLanguage::Italian, MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), "it-IT"},
    {UiLanguage::BrazilianPortuguese, MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), "pt-BR"},
    {UiLanguage::Japanese, MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), "ja-JP"},
    {UiLanguage::SimplifiedChinese, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), "zh-CN"},
};

const LanguageEntry& EntryOf(UiLanguage language) noexcept
{
    for (const LanguageEntry& entry : kEntries)
        if (entry.language == language)
            return entry;
    return kEntries[0];
}

std::atomic<int> g_language{static_cast<int>(UiLanguage::English)};

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

} // namespace

LANGID UiLanguageResourceId(UiLanguage language) noexcept
{
    return EntryOf(language).resourceId;
}

const char* UiLanguageTag(UiLanguage language) noexcept
{
    return EntryOf(language).tag;
}

UiLanguage MatchUiLanguage(LANGID language) noexcept
{
    switch (PRIMARYLANGID(language)) {
    case LANG_GERMAN:
        return UiLanguage::German;
    case LANG_FRENCH:
        return UiLanguage::French;
    case LANG_SPANISH:
    // Office fills its Catalan, Basque and Galician editions with Spanish where it has no
    // text of their own: Vantrel, which has none of its own in these languages, does the same.
    case LANG_CATALAN:
    case LANG_BASQUE:
    case LANG_GALICIAN:
        return UiLanguage::Spanish;
    case LANG_ITALIAN:
        return UiLanguage::Italian;
    case LANG_PORTUGUESE:
        return UiLanguage::BrazilianPortuguese;
    case LANG_JAPANESE:
        return UiLanguage::Japanese;
    case LANG_CHINESE:
        // Simplified: China (2052) and Singapore (4100). Taiwan, Hong Kong and Macao write
        // Traditional characters, which the Simplified texts would not serve.
        switch (SUBLANGID(language)) {
        case SUBLANG_CHINESE_SIMPLIFIED:
        case SUBLANG_CHINESE_SINGAPORE:
            return UiLanguage::SimplifiedChinese;
        default:
            return UiLanguage::English;
        }
    default:
        return UiLanguage::English;
    }
}

UiLanguage ChooseUiLanguage(std::optional<LANGID> officeLanguage, WindowsLanguageSource windowsLanguage) noexcept
{
    if (officeLanguage)
        return MatchUiLanguage(*officeLanguage);
    return windowsLanguage ? MatchUiLanguage(windowsLanguage()) : UiLanguage::English;
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
