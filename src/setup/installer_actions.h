// The installer's custom actions: what Vantrel.dll's exports Install, PostInstall and Uninstall
// do. They run on the installer's thread, one at a time, and never throw.
//
// The package runs Install and Uninstall in several places (installer/Vantrel.wxs); each finds
// its role from where it runs. Immediate, Install deals with a running Outlook and looks at the
// Start-menu entry; inside the script, Install and Uninstall make and delete that entry, and as
// rollback actions they undo exactly what the script's other one did, as the immediate Install
// handed it to them through their CustomActionData.
#pragma once

#include <windows.h>
#include <msi.h>

#include "setup/interactive_user.h"

namespace Setup {

// How Windows Installer calls a DLL custom action: stdcall on x86. Each exported action is
// checked against it where it is defined.
using InstallerAction = UINT(WINAPI*)(MSIHANDLE install);

// The package's rollback actions, whose CustomActionData the immediate Install sets: the one
// before the elevated Install (what it will create: the parts that are missing now, and in an
// upgrade the older product's code that the shortcut there now names) and the one
// before the elevated Uninstall (what it will delete: the parts that are there now).
constexpr char kInstallRollbackAction[] = "VantrelInstallRollback";
constexpr char kUninstallRollbackAction[] = "VantrelUninstallRollback";
// The package's property that holds the product codes of the older versions an upgrade removes.
constexpr char kUpgradeDetectedProperty[] = "WIX_UPGRADE_DETECTED";

// Immediate: unless the run removes the product, closes a running Outlook after asking, when the
// installation shows full or reduced user interface and runs for an interactive user (not
// LocalSystem, not session 0); otherwise leaves it alone. Then looks at the Start-menu entry and
// sets the two rollback actions' CustomActionData. Inside the script: creates the all-users
// Start-menu folder "Vantrel" and "Uninstall.lnk" to the system folder's msiexec.exe "/x {product
// code}"; as a rollback action, only the parts its CustomActionData names (what a removal is
// about to delete). Never opens a process or shows a box inside the script. Always ERROR_SUCCESS.
UINT Install(MSIHANDLE install) noexcept;
// Starts the Outlook program file that App Paths registers (RegisteredOutlookProgram), with the
// calling process's token; a missing, relative or dangling entry starts nothing and writes one
// line to the installation's log. Always ERROR_SUCCESS.
UINT PostInstall(MSIHANDLE install) noexcept;
// Immediate: asks Outlook to close (close messages, no prompt, no waiting) when the installation
// shows full or reduced user interface and runs for an interactive user. Inside the script:
// deletes "Uninstall.lnk", then the folder if it is empty; as a rollback action, only the parts
// its CustomActionData names (what an installation created). Always ERROR_SUCCESS.
UINT Uninstall(MSIHANDLE install) noexcept;

// What Install and Uninstall ask of the system outside the Start-menu entry, so that a test can
// put stand-ins in its place.
struct ActionCalls {
    bool (*runsInScript)(MSIHANDLE install) noexcept;
    // Inside the script: whether the action runs as a rollback action.
    bool (*runsAsRollback)(MSIHANDLE install) noexcept;
    SessionFacts session;
    // Install: asks the question, then closes each OUTLOOK.EXE that the answer lets go.
    void (*quitOutlook)() noexcept;
    // Uninstall: posts close messages to each OUTLOOK.EXE's application windows.
    void (*closeOutlook)() noexcept;
};
// The calls that Install and Uninstall make from now on; null puts the system's back
// (ActionRunsInScript, MsiGetMode's rollback mode, SystemSessionFacts, QuitProcessByName and
// CloseProcessByName). The caller keeps *calls alive until it puts them back.
void UseActionCalls(const ActionCalls* calls) noexcept;

} // namespace Setup
