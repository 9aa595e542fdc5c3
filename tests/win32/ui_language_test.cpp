// The language of the add-in's texts: the choice table, every language complete, English as it
// always was, and the translations carried as UTF-16 into the module.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "win32/module_instance.h"
#include "win32/ui_language.h"
#include "resource_ids/page_ids.h"
#include "resource_ids/resource.h"
#include "resource_ids/string_ids.h"

namespace {

constexpr LANGID kEnglishId = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

int g_windowsAsked = 0;
LANGID g_windowsAnswer = 1033;
LANGID WINAPI WindowsStandIn()
{
    ++g_windowsAsked;
    return g_windowsAnswer;
}

struct ChoiceCase {
    const char* what;
    std::optional<LANGID> office; // nullopt: Office's language could not be read
    LANGID windows;
    UiLanguage expected;
    bool asksWindows;
};

// Windows' language comes from the stand-in while a test of this fixture runs.
class UiLanguageChoice : public ::testing::Test {
protected:
    void SetUp() override { UseWindowsLanguageSource(WindowsStandIn); }
    void TearDown() override { UseWindowsLanguageSource(nullptr); }
};

TEST_F(UiLanguageChoice, ChoiceFollowsOfficeByPrimaryLanguageAndAsksWindowsOnlyWhenOfficeIsSilent)
{
    const ChoiceCase cases[] = {
        {"German", LANGID{1031}, 1036, UiLanguage::German, false},
        {"German (Austria)", LANGID{3079}, 1036, UiLanguage::German, false},
        {"German (Switzerland)", LANGID{2055}, 1033, UiLanguage::German, false},
        {"French (Canada)", LANGID{3084}, 1033, UiLanguage::French, false},
        {"Spanish (Mexico)", LANGID{2058}, 1033, UiLanguage::Spanish, false},
        {"Spanish (traditional sort)", LANGID{1034}, 1033, UiLanguage::Spanish, false},
        {"Italian (Switzerland)", LANGID{2064}, 1033, UiLanguage::Italian, false},
        {"Portuguese (Portugal)", LANGID{2070}, 1033, UiLanguage::BrazilianPortuguese, false},
        {"Portuguese (Brazil)", LANGID{1046}, 1033, UiLanguage::BrazilianPortuguese, false},
        {"Japanese", LANGID{1041}, 1033, UiLanguage::Japanese, false},
        {"Chinese (PRC)", LANGID{2052}, 1033, UiLanguage::SimplifiedChinese, false},
        {"Chinese (Singapore)", LANGID{4100}, 1033, UiLanguage::SimplifiedChinese, false},
        {"Chinese (Taiwan)", LANGID{1028}, 2052, UiLanguage::English, false},
        {"Chinese (Hong Kong)", LANGID{3076}, 2052, UiLanguage::English, false},
        // Office fills Catalan, Basque and Galician with Spanish, and so does Vantrel.
        {"Catalan", LANGID{1027}, 1033, UiLanguage::Spanish, false},
        {"Basque", LANGID{1069}, 1033, UiLanguage::Spanish, false},
        {"Galician", LANGID{1110}, 1033, UiLanguage::Spanish, false},
        {"Office silent, Windows Catalan", std::nullopt, 1027, UiLanguage::Spanish, true},
        {"Dutch, not offered", LANGID{1043}, 1031, UiLanguage::English, false},
        {"English (United Kingdom)", LANGID{2057}, 1031, UiLanguage::English, false},
        {"Office silent, Windows French", std::nullopt, 1036, UiLanguage::French, true},
        {"Office silent, Windows Traditional Chinese", std::nullopt, 1028, UiLanguage::English, true},
        {"Office silent, Windows Dutch", std::nullopt, 1043, UiLanguage::English, true},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.what);
        g_windowsAsked = 0;
        g_windowsAnswer = c.windows;
        EXPECT_EQ(ChooseUiLanguage(c.office), c.expected);
        EXPECT_EQ(g_windowsAsked, c.asksWindows ? 1 : 0);
    }
}

