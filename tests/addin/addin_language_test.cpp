// The add-in's language, chosen when Outlook connects it: Office's user-interface language
// (LanguageSettings.LanguageID(msoLanguageIDUI)), Windows' only when Office's cannot be read, and
// a failing read that changes nothing else.
#include <optional>

#include "addin/addin_language.h"
#include "addin_fixture.h"

namespace {

int g_windowsAsked = 0;
LANGID g_windowsAnswer = 1033;
LANGID WINAPI WindowsStandIn()
{
    ++g_windowsAsked;
    return g_windowsAnswer;
}

class AddinLanguageTest : public AddinTest {
protected:
    void SetUp() override
    {
        AddinTest::SetUp();
        UseWindowsLanguageSource(WindowsStandIn);
    }
    void TearDown() override
    {
        UseWindowsLanguageSource(nullptr);
        SetUiLanguage(UiLanguage::English);
        AddinTest::TearDown();
    }
};

TEST_F(AddinLanguageTest, OfficesLanguageDecidesWithoutAskingWindows)
{
    const struct {
        long office;
        UiLanguage expected;
    } cases[] = {
        {1031, UiLanguage::German},              // German
        {3079, UiLanguage::German},              // German, Austria
        {2070, UiLanguage::BrazilianPortuguese}, // Portuguese, Portugal
        {1041, UiLanguage::Japanese},
        {2052, UiLanguage::SimplifiedChinese},
        {1028, UiLanguage::English},             // Chinese, Traditional
        {1043, UiLanguage::English},             // Dutch, not offered
    };
    g_windowsAnswer = 1036;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.office);
        m_app->LanguageSettingsObject().SetLanguage(c.office);
        g_windowsAsked = 0;
        EXPECT_EQ(ChooseAddinLanguage(m_app.Get()), c.expected);
        EXPECT_EQ(CurrentUiLanguage(), c.expected);
        EXPECT_EQ(g_windowsAsked, 0);
        EXPECT_EQ(m_app->LanguageSettingsObject().AskedType(), 2) << "msoLanguageIDUI";
    }
}

TEST_F(AddinLanguageTest, WindowsLanguageDecidesWhenOfficeCannotAnswer)
{
    g_windowsAnswer = 1036; // French
    g_windowsAsked = 0;
    m_app->FailCall("LanguageSettings", E_FAIL);
    EXPECT_EQ(ChooseAddinLanguage(m_app.Get()), UiLanguage::French);
    m_app->Reset("LanguageSettings");
    m_app->LanguageSettingsObject().FailCall("LanguageID", DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(ChooseAddinLanguage(m_app.Get()), UiLanguage::French);
    m_app->LanguageSettingsObject().Reset("LanguageID");
    m_app->ReturnNothing("LanguageSettings");
    EXPECT_EQ(ChooseAddinLanguage(m_app.Get()), UiLanguage::French);
    EXPECT_EQ(ChooseAddinLanguage(nullptr), UiLanguage::French);
    EXPECT_EQ(g_windowsAsked, 4);
}

TEST_F(AddinLanguageTest, ConnectionReadsOfficesLanguageOnceAndAFailingReadIsLoggedAndChangesNothingElse)
{
    m_app->LanguageSettingsObject().SetLanguage(1031);
    StartAddin();
    EXPECT_EQ(CurrentUiLanguage(), UiLanguage::German);
    size_t reads = 0;
    for (const std::string& call : m_app->Log().Names())
        reads += call == "LanguageID" ? 1 : 0;
    EXPECT_EQ(reads, 1u);
    ReleaseAddin();

    m_app = fake::FakeApplication::Create();
    m_app->FailCall("LanguageSettings", E_ACCESSDENIED);
    StartAddin();
    EXPECT_EQ(AppSinks(), 1u) << "Outlook's events are subscribed as ever";
    EXPECT_EQ(ExplorersSinks(), 1u);
    const std::vector<std::string> log = LogFrom("Connect<OnConnection> ==> Connecting");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], "Connect<LanguageSettings> ==> [HRES 80070005]");
    EXPECT_EQ(log[2], "Connect<OnConnection> ==> [HRES 00000000]");
}

} // namespace
