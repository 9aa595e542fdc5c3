// Outlook in German and in Japanese: the registered add-in, loaded by the simulated Outlook whose
// LanguageSettings answers that language, names its tab and shows its page in it. The simulator
// reads the texts with the wide calls and logs them in UTF-8; they are compared here as UTF-16,
// so a text turned into '?' on its way cannot pass.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "server_test_support.h"
#include "support/simulated_outlook.h"
#include "support/test_support.h"

namespace {

std::wstring FromUtf8(const std::string& text)
{
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
    std::wstring result(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), units);
    return result;
}

struct PageTexts {
    std::wstring title;
    std::map<int, std::wstring> byControl; // the named controls' texts
    std::wstring delayLabel;               // the last unnamed static: the Delay box's label
};

PageTexts ReadPageTexts(const std::vector<std::string>& log)
{
    PageTexts texts;
    for (const std::string& line : log) {
        if (line.rfind("options title ", 0) == 0) {
            texts.title = FromUtf8(line.substr(14));
        } else if (line.rfind("options text ", 0) == 0) {
            const size_t space = line.find(' ', 13);
            const int id = std::stoi(line.substr(13, space - 13));
            const std::wstring text = FromUtf8(line.substr(space + 1));
            if (id == -1 || id == 65535)
                texts.delayLabel = text;
            else
                texts.byControl[id] = text;
        }
    }
    return texts;
}

class LocalizedEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistration();
        DeleteSettingsKeys();
        ASSERT_EQ(RunRegsvr32("/s \"" + ServerDllPath() + "\""), 0u);
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    }
    void TearDown() override
    {
        RunRegsvr32("/s /u \"" + ServerDllPath() + "\"");
        DeleteRegistration();
        DeleteSettingsKeys();
    }

    PageTexts OpenPageIn(const char* lcid)
    {
        SimulatedOutlook outlook(std::string("--language ") + lcid + " options options-texts setting:Enabled=0 exit");
        EXPECT_TRUE(outlook.Started());
        EXPECT_EQ(outlook.WaitForExit(), 3);
        return ReadPageTexts(outlook.Log());
    }
};

TEST_F(LocalizedEndToEndTest, OutlookInGermanGetsTheTabAndThePageInGerman)
{
    const PageTexts texts = OpenPageIn("1031");
    EXPECT_EQ(texts.title, L"Beenden");
    EXPECT_EQ(texts.byControl.at(218), L"Vantrel aktivieren");
    EXPECT_EQ(texts.byControl.at(236), L"Fortschrittsdialog beim Beenden anzeigen");
    EXPECT_EQ(texts.byControl.at(237), L"Hintergrundprozess winword.exe beim Beenden schlie\u00DFen");
    EXPECT_EQ(texts.delayLabel, L"Maximale Wartezeit, bis Outlook beendet ist (Sekunden):");
}

TEST_F(LocalizedEndToEndTest, OutlookInJapaneseGetsTheTabAndThePageInJapanese)
{
    const PageTexts texts = OpenPageIn("1041");
    EXPECT_EQ(texts.title, L"\u7D42\u4E86"); // 終了
    // Vantrel を有効にする
    EXPECT_EQ(texts.byControl.at(218), L"Vantrel \u3092\u6709\u52B9\u306B\u3059\u308B");
    // 終了の進行状況ダイアログを表示する
    EXPECT_EQ(texts.byControl.at(236), L"\u7D42\u4E86\u306E\u9032\u884C\u72B6\u6CC1\u30C0\u30A4\u30A2\u30ED\u30B0"
                                       L"\u3092\u8868\u793A\u3059\u308B");
    // Outlook の終了を待つ最大時間 (秒):
    EXPECT_EQ(texts.delayLabel, L"Outlook \u306E\u7D42\u4E86\u3092\u5F85\u3064\u6700\u5927\u6642\u9593 (\u79D2):");
}

TEST_F(LocalizedEndToEndTest, OutlookInDutchGetsTheEnglishPage)
{
    const PageTexts texts = OpenPageIn("1043");
    EXPECT_EQ(texts.title, L"Shutdown");
    EXPECT_EQ(texts.byControl.at(218), L"Enable Vantrel");
}

} // namespace
