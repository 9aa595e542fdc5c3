#include "setup/machine_defaults.h"

#include <cctype>
#include <cwchar>
#include <new>
#include <vector>

#include "win32/raii.h"
#include "setup/msi_library.h"

namespace Setup {
namespace {

const char kMachineKey[] = "SOFTWARE\\Vantrel";

// The property's whole text, "" when it cannot be read.
std::string ReadPropertyText(const MsiLibrary& msi, MSIHANDLE install, const char* name)
{
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD capacity = static_cast<DWORD>(buffer.size());
        const UINT result = msi.GetProperty(install, name, buffer.data(), &capacity);
        if (result == ERROR_SUCCESS)
            return std::string(buffer.data(), capacity);
        if (result != ERROR_MORE_DATA)
            return {};
        buffer.resize(static_cast<size_t>(capacity) + 1);
    }
    return {};
}

std::string Upper(const char* text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// A registry search of type "raw" gives a REG_SZ that starts with '#' one '#' more.
std::string FromRawSearch(std::string value)
{
    if (value.size() >= 2 && value[0] == '#' && value[1] == '#')
        value.erase(0, 1);
    return value;
}

} // namespace

std::string MachineDefaultsText(const MachineDefaults& defaults)
{
    std::string text;
    for (size_t i = 0; i < defaults.size(); ++i) {
        text += kSettingRules[i].name;
        if (defaults[i]) {
            text += '=';
            for (char c : *defaults[i]) {
                if (c == ';' || c == '\\')
                    text += '\\';
                text += c;
            }
        }
        text += ';';
    }
    return text;
}

MachineDefaultsChange ParseMachineDefaults(const std::string& text)
{
    MachineDefaultsChange change;
    size_t at = 0;
    while (at < text.size()) {
        std::string name;
        std::optional<std::string> value;
        while (at < text.size() && text[at] != '=' && text[at] != ';')
            name += text[at++];
        if (at < text.size() && text[at] == '=') {
            ++at;
            value.emplace();
            while (at < text.size() && text[at] != ';') {
                if (text[at] == '\\' && at + 1 < text.size())
                    ++at;
                *value += text[at++];
            }
        }
        ++at; // the ';'
        for (size_t i = 0; i < kSettingCount; ++i) {
            if (name == kSettingRules[i].name) {
                change.values[i] = std::move(value);
                change.touched[i] = true;
                break;
            }
        }
    }
    return change;
}

LONG ApplyMachineDefaultsToRegistry(const MachineDefaultsChange& change, REGSAM view) noexcept
{
    UniqueHKey key;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMachineKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE | view, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    LONG first = ERROR_SUCCESS;
    for (size_t i = 0; i < kSettingCount; ++i) {
        if (!change.touched[i])
            continue;
        LONG error;
        if (const auto& value = change.values[i]) {
            error = RegSetValueExA(key.get(), kSettingRules[i].name, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value->c_str()), static_cast<DWORD>(value->size() + 1));
        } else {
            error = RegDeleteValueA(key.get(), kSettingRules[i].name);
            if (error == ERROR_FILE_NOT_FOUND)
                error = ERROR_SUCCESS;
        }
        if (first == ERROR_SUCCESS)
            first = error;
    }
    DWORD values = 0;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        values == 0 && subkeys == 0) {
        key.reset();
        (void)RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kMachineKey, view, 0);
    }
    return first;
}

UINT PrepareMachineDefaults(MSIHANDLE install) noexcept
{
    try {
        const MsiLibrary msi;
        MachineDefaults written;
        MachineDefaults before;
        for (size_t i = 0; i < kSettingCount; ++i) {
            const std::string property = Upper(kSettingRules[i].name);
            written[i] = ReadPropertyText(msi, install, property.c_str());
            std::string had = ReadPropertyText(msi, install, ("VANTREL_MACHINE_" + property).c_str());
            if (!had.empty())
                before[i] = FromRawSearch(std::move(had));
        }
        (void)msi.SetProperty(install, kWriteMachineDefaultsAction, MachineDefaultsText(written).c_str());
        (void)msi.SetProperty(install, kWriteMachineDefaultsRollbackAction, MachineDefaultsText(before).c_str());
        (void)msi.SetProperty(install, kRemoveMachineDefaultsAction, MachineDefaultsText(MachineDefaults{}).c_str());
        (void)msi.SetProperty(install, kRemoveMachineDefaultsRollbackAction, MachineDefaultsText(before).c_str());
    } catch (...) {
        // Without data the script actions change nothing.
    }
    return ERROR_SUCCESS;
}

UINT ApplyMachineDefaults(MSIHANDLE install) noexcept
{
    try {
        const MsiLibrary msi;
        const MachineDefaultsChange change = ParseMachineDefaults(ReadPropertyText(msi, install, "CustomActionData"));
        const LONG error = ApplyMachineDefaultsToRegistry(change, KEY_WOW64_64KEY);
        if (error != ERROR_SUCCESS) {
            wchar_t line[128];
            (void)swprintf(line, 128, L"Vantrel: the machine's defaults in the 64-bit view: error %ld", error);
            (void)msi.LogLine(install, line);
        }
    } catch (...) {
    }
    return ERROR_SUCCESS;
}

} // namespace Setup
