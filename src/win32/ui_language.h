// The language of the add-in's own texts (the options page, the exit dialog, the info dialog's
// messages, the installer's prompt) and the lookup of its resources in that language. Log lines
// and the registry stay English. The language is chosen once (Outlook's thread, when Outlook
// connects the add-in; the installer actions for themselves) and read by every user of a text.
// Resources are found for the language explicitly: the thread's and the process's UI language
// are never changed (Outlook's thread is not ours), and FindResourceW's own choice, which
// follows Windows' language rather than Office's, is never used for a translated resource.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <type_traits>

// A ninth language is one enumerator here and one row of kUiLanguageRows (besides its
// resources).
enum class UiLanguage : int {
    English,
    German,
    French,
    Spanish,
    Italian,
    BrazilianPortuguese,
    Japanese,
    SimplifiedChinese,
};

// One language of the add-in's texts.
struct UiLanguageRow {
    UiLanguage language;
    LANGID resourceId; // the LANGUAGE its resources carry
    const char* tag;   // its culture name: "de-DE" (for logs, test names and the ADML folders)
    // The languages of Office or Windows that get this translation, up to four (0 ends the
    // list): one with SUBLANG_NEUTRAL stands for every variant of its primary language, any
    // other for itself alone.
    LANGID matches[4];
};

// Every language, in the enum's order, English first: English is also what any language that
// no row matches gets. Spanish serves Catalan, Basque and Galician, as Office fills its editions
// in these languages with Spanish where it has no text of their own; only Simplified Chinese
// (China 2052, Singapore 4100) gets the Chinese texts: Taiwan, Hong Kong and Macao write
// Traditional characters, which they would not serve.
constexpr UiLanguageRow kUiLanguageRows[] = {
    {UiLanguage::English, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), "en-US", {}},
    {UiLanguage::German, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), "de-DE", {MAKELANGID(LANG_GERMAN, SUBLANG_NEUTRAL)}},
    {UiLanguage::French, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), "fr-FR", {MAKELANGID(LANG_FRENCH, SUBLANG_NEUTRAL)}},
    {UiLanguage::Spanish,
     MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN),
     "es-ES",
     {MAKELANGID(LANG_SPANISH, SUBLANG_NEUTRAL), MAKELANGID(LANG_CATALAN, SUBLANG_NEUTRAL),
      MAKELANGID(LANG_BASQUE, SUBLANG_NEUTRAL), MAKELANGID(LANG_GALICIAN, SUBLANG_NEUTRAL)}},
    {UiLanguage::Italian, MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), "it-IT",
     {MAKELANGID(LANG_ITALIAN, SUBLANG_NEUTRAL)}},
    {UiLanguage::BrazilianPortuguese, MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), "pt-BR",
     {MAKELANGID(LANG_PORTUGUESE, SUBLANG_NEUTRAL)}},
    {UiLanguage::Japanese, MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), "ja-JP",
     {MAKELANGID(LANG_JAPANESE, SUBLANG_NEUTRAL)}},
    {UiLanguage::SimplifiedChinese,
     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
     "zh-CN",
     {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SINGAPORE)}},
};
constexpr size_t kUiLanguageCount = sizeof(kUiLanguageRows) / sizeof(kUiLanguageRows[0]);

namespace ui_language_detail {
constexpr bool RowsInEnumOrder() noexcept
{
    for (size_t i = 0; i < kUiLanguageCount; ++i)
        if (static_cast<size_t>(kUiLanguageRows[i].language) != i)
            return false;
    return true;
}
constexpr std::array<UiLanguage, kUiLanguageCount> AllLanguages() noexcept
{
    std::array<UiLanguage, kUiLanguageCount> languages{};
    for (size_t i = 0; i < kUiLanguageCount; ++i)
        languages[i] = kUiLanguageRows[i].language;
    return languages;
}
} // namespace ui_language_detail
static_assert(ui_language_detail::RowsInEnumOrder(), "kUiLanguageRows is indexed by UiLanguage");

// Every language, English first.
constexpr std::array<UiLanguage, kUiLanguageCount> kUiLanguages = ui_language_detail::AllLanguages();

// The row's resource LANGID and culture name.
LANGID UiLanguageResourceId(UiLanguage language) noexcept;
const char* UiLanguageTag(UiLanguage language) noexcept;

// The translation for a language of Office or Windows, by kUiLanguageRows' matches; English
// when no row matches.
UiLanguage MatchUiLanguage(LANGID language) noexcept;

// Where Windows' language is read: GetUserDefaultUILanguage in the product, a stand-in in tests.
// A stand-in has the system function's convention (WINAPI), so that both are called alike on x86.
using WindowsLanguageSource = LANGID(WINAPI*)();
static_assert(std::is_same_v<WindowsLanguageSource, decltype(&GetUserDefaultUILanguage)>);

// The source every later choice asks; null puts GetUserDefaultUILanguage back. Tests set a
// stand-in and their fixture puts null back. Any thread.
void UseWindowsLanguageSource(WindowsLanguageSource source) noexcept;

// Office's language when Office answered, otherwise Windows' (asked only then).
UiLanguage ChooseUiLanguage(std::optional<LANGID> officeLanguage) noexcept;

// The process's choice, English until set. Any thread.
void SetUiLanguage(UiLanguage language) noexcept;
UiLanguage CurrentUiLanguage() noexcept;

// A resource of exactly this language (no fallback): its bytes and size, or null.
const void* FindResourceInLanguage(HINSTANCE module, const wchar_t* type, const wchar_t* name, LANGID language,
                                   DWORD* size) noexcept;

// String `id` of the string table in exactly this language, as counted UTF-16 inside the
// resource (not terminated). False when the language has no such string.
bool FindUiString(HINSTANCE module, UINT id, LANGID language, const wchar_t** text, size_t* length) noexcept;

// String `id` in the language, falling back to English when the language lacks it; empty when
// neither has it. Throws std::bad_alloc.
std::wstring LoadUiString(HINSTANCE module, UINT id, UiLanguage language = CurrentUiLanguage());

// Dialog template `id` in the language, falling back to English; null when neither has it.
// For CreateDialogIndirectParamW and for measuring the template.
const DLGTEMPLATE* FindUiDialog(HINSTANCE module, WORD id, UiLanguage language = CurrentUiLanguage(),
                                DWORD* size = nullptr) noexcept;
