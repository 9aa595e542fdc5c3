// The language of the add-in's own texts (the options page, the exit dialog, the info dialog's
// messages, the installer's prompt) and the lookup of its resources in that language. Log lines
// and the registry stay English. The language is chosen once (Outlook's thread, when Outlook
// connects the add-in; the installer actions for themselves) and read by every user of a text.
// Resources are found for the language explicitly: the thread's and the process's UI language
// are never changed (Outlook's thread is not ours), and FindResourceW's own choice, which
// follows Windows' language rather than Office's, is never used for a translated resource.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <type_traits>

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

// Every language, English first.
constexpr UiLanguage kUiLanguages[] = {
    UiLanguage::English,  UiLanguage::German,   UiLanguage::French,           UiLanguage::Spanish,
    UiLanguage::Italian, UiLanguage::BrazilianPortuguese, UiLanguage::Japanese, UiLanguage::SimplifiedChinese,
};

// The LANGUAGE its resources carry: 1033 en-US, 1031 de-DE, 1036 fr-FR, 3082 es-ES (modern
// sort), 1040 it-IT, 1046 pt-BR, 1041 ja-JP, 2052 zh-CN.
LANGID UiLanguageResourceId(UiLanguage language) noexcept;
// "en-US", "de-DE", ... (for logs and test names).
const char* UiLanguageTag(UiLanguage language) noexcept;

// The translation for a language of Office or Windows, by its primary language: any German,
// French, Spanish, Italian variant gets that translation (Catalan, Basque and Galician get
// Spanish, as Office gives them), any Portuguese the Brazilian one;
// Japanese; Chinese only when Simplified (2052 China, 4100 Singapore). Everything else English.
UiLanguage MatchUiLanguage(LANGID language) noexcept;

// Where Windows' language is read: GetUserDefaultUILanguage in the product, a stand-in in tests.
// A stand-in has the system function's convention (WINAPI), so that both are called alike on x86.
using WindowsLanguageSource = LANGID(WINAPI*)();
static_assert(std::is_same_v<WindowsLanguageSource, decltype(&GetUserDefaultUILanguage)>);

// Office's language when Office answered, otherwise Windows' (windowsLanguage is asked only
// then).
UiLanguage ChooseUiLanguage(std::optional<LANGID> officeLanguage, WindowsLanguageSource windowsLanguage) noexcept;

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
