#include "log/info_dialog.h"

#include <new>
#include <string>

#include "win32/module_instance.h"
#include "win32/text_convert.h"
#include "win32/ui_language.h"
#include "log/log_file.h"

int InfoDialog(const char* text) noexcept
{
    LogMessage(0, "Global<InfoDialog> ==> %s", text);
    return MessageBoxA(GetDesktopWindow(), text, "Vantrel", MB_OK);
}

int InfoDialog(UINT textId) noexcept
{
    try {
        const std::wstring english = LoadUiString(ModuleInstance(), textId, UiLanguage::English);
        LogMessage(0, "Global<InfoDialog> ==> %s", ToNarrow(english, CP_ACP).c_str());
        const std::wstring shown = LoadUiString(ModuleInstance(), textId);
        return MessageBoxW(GetDesktopWindow(), shown.c_str(), L"Vantrel", MB_OK);
    } catch (const std::bad_alloc&) {
        return 0; // nothing to show without memory for the text
    }
}
