#include "settings/settings_store.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "win32/raii.h"
#include "log/log_file.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantrel";

// The machine's settings are read from the 64-bit view, where both packages keep them, so that
// one key serves 32-bit and 64-bit Office alike (an x86 DLL on 64-bit Windows would otherwise
// read SOFTWARE\WOW6432Node\Vantrel). 32-bit Windows ignores the flag. HKEY_CURRENT_USER's
// Software is shared by both views.
REGSAM SettingsView(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? KEY_WOW64_64KEY : 0;
}

// Makes sure the key exists for later writes; whether that works is of no interest here.
void CreateSettingsKey(HKEY root)
{
    UniqueHKey key;
    (void)RegCreateKeyExA(root, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE | SettingsView(root), nullptr, key.put(), nullptr);
}

// Reads a REG_SZ or REG_EXPAND_SZ value of an open key into buffer: false for a missing value,
// another type, or a text that is too long or unterminated.
bool QueryOpenStringValue(HKEY key, const char* name, char* buffer, DWORD size)
{
    DWORD type = REG_NONE;
    DWORD length = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    if (length > size)
        return false;
    if (length == 0) {
        buffer[0] = '\0';
        return true;
    }
    return buffer[length - 1] == '\0';
}

bool QueryStringValue(HKEY root, const char* name, char* buffer, DWORD size)
{
    UniqueHKey key;
    if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_READ | SettingsView(root), key.put()) != ERROR_SUCCESS)
        return false;
    return QueryOpenStringValue(key.get(), name, buffer, size);
}

// What one policy key holds for one setting.
enum class PolicyRead { Absent, Enforced, Ignored };

// Why a policy value was passed over, as one number: its type and whether its data was the
// fault (a REG_DWORD of another size, a REG_SZ without readable text). 0 means nothing ignored.
std::uint64_t IgnoredKind(DWORD type, bool badData)
{
    return (static_cast<std::uint64_t>(type) << 1 | (badData ? 1u : 0u)) + 1;
}

// The kind last logged for each policy key (machine, user) and value: an ignored value is
// logged once, not at every read, and again only when it changes or comes back.
std::atomic<std::uint64_t> g_loggedIgnored[2][kSettingCount];

std::atomic<std::uint64_t>& LoggedIgnored(int rootIndex, Setting setting)
{
    return g_loggedIgnored[rootIndex][static_cast<size_t>(setting)];
}

void NoteIgnoredPolicy(int rootIndex, Setting setting, DWORD type, bool badData, DWORD bytes)
{
    const std::uint64_t kind = IgnoredKind(type, badData);
    if (LoggedIgnored(rootIndex, setting).exchange(kind) == kind)
        return;
    const char* root = rootIndex == 0 ? "HKLM" : "HKCU";
    const char* name = SettingName(setting);
    if (type == REG_SZ)
        LogMessage(0, "Settings<ReadPolicySetting> ==> [IGNORED] %s\\%s\\%s: REG_SZ without readable text ", root,
                   kPolicyKey, name);
    else if (type == REG_DWORD)
        LogMessage(0, "Settings<ReadPolicySetting> ==> [IGNORED] %s\\%s\\%s: REG_DWORD of %u bytes ", root, kPolicyKey,
                   name, static_cast<unsigned>(bytes));
    else
        LogMessage(0, "Settings<ReadPolicySetting> ==> [IGNORED] %s\\%s\\%s: type %u ", root, kPolicyKey, name,
                   static_cast<unsigned>(type));
}

// Reads one setting from one policy key, opened for reading only. buffer is cleared unless the
// value is enforced.
PolicyRead QueryPolicyValue(int rootIndex, Setting setting, SettingText& text)
{
    const HKEY root = rootIndex == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const char* name = SettingName(setting);
    char* const buffer = text;
    const DWORD size = RuleOf(setting).readSize;
    UniqueHKey key;
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    if (RegOpenKeyExA(root, kPolicyKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
        LoggedIgnored(rootIndex, setting).store(0); // an odd value that comes back is logged again
        return PolicyRead::Absent;
    }
    bool usable = false;
    if (type == REG_DWORD) {
        DWORD number = 0;
        DWORD length = sizeof(number);
        usable = bytes == sizeof(number) &&
                 RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &length) ==
                     ERROR_SUCCESS &&
                 type == REG_DWORD && length == sizeof(number);
        // Unsigned: 0xFFFFFFFF is the longest Delay, never a negative one.
        if (usable)
            std::snprintf(buffer, size, "%lu", static_cast<unsigned long>(number));
    } else if (type == REG_SZ) {
        usable = QueryOpenStringValue(key.get(), name, buffer, size) && buffer[0] != '\0';
    }
    if (usable) {
        LoggedIgnored(rootIndex, setting).store(0);
        return PolicyRead::Enforced;
    }
    std::memset(buffer, 0, size);
    NoteIgnoredPolicy(rootIndex, setting, type, type == REG_DWORD || type == REG_SZ, bytes);
    return PolicyRead::Ignored;
}

} // namespace

