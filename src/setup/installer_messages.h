// The installer package's own messages in the user's language: its launch conditions show
// "[VANTREL_MSG_NEEDS64]", "[VANTREL_MSG_NEEDS32]" and "[VANTREL_MSG_DOWNGRADE]", and an immediate
// action run before LaunchConditions in both sequences (Vantrel.dll's export InstallerMessages)
// sets those properties from the DLL's UTF-16 string table. The package's own tables hold only
// the English texts, in ASCII, as the properties' defaults: Windows Installer packages keep
// their tables in one code page, and non-ASCII text there can be lost. Installer's thread;
// nothing here throws.
#pragma once

#include <windows.h>
#include <msi.h>

#include "win32/ui_language.h"

namespace Setup {

struct InstallerMessage {
    const char* property;
    UINT stringId;
};
extern const InstallerMessage kInstallerMessages[3];

// The language of the installer's texts: the add-in's rule (win32/ui_language.h) applied to
// Windows' user UI language (UseWindowsLanguageSource; Office's own cannot be asked here), as
// for the close prompt.
UiLanguage InstallerLanguage() noexcept;

// Sets each message property to its text in the language (English where a text is missing).
// Always ERROR_SUCCESS: a property left unset keeps the package's English default.
UINT SetInstallerMessages(MSIHANDLE install, UiLanguage language) noexcept;
UINT SetInstallerMessages(MSIHANDLE install) noexcept;

} // namespace Setup
