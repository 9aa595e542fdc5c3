// The installer's custom actions: what Vantrel.dll's exports Install, PostInstall and Uninstall
// do. They run on the installer's thread, one at a time, and never throw.
#pragma once

#include <windows.h>
#include <msi.h>

namespace Setup {

// Closes a running Outlook after asking the user (only when the installation shows full or
// reduced user interface), then creates the all-users Start-menu folder "Vantrel" with the
// shortcut "Uninstall.lnk" to the system folder's msiexec.exe "/x {product code}". Initialises
// COM on the calling thread for the shortcut when it is not yet. Always ERROR_SUCCESS.
UINT Install(MSIHANDLE install) noexcept;
// Starts Outlook. Always ERROR_SUCCESS.
UINT PostInstall(MSIHANDLE install) noexcept;
// Asks Outlook to close without asking the user and deletes the Start-menu folder "Vantrel".
// Always ERROR_SUCCESS.
UINT Uninstall(MSIHANDLE install) noexcept;

} // namespace Setup
