#include "setup/installer_messages.h"

#include <optional>
#include <string>

#include "win32/module_instance.h"
#include "resource_ids/string_ids.h"
#include "setup/msi_library.h"

namespace Setup {

const InstallerMessage kInstallerMessages[3] = {
    {"VANTREL_MSG_NEEDS64", IDS_SETUP_NEEDS64},
    {"VANTREL_MSG_NEEDS32", IDS_SETUP_NEEDS32},
    {"VANTREL_MSG_DOWNGRADE", IDS_SETUP_DOWNGRADE},
};

UiLanguage InstallerLanguage() noexcept
{
    return ChooseUiLanguage(std::nullopt);
}

UINT SetInstallerMessages(MSIHANDLE install, UiLanguage language) noexcept
{
    const MsiLibrary msi;
    for (const InstallerMessage& message : kInstallerMessages) {
        try {
            const std::wstring text = LoadUiString(ModuleInstance(), message.stringId, language);
            if (!text.empty())
                (void)msi.SetProperty(install, message.property, text.c_str());
        } catch (...) {
        }
    }
    return ERROR_SUCCESS;
}

UINT SetInstallerMessages(MSIHANDLE install) noexcept
{
    return SetInstallerMessages(install, InstallerLanguage());
}

} // namespace Setup
