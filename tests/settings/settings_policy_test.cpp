// The values an administrator enforces under SOFTWARE\Policies\Vantrel (machine, then user)
// over the user's own settings: which one decides, what a policy value of an odd kind does, and
// that the policies are only ever read.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "settings/settings_store.h"
#include "shutdown/shutdown_thread.h"
#include "support/policy_keys.h"
#include "support/test_support.h"

namespace {

class PolicySettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteSettingsKeys();
        DeletePolicyKeys();
        LogFile::DestroyInstance();
        ASSERT_NE(OpenAddinLog(), nullptr);
    }
    void TearDown() override
    {
        DeleteSettingsKeys();
        DeletePolicyKeys();
        LogFile::DestroyInstance();
    }

    struct Effective {
        std::string text;
        bool enforced;
    };
    static Effective Read(Setting setting)
    {
        SettingText buffer;
        std::fill(std::begin(buffer), std::end(buffer), 'Z');
        const bool enforced = ReadEffectiveSetting(setting, buffer);
        return {buffer, enforced};
    }
    static std::string Stored(const char* name)
    {
        DWORD type = 0;
        std::string data;
        return GetRawSetting(HKEY_CURRENT_USER, name, &type, &data) ? data : "<missing>";
    }
    static size_t IgnoredLines()
    {
        const std::vector<std::string> log = AddinLogMessages();
        return static_cast<size_t>(std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("Settings<ReadPolicySetting> ==> [IGNORED] ", 0) == 0;
        }));
    }
};

constexpr PolicySource kSources[] = {PolicySource::Machine, PolicySource::User, PolicySource::Both};
constexpr PolicyType kTypes[] = {PolicyType::Dword, PolicyType::String};

// The settings of the page, which the policies enforce by the same rules.
std::vector<Setting> PageSettings()
{
    std::vector<Setting> settings;
    for (const SettingRule& rule : kSettingRules)
        if (rule.onPage)
            settings.push_back(rule.setting);
    return settings;
}

// Each setting, enforced from each place in both types, reads as the enforced value; the user's
// own value stays in the user's key and decides again once the policies are gone.
TEST_F(PolicySettingsTest, EnforcedValueDecidesAndTheUsersOwnComesBack)
{
    for (Setting setting : PageSettings())
        for (PolicySource source : kSources)
            for (PolicyType type : kTypes) {
                const char* name = SettingName(setting);
                SCOPED_TRACE(std::string(name) + " from the " + PolicySourceName(source) + " as " +
                             PolicyTypeName(type));
                DeleteSettingsKeys();
                SetStringSetting(HKEY_CURRENT_USER, name, "5");
                EnforcePolicy(source, name, type, 1, 9);

                const Effective enforced = Read(setting);
                EXPECT_EQ(enforced.text, "1") << "the machine's policy wins over the user's";
                EXPECT_TRUE(enforced.enforced);
                EXPECT_EQ(Stored(name), std::string("5", 2));

                DeletePolicyKeys();
                const Effective own = Read(setting);
                EXPECT_EQ(own.text, "5");
                EXPECT_FALSE(own.enforced);
                for (Setting other : PageSettings()) {
                    if (other != setting) {
                        EXPECT_EQ(Stored(SettingName(other)), "<missing>") << "nothing of the policy is left in the user's key";
                    }
                }
            }
    EXPECT_EQ(IgnoredLines(), 0u);
}

TEST_F(PolicySettingsTest, DwordReadsAsItsUnsignedDecimalText)
{
    // 0xFFFFFFFF is the longest Delay there is, never a negative one: the worker then waits
    // for Outlook to end by itself (ParseDelay clamps to INT_MAX) instead of ending it at once.
    const struct {
        DWORD number;
        const char* text;
    } cases[] = {{0, "0"}, {1, "1"}, {30, "30"}, {0x80000000u, "2147483648"}, {0xFFFFFFFFu, "4294967295"}};
    for (const auto& c : cases) {
        SetDwordPolicy(HKEY_LOCAL_MACHINE, "Delay", c.number);
        EXPECT_EQ(Read(Setting::Delay).text, c.text) << c.number;
    }
    EXPECT_EQ(ParseDelay("4294967295"), INT_MAX);
}

struct OddCase {
    const char* label;
    DWORD type;
    std::string data; // raw bytes as stored
};

