#include "settings/settings_store.h"

#include <cstring>

#include "com/raii.h"
#include "log/log_file.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\Vantrel";

// Makes sure the key exists for later writes; whether that works is of no interest here.
void CreateSettingsKey(HKEY root)
{
    UniqueHKey key;
    (void)RegCreateKeyExA(root, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                          nullptr, key.put(), nullptr);
}

bool QueryStringValue(HKEY root, const char* name, char* buffer, DWORD size)
{
    UniqueHKey key;
    if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD length = size;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length) !=
        ERROR_SUCCESS)
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

} // namespace

void ReadSetting(const char* name, char* buffer, DWORD size, HKEY root)
{
    if (!buffer || size == 0)
        return;
    std::memset(buffer, 0, size);
    if (!QueryStringValue(root, name, buffer, size)) {
        CreateSettingsKey(root);
        std::memset(buffer, 0, size);
    }
}

int WriteSetting(const char* name, const char* text, HKEY root)
{
    {
        UniqueHKey key;
        if (RegOpenKeyExA(root, kSettingsKey, 0, KEY_READ | KEY_WRITE, key.put()) == ERROR_SUCCESS && text) {
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
    char buffer[kSettingBufferSize];
    ReadSetting("Enabled", buffer, kSettingReadSize, HKEY_CURRENT_USER);
    if (std::strcmp(buffer, "0") != 0) {
        LogMessage(0, "Connect<Addin_Enabled> ==> [ENABLED] ");
        return 1;
    }
    LogMessage(0, "Connect<Addin_Enabled> ==> [DISABLED] ");
    return 0;
}

void SeedUserSettings()
{
    char buffer[kSettingBufferSize];
    ReadSetting("Delay", buffer, kSettingReadSize, HKEY_CURRENT_USER);
    if (buffer[0] != '\0')
        return;
    for (const char* name : {"Enabled", "Delay", "ShowExitDialog"}) {
        ReadSetting(name, buffer, kSettingReadSize, HKEY_LOCAL_MACHINE);
        (void)WriteSetting(name, buffer, HKEY_CURRENT_USER); // nobody looks at the result
    }
}
