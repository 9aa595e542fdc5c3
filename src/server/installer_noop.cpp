// The installer's Commit and Rollback custom actions, which have nothing to do. Vantrel.def
// exports this one function under both decorated names.
#include <windows.h>

extern "C" DWORD InstallerNoop(DWORD /*hInstall*/) noexcept
{
    return ERROR_SUCCESS;
}
