// What the installer actions work out before they act: whether the installation can show a
// dialog, the folders and files they use, the uninstall shortcut's argument text. Installer's
// thread (any thread); never throws.
#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

// True when the installation's "UILevel" reads as full (5) or reduced (4) user interface, the
// levels at which a custom action may show a dialog. A basic or silent installation, any other
// text, or a failed read gives false: nobody may be there to answer.
bool InstallationShowsDialogs(MSIHANDLE install) noexcept;
// The same decision on the property's text.
bool IsDialogUiLevel(const char* uiLevel) noexcept;

// True when the action runs inside the installation's script (deferred, rollback or commit):
// in the installer's server, as LocalSystem in session 0 when not impersonated, where no user
// can answer a dialog and no user's window is within reach. False for an immediate action and
// for a handle that is not an installation's.
bool ActionRunsInScript(MSIHANDLE install) noexcept;

// The all-users Start-menu programs folder (not created) joined with "Vantrel", in UTF-16; empty
// when it cannot be named, so that no caller creates or deletes a folder elsewhere.
std::wstring VantrelStartMenuFolder() noexcept;

// The system folder's file `name` (e.g. L"msiexec.exe") as a full UTF-16 path; empty when it
// cannot be named.
std::wstring SystemFolderFile(const wchar_t* name) noexcept;

// "/x " followed by productCode. False when the text would not fit in the buffer (a product
// code longer than 256 characters): a cut-off code would make a shortcut that removes nothing.
bool UninstallArguments(const char* productCode, char (&arguments)[MAX_PATH]) noexcept;
