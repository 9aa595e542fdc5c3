// The installer's custom actions Install, PostInstall, Uninstall and InstallerMessages, exported under these plain
// names through Vantrel.def in the custom-action form: the installation handle in, a Win32 code
// out (always ERROR_SUCCESS). The work is in src/setup; nothing escapes these functions.
#include <windows.h>
#include <msi.h>

#include "setup/installer_actions.h"
#include "setup/installer_messages.h"

extern "C" UINT WINAPI Install(MSIHANDLE install) noexcept
{
    return Setup::Install(install);
}

extern "C" UINT WINAPI PostInstall(MSIHANDLE install) noexcept
{
    return Setup::PostInstall(install);
}

extern "C" UINT WINAPI Uninstall(MSIHANDLE install) noexcept
{
    return Setup::Uninstall(install);
}

extern "C" UINT WINAPI InstallerMessages(MSIHANDLE install) noexcept
{
    return Setup::SetInstallerMessages(install);
}
