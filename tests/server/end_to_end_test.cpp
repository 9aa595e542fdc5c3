// Vantrel.dll registered by regsvr32 and loaded by the simulated Outlook from Outlook's
// Addins key, as Outlook loads it.
#include <gtest/gtest.h>

#include "server_test_support.h"
#include "support/simulated_outlook.h"
#include "support/test_support.h"

namespace {

using Lines = std::vector<std::string>;

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteRegistration();
        DeleteSettingsKeys();
        ASSERT_EQ(RunRegsvr32("/s \"" + ServerDllPath() + "\""), 0u);
        SetStringSetting(HKEY_CURRENT_USER, "Enabled", "1");
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "1");
    }
    void TearDown() override
    {
        RunRegsvr32("/s /u \"" + ServerDllPath() + "\"");
        DeleteRegistration();
        DeleteSettingsKeys();
    }
};

TEST_F(EndToEndTest, LastWindowClosedEndsOutlook)
{
    SimulatedOutlook outlook("close-last");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 0) << "ended by the add-in, with exit code 0";
    const Lines log = outlook.Log();
    EXPECT_TRUE(Contains(log, "load Vantrel.Connect 0x00000000"));
    EXPECT_EQ(OutlookCalls(log), (Lines{"call Session ok thread=main", "call Session ok thread=main",
                                         "call Logoff ok thread=main", "call Quit ok thread=main"}));
    const Lines addinLog = AddinLogMessages();
    ASSERT_FALSE(addinLog.empty());
    EXPECT_EQ(addinLog.front(), "Connect<FinalConstruct> ==> [HRES 00000000]");
    EXPECT_EQ(addinLog.back(), "Connect<Addin_Enabled> ==> [ENABLED] ") << "nothing after the decision to end";
}

TEST_F(EndToEndTest, OutlookEndingByItselfIsLetAlone)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "20");
    SimulatedOutlook outlook("--on-quit exit close-last");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3) << "Outlook's own exit, not a termination";
    EXPECT_TRUE(Contains(outlook.Log(), "released add-ins"));
    EXPECT_EQ(AddinLogMessages().back(), "Connect<FinalRelease> ==> [HRES 00000000]");
}

TEST_F(EndToEndTest, DisabledAddinDoesNothing)
{
    SetStringSetting(HKEY_CURRENT_USER, "Enabled", "0");
    SimulatedOutlook outlook("close-last wait:2000 exit");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3);
    EXPECT_EQ(OutlookCalls(outlook.Log()), Lines{});
}

TEST_F(EndToEndTest, OptionsDialogShowsTheShutdownTabAndApplyChangesTheSettings)
{
    SetStringSetting(HKEY_CURRENT_USER, "Delay", "30");
    SimulatedOutlook outlook("options options-click:218 options-type:45 options-ok wait:200 exit");
    ASSERT_TRUE(outlook.Started());
    EXPECT_EQ(outlook.WaitForExit(), 3);
    const Lines log = outlook.Log();
    EXPECT_TRUE(Contains(log, "options page \"Shutdown\" Vantrel.AddinPropertyPage 0x00000000"));
    EXPECT_TRUE(Contains(log, "options ok dirty=true"));
    EXPECT_TRUE(Contains(log, "options status changes 1")) << "Outlook hears of the first change only";

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(GetRawSetting(HKEY_CURRENT_USER, "Enabled", &type, &data));
    EXPECT_EQ(data, std::string("0", 2));
    ASSERT_TRUE(GetRawSetting(HKEY_CURRENT_USER, "Delay", &type, &data));
    EXPECT_EQ(data, std::string("45", 3));
}

} // namespace
