// The installer's custom actions: what Vantrel.dll's exports Install, PostInstall and Uninstall
// do. They run on the installer's thread, one at a time, and never throw.
#pragma once

#include <windows.h>
#include <msi.h>
#include <shellapi.h>

namespace Setup {

// Closes a running Outlook after asking the user (only when the installation shows full or
// reduced user interface and the action does not run inside the script), then creates the all-users Start-menu folder "Vantrel" with the
// shortcut "Uninstall.lnk" to the system folder's msiexec.exe "/x {product code}". Initialises
// COM on the calling thread for the shortcut when it is not yet. Always ERROR_SUCCESS.
UINT Install(MSIHANDLE install) noexcept;
// Starts Outlook. Always ERROR_SUCCESS.
UINT PostInstall(MSIHANDLE install) noexcept;
// Deletes the Start-menu folder "Vantrel". When the installation shows full or reduced user
// interface and the action does not run inside the script, it first asks Outlook to close
// (without asking the user), and a failed delete may show the shell's error box; otherwise it
// opens no process and shows no box. Always ERROR_SUCCESS.
UINT Uninstall(MSIHANDLE install) noexcept;

// What Uninstall asks of the system, so that a test can put stand-ins in its place.
struct UninstallCalls {
    bool (*runsInScript)(MSIHANDLE install) noexcept;
    void (*closeOutlook)() noexcept;
    int(WINAPI* deleteFolder)(LPSHFILEOPSTRUCTA operation);
};
// The calls the exported Uninstall makes: ActionRunsInScript, posting close messages to each
// OUTLOOK.EXE's application windows, SHFileOperationA.
UninstallCalls SystemUninstallCalls() noexcept;
UINT Uninstall(MSIHANDLE install, const UninstallCalls& calls) noexcept;

} // namespace Setup
