// The settings: REG_SZ values of "SOFTWARE\Vantrel" per user (read and written)
// and per machine (defaults, read only), and the values an administrator enforces under
// "SOFTWARE\Policies\Vantrel" (machine, then user; read only, REG_DWORD or REG_SZ).
// Nothing is cached; every call opens its own key. Runs on any thread.
#pragma once

#include <windows.h>

#include <cstddef>

// The settings, in the order the installer lists the machine's defaults.
enum class Setting : int { Enabled, Delay, ShowExitDialog, CloseWinWord, WaitForWrites };

// What the add-in knows of one setting. A row per setting, in the enum's order.
struct SettingRule {
    Setting setting;
    const char* name;  // the value's name in the user's key, the machine's defaults and the policy keys
    DWORD readSize;    // bytes read, terminating NUL included: a longer value reads as empty
    bool onPage;       // shown and written by the "Shutdown" page
    bool seeded;       // copied from the machine's defaults while the user's "Delay" is empty
};

// Every text setting is read in 255 bytes: a value of 255 characters or more reads as empty.
// "WaitForWrites" is not on the page: it has a reading rule of its own (ReadWaitForWrites), and
// an administrator or the installer sets it.
constexpr SettingRule kSettingRules[] = {
    {Setting::Enabled, "Enabled", 255, true, true},
    {Setting::Delay, "Delay", 255, true, true},
    {Setting::ShowExitDialog, "ShowExitDialog", 255, true, true},
    {Setting::CloseWinWord, "CloseWinWord", 255, true, false},
    {Setting::WaitForWrites, "WaitForWrites", 255, false, false},
};
constexpr size_t kSettingCount = sizeof(kSettingRules) / sizeof(kSettingRules[0]);

constexpr const SettingRule& RuleOf(Setting setting) noexcept
{
    return kSettingRules[static_cast<size_t>(setting)];
}
constexpr const char* SettingName(Setting setting) noexcept
{
    return RuleOf(setting).name;
}

namespace settings_detail {
constexpr bool RowsInEnumOrder() noexcept
{
    for (size_t i = 0; i < kSettingCount; ++i)
        if (static_cast<size_t>(kSettingRules[i].setting) != i)
            return false;
    return true;
}
constexpr DWORD LongestRead() noexcept
{
    DWORD longest = 0;
    for (const SettingRule& rule : kSettingRules)
        longest = rule.readSize > longest ? rule.readSize : longest;
    return longest;
}
} // namespace settings_detail
static_assert(settings_detail::RowsInEnumOrder(), "kSettingRules is indexed by Setting");

// The buffer every read of a setting fills: room for the longest read and one byte more.
using SettingText = char[settings_detail::LongestRead() + 1];

// The longest wait, in whole seconds, for Outlook to finish writing its data files once the
// countdown is over (Setting::WaitForWrites).
constexpr int kDefaultWaitForWrites = 60;
constexpr int kMaxWaitForWrites = 3600;

// Where Group Policy writes what an administrator enforces, under HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER.
constexpr char kPolicyKey[] = "SOFTWARE\\Policies\\Vantrel";

// Reads one value into text (at most its row's readSize bytes, terminating NUL included); a
// missing, empty, too long, unterminated or non-string value gives an empty text. A failed read
// also creates the key where rights allow. No-throw.
void ReadSetting(Setting setting, SettingText& text, HKEY root);

// Reads the value an administrator enforces for a setting into text (as much as ReadSetting
// reads): the machine policy's if it holds a usable one, else the user
// policy's. A REG_DWORD reads as its unsigned decimal text ("30", "4294967295"), a REG_SZ by
// ReadSetting's rules. A value of any other type, a REG_DWORD that is not four bytes and a
// REG_SZ that reads as empty (empty, too long, unterminated) enforce nothing: they are passed
// over and logged, once for as long as that key holds that kind of value. Returns true when a
// value is enforced; otherwise text holds an empty text. Opens keys for reading only and
// never creates one. No-throw.
bool ReadPolicySetting(Setting setting, SettingText& text);

// Reads the value that decides: the enforced one, else the user's own as ReadSetting reads it
// (which creates the user's key on a failed read, as before). True when it is enforced. No-throw.
bool ReadEffectiveSetting(Setting setting, SettingText& text);

// The seconds of Setting::WaitForWrites from its text: only decimal digits for 0 to 3600 count;
// anything else (empty, a sign, blanks, other characters, a larger number) gives -1. No-throw.
int ParseWaitForWrites(const char* text) noexcept;

// The seconds Outlook is given to finish writing its data files: the first usable value of the
// enforced one (machine policy, then user policy; REG_DWORD or REG_SZ), the user's own
// (HKCU\SOFTWARE\Vantrel), the machine's (HKLM\SOFTWARE\Vantrel), else kDefaultWaitForWrites.
// A value that ParseWaitForWrites refuses counts as missing. 0 switches the wait off. Creates
// no key. No-throw.
int ReadWaitForWrites() noexcept;

// Writes text as REG_SZ. Returns 1 when written; 0 otherwise (the key is then created
// for the next attempt). A null text writes nothing. No-throw.
int WriteSetting(Setting setting, const char* text, HKEY root);

// 1 unless the effective "Enabled" is exactly "0"; logs the decision. No-throw.
int Addin_Enabled();

// Copies the machine's seeded settings ("Enabled", "Delay" and "ShowExitDialog") to the user's
// key when the user's "Delay" is empty. The others are never seeded, and no policy value is ever
// copied: the user's own values stay theirs. No-throw.
void SeedUserSettings();
