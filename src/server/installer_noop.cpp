// The installer's Commit and Rollback custom actions, which have nothing to do. Vantrel.def
// exports this one function under both names the package calls. Windows Installer calls every
// DLL action as UINT WINAPI (MSIHANDLE); on x86 a cdecl function would leave the caller's
// stack unbalanced, which the check below refuses to build.
#include <windows.h>
#include <msi.h>

#include <type_traits>

#include "setup/installer_actions.h"

extern "C" UINT WINAPI InstallerNoop(MSIHANDLE /*install*/) noexcept
{
    return ERROR_SUCCESS;
}
static_assert(std::is_convertible_v<decltype(&InstallerNoop), Setup::InstallerAction>);
