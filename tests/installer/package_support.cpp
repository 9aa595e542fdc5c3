#include "installer/package_support.h"

#include <msi.h>
#include <shlobj.h>

#include <vector>

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
