#include <gtest/gtest.h>

#include <string>

#include "win32/raii.h"
#include "setup/machine_defaults.h"
#include "support/test_support.h"

namespace {

using Setup::MachineDefaults;

// The value in HKLM\SOFTWARE\Vantrel of one view, "<missing>" without one, "<no key>" without the
// key.
std::string MachineValue(REGSAM view, const char* name)
{
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel", 0, KEY_READ | view, key.put()) != ERROR_SUCCESS)
        return "<no key>";
    char text[256] = {};
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return "<missing>";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
    return text;
}

TEST(MachineDefaults, StateTravelsAsActionDataAndBack)
{
    const struct {
        MachineDefaults values;
        const char* text;
    } cases[] = {
        {{"1", "30", "1", "0", "60"}, "Enabled=1;Delay=30;ShowExitDialog=1;CloseWinWord=0;WaitForWrites=60;"},
        {{}, "Enabled;Delay;ShowExitDialog;CloseWinWord;WaitForWrites;"},
        {{"", "a;b", "c\\d", "=", std::nullopt}, "Enabled=;Delay=a\\;b;ShowExitDialog=c\\\\d;CloseWinWord==;WaitForWrites;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Setup::MachineDefaultsText(c.values), c.text);
        const Setup::MachineDefaultsChange read = Setup::ParseMachineDefaults(c.text);
        for (size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_TRUE(read.touched[i]) << i;
            EXPECT_EQ(read.values[i], c.values[i]) << i;
        }
    }
    // Names the text leaves out, and names it does not know, touch nothing.
    const Setup::MachineDefaultsChange partial = Setup::ParseMachineDefaults("Delay=5;Other=1;enabled=0;");
    EXPECT_FALSE(partial.touched[0]);
    EXPECT_TRUE(partial.touched[1]);
    EXPECT_EQ(partial.values[1], std::optional<std::string>("5"));
    for (size_t i = 2; i < partial.touched.size(); ++i)
        EXPECT_FALSE(partial.touched[i]) << i;
}

class MachineDefaultsRegistry : public ::testing::Test {
protected:
    void SetUp() override { DeleteSettingsKeys(); }
    void TearDown() override { DeleteSettingsKeys(); }
};

// The x86 package's actions keep the defaults in the 64-bit view, where the add-in of either
// bitness reads them; the 32-bit view (WOW6432Node on 64-bit Windows) stays untouched.
TEST_F(MachineDefaultsRegistry, WriteRemoveAndRestoreInThe64BitViewOnly)
{
    const bool twoViews = RegistryHasTwoViews(); // on 32-bit Windows both flags name its one view
    const Setup::MachineDefaultsChange written =
        Setup::ParseMachineDefaults(Setup::MachineDefaultsText({"1", "45", "0", "1", "90"}));
    ASSERT_EQ(Setup::ApplyMachineDefaultsToRegistry(written, KEY_WOW64_64KEY), ERROR_SUCCESS);
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "Delay"), "45");
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "WaitForWrites"), "90");
    if (twoViews)
        EXPECT_EQ(MachineValue(KEY_WOW64_32KEY, "Delay"), "<no key>");

    // A rollback to what a machine had before: one value, the others absent.
    const Setup::MachineDefaultsChange before =
        Setup::ParseMachineDefaults(Setup::MachineDefaultsText({std::nullopt, "10", std::nullopt, std::nullopt, std::nullopt}));
    ASSERT_EQ(Setup::ApplyMachineDefaultsToRegistry(before, KEY_WOW64_64KEY), ERROR_SUCCESS);
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "Delay"), "10");
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "Enabled"), "<missing>");
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "WaitForWrites"), "<missing>");

    // The removal leaves no key behind, but a key that holds something else stays.
    ASSERT_EQ(Setup::ApplyMachineDefaultsToRegistry(Setup::ParseMachineDefaults(Setup::MachineDefaultsText({})),
                                                    KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "Delay"), "<no key>");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Foreign", "x");
    ASSERT_EQ(Setup::ApplyMachineDefaultsToRegistry(Setup::ParseMachineDefaults(Setup::MachineDefaultsText({})),
                                                    KEY_WOW64_64KEY),
              ERROR_SUCCESS);
    EXPECT_EQ(MachineValue(KEY_WOW64_64KEY, "Foreign"), "x");
}

} // namespace
