// The installer's custom actions Install, PostInstall, Uninstall, InstallerMessages and the x86
// package's PrepareMachineDefaults and ApplyMachineDefaults, exported under these plain names (in
// both builds) through Vantrel.def in the custom-action form: the installation handle in, a Win32 code
// out (always ERROR_SUCCESS). The work is in src/setup; nothing escapes these functions.
#include <windows.h>
#include <msi.h>

#include <type_traits>

#include "setup/installer_actions.h"
#include "setup/installer_messages.h"
#include "setup/machine_defaults.h"

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

// The x86 package's actions for the machine's defaults in the 64-bit view.
extern "C" UINT WINAPI PrepareMachineDefaults(MSIHANDLE install) noexcept
{
    return Setup::PrepareMachineDefaults(install);
}

extern "C" UINT WINAPI ApplyMachineDefaults(MSIHANDLE install) noexcept
{
    return Setup::ApplyMachineDefaults(install);
}

static_assert(std::is_convertible_v<decltype(&Install), Setup::InstallerAction>);
static_assert(std::is_convertible_v<decltype(&PostInstall), Setup::InstallerAction>);
static_assert(std::is_convertible_v<decltype(&Uninstall), Setup::InstallerAction>);
static_assert(std::is_convertible_v<decltype(&InstallerMessages), Setup::InstallerAction>);
static_assert(std::is_convertible_v<decltype(&PrepareMachineDefaults), Setup::InstallerAction>);
static_assert(std::is_convertible_v<decltype(&ApplyMachineDefaults), Setup::InstallerAction>);
