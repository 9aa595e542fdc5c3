#include "log/info_dialog.h"

#include <windows.h>

#include "log/log_file.h"

int InfoDialog(const char* text) noexcept
{
    LogMessage(0, "Global<InfoDialog> ==> %s", text);
    return MessageBoxA(GetDesktopWindow(), text, "Vantrel", MB_OK);
}
