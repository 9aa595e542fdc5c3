// The installer's custom actions: what Vantrel.dll's exports Install, PostInstall and Uninstall
// do. They run on the installer's thread, one at a time, and never throw.
#pragma once

#include <windows.h>
#include <msi.h>

namespace Setup {

// Closes a running Outlook after asking the user, then creates the Start-menu folder "Vantrel"
// with the uninstall shortcut. Always ERROR_SUCCESS.
UINT Install(MSIHANDLE install) noexcept;
// Starts Outlook. Always ERROR_SUCCESS.
UINT PostInstall(MSIHANDLE install) noexcept;
// Asks Outlook to close without asking the user and deletes the Start-menu folder "Vantrel".
// Always ERROR_SUCCESS.
UINT Uninstall(MSIHANDLE install) noexcept;

} // namespace Setup