// A policy value of another type, or one that carries no usable value, enforces nothing: the
// next place decides (the user's policy after the machine's, then the user's own value), and
// the log says so once, not at every read, and again when the value comes back.
TEST_F(PolicySettingsTest, OddPolicyValueIsPassedOverAndLoggedOnce)
{
    const DWORD number = 1;
    const unsigned long long wide = 1;
    const OddCase cases[] = {
        {"REG_BINARY", REG_BINARY, std::string("1", 2)},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("1", 2)},
        {"REG_MULTI_SZ", REG_MULTI_SZ, std::string("1\0", 3)},
        {"REG_QWORD", REG_QWORD, std::string(reinterpret_cast<const char*>(&wide), 8)},
        {"REG_NONE", REG_NONE, std::string()},
        {"REG_DWORD of two bytes", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 2)},
        {"REG_DWORD of eight bytes", REG_DWORD, std::string(reinterpret_cast<const char*>(&wide), 8)},
        {"empty REG_SZ", REG_SZ, std::string("", 1)},
        {"REG_SZ too long to read", REG_SZ, std::string(300, '1') + '\0'},
    };
    for (const OddCase& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteSettingsKeys();
        DeletePolicyKeys();
        SetStringSetting(HKEY_CURRENT_USER, "Delay", "5");
        const size_t linesBefore = IgnoredLines();
        SetRawPolicy(HKEY_LOCAL_MACHINE, "Delay", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));

        for (int read = 0; read < 3; ++read) {
            const Effective own = Read(Setting::Delay);
            EXPECT_EQ(own.text, "5");
            EXPECT_FALSE(own.enforced);
        }
        EXPECT_EQ(IgnoredLines(), linesBefore + 1);

        SetStringPolicy(HKEY_CURRENT_USER, "Delay", "20");
        EXPECT_EQ(Read(Setting::Delay).text, "20") << "the user's policy decides after an odd machine value";
        EXPECT_EQ(IgnoredLines(), linesBefore + 1);

        // Gone and back: logged again.
        DeletePolicyKeys();
        EXPECT_EQ(Read(Setting::Delay).text, "5");
        SetRawPolicy(HKEY_CURRENT_USER, "Delay", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(Read(Setting::Delay).text, "5");
        EXPECT_EQ(IgnoredLines(), linesBefore + 2);
    }
    const std::vector<std::string> log = AddinLogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Settings<ReadPolicySetting> ==> [IGNORED] HKLM\\SOFTWARE\\Policies\\Vantrel\\Delay: type 3 "),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Settings<ReadPolicySetting> ==> [IGNORED] HKCU\\SOFTWARE\\Policies\\Vantrel\\Delay: "
                        "REG_DWORD of 2 bytes "),
              log.end());
}

// Users usually cannot write under SOFTWARE\Policies, and a policy key that the add-in made
// would look like an administrator's: reading, seeding and the enabled test create none.
TEST_F(PolicySettingsTest, ReadingCreatesNoPolicyKey)
{
    for (Setting setting : PageSettings())
        (void)Read(setting);
    (void)Addin_Enabled();
    SeedUserSettings();
    EXPECT_FALSE(PolicyKeyExists(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(PolicyKeyExists(HKEY_CURRENT_USER));
}

TEST_F(PolicySettingsTest, SeedingNeverCopiesAPolicy)
{
    SetStringSetting(HKEY_LOCAL_MACHINE, "Enabled", "1");
    SetStringSetting(HKEY_LOCAL_MACHINE, "ShowExitDialog", "1");
    SetStringSetting(HKEY_LOCAL_MACHINE, "Delay", "15");
    for (Setting setting : PageSettings()) {
        const char* name = SettingName(setting);
        SetDwordPolicy(HKEY_LOCAL_MACHINE, name, 0);
        SetDwordPolicy(HKEY_CURRENT_USER, name, 0);
    }
    SeedUserSettings();
    EXPECT_EQ(Stored("Enabled"), std::string("1", 2));
    EXPECT_EQ(Stored("ShowExitDialog"), std::string("1", 2));
    EXPECT_EQ(Stored("Delay"), std::string("15", 3));
    EXPECT_EQ(Stored("CloseWinWord"), "<missing>");
}

// The test that the watcher and the connection object make: an enforced "0" switches the add-in
// off whatever the user's own value, an enforced "1" on; the log line is the one it always was.
TEST_F(PolicySettingsTest, AddinEnabledFollowsTheEnforcedValue)
{
    for (PolicySource source : kSources)
        for (PolicyType type : kTypes)
            for (DWORD enforced : {0u, 1u}) {
                SCOPED_TRACE(std::string(PolicySourceName(source)) + " " + PolicyTypeName(type) + " " +
                             std::to_string(enforced));
                DeleteSettingsKeys();
                DeletePolicyKeys();
                LogFile::DestroyInstance();
                ASSERT_NE(OpenAddinLog(), nullptr);
                SetStringSetting(HKEY_CURRENT_USER, "Enabled", enforced ? "0" : "1");
                EnforcePolicy(source, "Enabled", type, enforced, enforced ? 0 : 1);
                EXPECT_EQ(Addin_Enabled(), static_cast<int>(enforced));
                EXPECT_EQ(AddinLogMessages(), std::vector<std::string>{enforced
                                                                           ? "Connect<Addin_Enabled> ==> [ENABLED] "
                                                                           : "Connect<Addin_Enabled> ==> [DISABLED] "});
            }
}

} // namespace
