#include "support/registry_walk.h"

#include "win32/raii.h"
#include "win32/text_convert.h"

void WalkRegistry(HKEY key, const std::string& path, const std::function<void(const std::string&)>& onKey,
                  const std::function<void(const std::string&, const RegistryValue&)>& onValue)
{
    onKey(path);
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = ARRAYSIZE(name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        RegistryValue value{std::string(), type, std::vector<BYTE>(size)};
        nameLength = ARRAYSIZE(name);
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, value.data.data(), &size) != ERROR_SUCCESS)
            break;
        value.data.resize(size);
        value.name = ToNarrow(std::wstring_view(name, nameLength), CP_UTF8);
        onValue(path, value);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::string childName = ToNarrow(std::wstring_view(name, nameLength), CP_UTF8);
        UniqueHKey child;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS)
            WalkRegistry(child.get(), path.empty() ? childName : path + "\\" + childName, onKey, onValue);
    }
}
