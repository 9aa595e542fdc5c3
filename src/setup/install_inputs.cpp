#include "setup/install_inputs.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>

#include "setup/msi_library.h"

bool IsDialogUiLevel(const char* uiLevel) noexcept
{
    return uiLevel && (std::strcmp(uiLevel, "4") == 0 || std::strcmp(uiLevel, "5") == 0);
}

bool InstallationShowsDialogs(MSIHANDLE install) noexcept
{
    char level[16] = {};
    DWORD capacity = sizeof(level);
    if (MsiLibrary().GetProperty(install, "UILevel", level, &capacity) != ERROR_SUCCESS)
        return false;
    return IsDialogUiLevel(level);
}

bool ActionRunsInScript(MSIHANDLE install) noexcept
{
    const MsiLibrary msi;
    return msi.GetMode(install, MSIRUNMODE_SCHEDULED) || msi.GetMode(install, MSIRUNMODE_ROLLBACK) ||
           msi.GetMode(install, MSIRUNMODE_COMMIT);
}

bool AppendToFullPath(char (&path)[MAX_PATH], const char* part) noexcept
{
    if (!part || path[0] == '\0' || PathIsRelativeA(path))
        return false;
    char joined[MAX_PATH];
    std::memcpy(joined, path, sizeof(joined));
    if (!PathAppendA(joined, part))
        return false;
    std::memcpy(path, joined, sizeof(joined));
    return true;
}

bool VantrelStartMenuFolder(char (&folder)[MAX_PATH]) noexcept
{
    char programs[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE) || !AppendToFullPath(programs, "Vantrel"))
        return false;
    std::memcpy(folder, programs, sizeof(programs));
    return true;
}

bool SystemFolderFile(const char* name, char (&path)[MAX_PATH]) noexcept
{
    char system[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, system, CSIDL_SYSTEM, FALSE) || !AppendToFullPath(system, name))
        return false;
    std::memcpy(path, system, sizeof(system));
    return true;
}

bool UninstallArguments(const char* productCode, char (&arguments)[MAX_PATH]) noexcept
{
    const int length = std::snprintf(arguments, sizeof(arguments), "/x %s", productCode ? productCode : "");
    if (length < 0 || static_cast<size_t>(length) >= sizeof(arguments)) {
        arguments[0] = '\0';
        return false;
    }
    return true;
}
