#include "support/policy_keys.h"

#include <cstring>

#include "win32/raii.h"
#include "settings/settings_store.h"

void DeletePolicyKeys()
{
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RegDeleteTreeA(root, kPolicyKey);
        RegDeleteKeyA(root, kPolicyKey);
    }
}

bool PolicyKeyExists(HKEY root)
{
    UniqueHKey key;
    return RegOpenKeyExA(root, kPolicyKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void SetRawPolicy(HKEY root, const char* name, DWORD type, const void* data, DWORD size)
{
    UniqueHKey key;
    if (RegCreateKeyExA(root, kPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) ==
        ERROR_SUCCESS)
        RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

void SetStringPolicy(HKEY root, const char* name, const char* text)
{
    SetRawPolicy(root, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1));
}

void SetDwordPolicy(HKEY root, const char* name, DWORD number)
{
    SetRawPolicy(root, name, REG_DWORD, &number, sizeof(number));
}

void SetPolicy(HKEY root, const char* name, PolicyType type, DWORD number)
{
    if (type == PolicyType::Dword)
        SetDwordPolicy(root, name, number);
    else
        SetStringPolicy(root, name, std::to_string(number).c_str());
}

const char* PolicyTypeName(PolicyType type)
{
    return type == PolicyType::Dword ? "REG_DWORD" : "REG_SZ";
}

const char* PolicySourceName(PolicySource source)
{
    switch (source) {
    case PolicySource::Machine:
        return "machine policy";
    case PolicySource::User:
        return "user policy";
    default:
        return "both policies";
    }
}

void EnforcePolicy(PolicySource source, const char* name, PolicyType type, DWORD number, DWORD losing)
{
    switch (source) {
    case PolicySource::Machine:
        SetPolicy(HKEY_LOCAL_MACHINE, name, type, number);
        break;
    case PolicySource::User:
        SetPolicy(HKEY_CURRENT_USER, name, type, number);
        break;
    case PolicySource::Both:
        SetPolicy(HKEY_LOCAL_MACHINE, name, type, number);
        SetPolicy(HKEY_CURRENT_USER, name, type, losing);
        break;
    }
}
