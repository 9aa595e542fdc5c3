#include "setup/installer_actions.h"

namespace Setup {

UINT Install(MSIHANDLE /*install*/) noexcept
{
    return ERROR_SUCCESS;
}

UINT PostInstall(MSIHANDLE /*install*/) noexcept
{
    return ERROR_SUCCESS;
}

UINT Uninstall(MSIHANDLE /*install*/) noexcept
{
    return ERROR_SUCCESS;
}

} // namespace Setup