// The string IDs of the English string table, found by walking its blocks.
std::vector<UINT> EnglishStringIds()
{
    std::vector<UINT> ids;
    for (UINT block = 1; block < 4096; ++block)
        for (UINT i = 0; i < 16; ++i)
            if (FindUiString(ModuleInstance(), (block - 1) * 16 + i, kEnglishId, nullptr, nullptr))
                ids.push_back((block - 1) * 16 + i);
    return ids;
}

// The dialog IDs the module has in English.
std::vector<WORD> EnglishDialogIds()
{
    std::vector<WORD> ids;
    for (WORD id = 1; id < 1024; ++id)
        if (FindResourceInLanguage(ModuleInstance(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id), kEnglishId, nullptr))
            ids.push_back(id);
    return ids;
}

// The control IDs of a DIALOGEX template, in template (tab) order.
std::vector<DWORD> ControlIds(const void* dialog)
{
    std::vector<DWORD> ids;
    const auto* data = static_cast<const BYTE*>(dialog);
    const auto* p = reinterpret_cast<const WORD*>(data + 26);
    const WORD count = *reinterpret_cast<const WORD*>(data + 16);
    const auto skip = [](const WORD* w) {
        if (*w == 0xFFFF)
            return w + 2;
        while (*w)
            ++w;
        return w + 1;
    };
    p = skip(skip(skip(p)));                                  // menu, class, title
    p += 3;                                                   // point size, weight, italic + charset
    p = skip(p);                                              // face
    for (WORD i = 0; i < count; ++i) {
        const auto align = (reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR{3};
        const auto* item = reinterpret_cast<const BYTE*>(align);
        ids.push_back(*reinterpret_cast<const DWORD*>(item + 20));
        p = reinterpret_cast<const WORD*>(item + 24);
        p = skip(skip(p));                                    // class, title
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    }
    return ids;
}

TEST(UiLanguage, EveryLanguageHasEveryStringAndDialogOfEnglishWithItsControlsInTheSameOrder)
{
    const std::vector<UINT> strings = EnglishStringIds();
    const std::vector<WORD> dialogs = EnglishDialogIds();
    ASSERT_EQ(strings, (std::vector<UINT>{IDS_PAGE_TITLE, IDS_PAGE_POLICY_NOTE, IDS_INFO_APPLICATION_ADVISE,
                                          IDS_INFO_EXPLORERS_ADVISE, IDS_INFO_EXPLORERS_UNADVISE,
                                          IDS_INFO_APPLICATION_UNADVISE, IDS_SETUP_CLOSE_OUTLOOK, IDS_SETUP_NEEDS64,
                                          IDS_SETUP_NEEDS32, IDS_SETUP_DOWNGRADE}));
    ASSERT_EQ(dialogs, (std::vector<WORD>{IDD_ADDINPROPERTYPAGE, IDD_EXITPROGDLG}));
    for (UiLanguage language : kUiLanguages) {
        SCOPED_TRACE(UiLanguageTag(language));
        const LANGID id = UiLanguageResourceId(language);
        for (UINT string : strings)
            EXPECT_TRUE(FindUiString(ModuleInstance(), string, id, nullptr, nullptr)) << "string " << string;
        for (WORD dialog : dialogs) {
            const void* english =
                FindResourceInLanguage(ModuleInstance(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(dialog), kEnglishId, nullptr);
            const void* translated =
                FindResourceInLanguage(ModuleInstance(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(dialog), id, nullptr);
            EXPECT_NE(translated, nullptr) << "dialog " << dialog;
            if (translated) {
                EXPECT_EQ(ControlIds(translated), ControlIds(english)) << "dialog " << dialog;
            }
        }
    }
}

// FNV-1a over a resource's bytes.
unsigned long long Fingerprint(const void* data, DWORD size)
{
    unsigned long long hash = 14695981039346656037ull;
    for (DWORD i = 0; i < size; ++i) {
        hash ^= static_cast<const BYTE*>(data)[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

TEST(UiLanguage, EnglishTextsAndTemplatesAreTheOnesTheAddinAlwaysHad)
{
    const struct {
        UINT id;
        const wchar_t* text;
    } strings[] = {
        {IDS_PAGE_TITLE, L"Shutdown"},
        {IDS_PAGE_POLICY_NOTE, L"Settings shown greyed are set by your administrator and cannot be changed here."},
        {IDS_INFO_APPLICATION_ADVISE, L"Unable to establish Application connection point"},
        {IDS_INFO_EXPLORERS_ADVISE, L"Failed to establish Explorers connection point"},
        {IDS_INFO_EXPLORERS_UNADVISE, L"Failed to remove Explorers connection point"},
        {IDS_INFO_APPLICATION_UNADVISE, L"Error removing Application connection"},
        {IDS_SETUP_CLOSE_OUTLOOK, L"Microsoft Outlook is currently running. Click OK to close Outlook."},
    };
    for (const auto& s : strings)
        EXPECT_EQ(LoadUiString(ModuleInstance(), s.id, UiLanguage::English), s.text);
    // The templates' bytes as they were before any translation existed, with two corrections
    // since: "shut down" as a verb in the delay's label, and the caption's "..." without a space.
    const struct {
        WORD id;
        unsigned long long fingerprint;
    } dialogs[] = {
        {IDD_ADDINPROPERTYPAGE, 0x0a1c971887fd3bb8ull},
        {IDD_EXITPROGDLG, 0x36241ad674fb9f66ull},
    };
    for (const auto& d : dialogs) {
        DWORD size = 0;
        const void* data = FindResourceInLanguage(ModuleInstance(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(d.id),
                                                  kEnglishId, &size);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(Fingerprint(data, size), d.fingerprint) << "dialog " << d.id << std::hex << " 0x"
                                                          << Fingerprint(data, size);
    }
}

TEST(UiLanguage, TranslationsReachTheModuleAsUtf16AndMissingOnesFallBackToEnglish)
{
    EXPECT_EQ(LoadUiString(ModuleInstance(), IDS_PAGE_TITLE, UiLanguage::German), L"Beenden");
    EXPECT_EQ(LoadUiString(ModuleInstance(), IDS_PAGE_TITLE, UiLanguage::Japanese), L"\u7D42\u4E86\u51E6\u7406"); // 終了処理
    EXPECT_EQ(LoadUiString(ModuleInstance(), IDS_PAGE_TITLE, UiLanguage::SimplifiedChinese), L"\u9000\u51FA\u8BBE\u7F6E"); // 退出设置
    EXPECT_EQ(LoadUiString(ModuleInstance(), IDS_SETUP_CLOSE_OUTLOOK, UiLanguage::French),
              L"Microsoft Outlook est en cours d'ex\u00E9cution. Cliquez sur OK pour fermer Outlook.");
    EXPECT_EQ(LoadUiString(ModuleInstance(), IDS_PAGE_POLICY_NOTE, UiLanguage::BrazilianPortuguese),
              L"As configura\u00E7\u00F5es esmaecidas s\u00E3o definidas pelo administrador e n\u00E3o podem ser "
              L"alteradas aqui.");
    // An ID no language has gives nothing; the lookups never move the thread's UI language.
    const LANGID before = GetThreadUILanguage();
    EXPECT_EQ(LoadUiString(ModuleInstance(), 4000, UiLanguage::German), L"");
    EXPECT_EQ(FindUiDialog(ModuleInstance(), IDD_EXITPROGDLG, UiLanguage::Italian),
              FindResourceInLanguage(ModuleInstance(), MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(IDD_EXITPROGDLG),
                                     MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), nullptr));
    EXPECT_EQ(GetThreadUILanguage(), before);
}

} // namespace