void ReadSetting(Setting setting, SettingText& text, HKEY root)
{
    const DWORD size = RuleOf(setting).readSize;
    std::memset(text, 0, size);
    if (!QueryStringValue(root, SettingName(setting), text, size)) {
        CreateSettingsKey(root);
        std::memset(text, 0, size);
    }
}

bool ReadPolicySetting(Setting setting, SettingText& text)
{
    std::memset(text, 0, RuleOf(setting).readSize);
    // The machine's policy wins over the user's.
    for (int rootIndex : {0, 1})
        if (QueryPolicyValue(rootIndex, setting, text) == PolicyRead::Enforced)
            return true;
    return false;
}

bool ReadEffectiveSetting(Setting setting, SettingText& text)
{
    if (ReadPolicySetting(setting, text))
        return true;
    ReadSetting(setting, text, HKEY_CURRENT_USER);
    return false;
}

int ParseWaitForWrites(const char* text) noexcept
{
    if (!text || *text == '\0')
        return -1;
    int seconds = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return -1;
        seconds = seconds * 10 + (*c - '0');
        if (seconds > kMaxWaitForWrites)
            return -1;
    }
    return seconds;
}

int ReadWaitForWrites() noexcept
{
    constexpr Setting kWait = Setting::WaitForWrites;
    SettingText buffer;
    int seconds = -1;
    // Each policy on its own: an odd machine value counts as missing, and the user's policy
    // decides then.
    for (int rootIndex : {0, 1}) {
        if (seconds >= 0)
            break;
        if (QueryPolicyValue(rootIndex, kWait, buffer) == PolicyRead::Enforced)
            seconds = ParseWaitForWrites(buffer);
    }
    // The user's own value, then the machine's; read only, so no key is made for them.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (seconds >= 0)
            break;
        std::memset(buffer, 0, sizeof(buffer));
        if (QueryStringValue(root, SettingName(kWait), buffer, RuleOf(kWait).readSize))
            seconds = ParseWaitForWrites(buffer);
    }
    return seconds >= 0 ? seconds : kDefaultWaitForWrites;
}

int WriteSetting(Setting setting, const char* text, HKEY root)
{
    const char* name = SettingName(setting);
    {
        UniqueHKey key;
        if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_READ | KEY_WRITE | SettingsView(root), key.put()) ==
                ERROR_SUCCESS &&
            text) {
            const DWORD length = static_cast<DWORD>(std::strlen(text) + 1);
            if (RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), length) ==
                ERROR_SUCCESS)
                return 1;
        }
    }
    CreateSettingsKey(root);
    return 0;
}

int Addin_Enabled()
{
    SettingText buffer;
    (void)ReadEffectiveSetting(Setting::Enabled, buffer); // the log line is the same either way
    if (std::strcmp(buffer, "0") != 0) {
        LogMessage(0, "Connect<Addin_Enabled> ==> [ENABLED] ");
        return 1;
    }
    LogMessage(0, "Connect<Addin_Enabled> ==> [DISABLED] ");
    return 0;
}

void SeedUserSettings()
{
    SettingText buffer;
    ReadSetting(Setting::Delay, buffer, HKEY_CURRENT_USER);
    if (buffer[0] != '\0')
        return;
    for (const SettingRule& rule : kSettingRules) {
        if (!rule.seeded)
            continue;
        ReadSetting(rule.setting, buffer, HKEY_LOCAL_MACHINE);
        (void)WriteSetting(rule.setting, buffer, HKEY_CURRENT_USER); // nobody looks at the result
    }
}
