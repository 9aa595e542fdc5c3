// "WaitForWrites", the longest wait for Outlook to finish writing its data files: its own
// reading rule (the enforced value, machine policy over user policy, else the user's own, else
// the machine's, else 60) and its own form (decimal 0 to 3600; anything else counts as missing).
#include <gtest/gtest.h>

#include <string>

#include "settings/settings_store.h"
#include "support/policy_keys.h"
#include "support/test_support.h"

namespace {

const char* const kWaitForWrites = SettingName(Setting::WaitForWrites);

TEST(ParseWaitForWrites, TakesDecimalSecondsUpTo3600Only)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {{"0", 0},   {"5", 5},     {"60", 60},     {"3600", 3600}, {"0007", 7},
                          {"", -1},   {"abc", -1},  {"-5", -1},     {"4000", -1},   {"3601", -1},
                          {"+5", -1}, {" 5", -1},   {"5 ", -1},     {"10abc", -1},  {"99999999999", -1}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseWaitForWrites(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ReadWaitForWrites, TheFirstUsableValueDecides)
{
    // Each source: null leaves it out; a number is a REG_DWORD, a text a REG_SZ ("=" prefix).
    struct Case {
        const char* name;
        const char* machinePolicy;
        const char* userPolicy;
        const char* user;
        const char* machine;
        int expected;
    };
    const Case cases[] = {
        {"nothing anywhere", nullptr, nullptr, nullptr, nullptr, 60},
        {"the machine's value", nullptr, nullptr, nullptr, "30", 30},
        {"the user's own over the machine's", nullptr, nullptr, "10", "30", 10},
        {"the user's \"0\" switches the hold off", nullptr, nullptr, "0", "30", 0},
        {"odd user text counts as missing", nullptr, nullptr, "abc", "30", 30},
        {"a user's 4000 counts as missing", nullptr, nullptr, "4000", nullptr, 60},
        {"an empty user value counts as missing", nullptr, nullptr, "", "45", 45},
        {"the user's policy over the user's own", nullptr, "#20", "10", "30", 20},
        {"the machine's policy over the user's", "#0", "#20", "10", "30", 0},
        {"a policy as text", "=15", nullptr, "10", nullptr, 15},
        {"an odd machine policy falls to the user's policy", "=-5", "#25", "10", nullptr, 25},
        {"a policy of 4000 counts as missing", "#4000", nullptr, "10", nullptr, 10},
        {"every value odd gives 60", "=x", "#9999", "-1", "3601", 60},
    };
    ScopedPolicyKeys policies;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteSettingsKeys();
        DeletePolicyKeys();
        const struct {
            const char* value;
            HKEY root;
            bool policy;
        } sources[] = {{c.machinePolicy, HKEY_LOCAL_MACHINE, true},
                       {c.userPolicy, HKEY_CURRENT_USER, true},
                       {c.user, HKEY_CURRENT_USER, false},
                       {c.machine, HKEY_LOCAL_MACHINE, false}};
        for (const auto& source : sources) {
            if (!source.value)
                continue;
            if (!source.policy)
                SetStringSetting(source.root, kWaitForWrites, source.value);
            else if (source.value[0] == '#')
                SetDwordPolicy(source.root, kWaitForWrites, std::stoul(source.value + 1));
            else
                SetStringPolicy(source.root, kWaitForWrites, source.value + 1);
        }
        EXPECT_EQ(ReadWaitForWrites(), c.expected);
    }
    DeleteSettingsKeys();
}

} // namespace
