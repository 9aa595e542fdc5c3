#include "setup/install_inputs.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "log/profile_path.h"
#include "setup/msi_library.h"

namespace {

// A known folder's file, read and joined in UTF-16; empty when either cannot be done.
std::wstring KnownFolderFile(REFKNOWNFOLDERID folder, const wchar_t* name) noexcept
{
    try {
        return JoinPath(KnownFolder(folder), name);
    } catch (...) {
        return std::wstring();
    }
}

} // namespace

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

std::wstring VantrelStartMenuFolder() noexcept
{
    return KnownFolderFile(FOLDERID_CommonPrograms, L"Vantrel");
}

std::wstring SystemFolderFile(const wchar_t* name) noexcept
{
    return KnownFolderFile(FOLDERID_System, name);
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
