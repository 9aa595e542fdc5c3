#include "installer/package_support.h"

#include <msi.h>
#include <shlobj.h>

#include <vector>

#include "win32/raii.h"
#include "support/test_support.h"

std::string BuildFilePath(const std::string& name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of('\\')); // bin
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + name;
}

std::string PackagePath()
{
    return BuildFilePath(VANTREL_PACKAGE_NAME);
}

std::string PreviousPackagePath()
{
    return BuildFilePath(std::string("previous\\") + VANTREL_PREVIOUS_PACKAGE_NAME);
}

std::string SameVersionPackagePath()
{
    return BuildFilePath(std::string("same_version\\") + VANTREL_PACKAGE_NAME);
}

std::string FailingPackagePath()
{
    return BuildFilePath(std::string("failing\\") + VANTREL_PACKAGE_NAME);
}

std::string TestFailuresPackagePath()
{
    return BuildFilePath(std::string("test_failures\\") + VANTREL_PACKAGE_NAME);
}

DWORD RunMsiexec(const std::string& arguments, std::vector<ShownBox>* boxes)
{
    const StartedProcess msiexec = StartDetachedProcess("msiexec.exe " + arguments);
    if (!msiexec.process)
        return ~0u;
    ChildBoxAnswerer answerer(boxes ? msiexec.process.get() : nullptr, {IDOK});
    DWORD exitCode = ~0u;
    if (WaitForSingleObject(msiexec.process.get(), 90000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(msiexec.process.get(), &exitCode)) {
        TerminateProcess(msiexec.process.get(), 1);
        exitCode = ~0u;
    }
    if (boxes)
        *boxes = answerer.Boxes();
    return exitCode;
}

std::vector<std::string> InstalledProducts()
{
    std::vector<std::string> products;
    char code[39] = {};
    for (DWORD index = 0; MsiEnumRelatedProductsA(VANTREL_UPGRADE_CODE, 0, index, code) == ERROR_SUCCESS; ++index)
        products.push_back(code);
    return products;
}

void RemoveInstalledProducts()
{
    for (const std::string& product : InstalledProducts())
        (void)RunMsiexec("/x " + product + " /qn"); // what stays shows in the test that follows
}

std::string InstalledFolder()
{
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
    return std::string(folder) + "\\Vantrel";
}

std::string InstalledDllPath()
{
    return InstalledFolder() + "\\Vantrel.dll";
}

std::string StartMenuFolder()
{
    char folder[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::string(folder) + "\\Vantrel";
}

std::string UninstallShortcutPath()
{
    return StartMenuFolder() + "\\Uninstall.lnk";
}

std::string FileVersionText(const std::string& path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return {};
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info)
        return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

std::string MachineDefault(const char* name)
{
    DWORD type = 0;
    std::string data;
    if (!GetRawSetting(HKEY_LOCAL_MACHINE, name, &type, &data))
        return "(missing)";
    if (type != REG_SZ)
        return "(type " + std::to_string(type) + ")";
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data;
}

namespace {

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenames[] = "PendingFileRenameOperations";

bool InFolder(const std::string& entry, const std::string& folder)
{
    const std::string prefixed = "\\??\\" + folder + "\\";
    return _strnicmp(entry.c_str(), prefixed.c_str(), prefixed.size()) == 0;
}

} // namespace

std::vector<std::pair<std::string, std::string>> PendingFileRenames()
{
    std::vector<std::pair<std::string, std::string>> pairs;
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return pairs;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), kPendingRenames, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return pairs;
    std::vector<char> data(size + 2, '\0');
    if (RegQueryValueExA(key.get(), kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
        return pairs;
    // Strings one after the other, each ended by a zero; an empty "to" is a zero of its own.
    std::vector<std::string> strings;
    for (size_t at = 0; at < size;) {
        const std::string text(data.data() + at);
        strings.push_back(text);
        at += text.size() + 1;
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2)
        pairs.emplace_back(strings[i], strings[i + 1]);
    return pairs;
}

void ForgetPendingFileRenamesIn(const std::string& folder)
{
    std::string kept;
    bool dropped = false;
    for (const auto& pair : PendingFileRenames()) {
        if (InFolder(pair.first, folder) || InFolder(pair.second, folder)) {
            dropped = true;
            continue;
        }
        kept += pair.first + '\0' + pair.second + '\0';
    }
    if (!dropped)
        return;
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return; // what stays shows in the test that follows
    if (kept.empty()) {
        (void)RegDeleteValueA(key.get(), kPendingRenames);
        return;
    }
    kept += '\0';
    (void)RegSetValueExA(key.get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                         static_cast<DWORD>(kept.size()));
}
