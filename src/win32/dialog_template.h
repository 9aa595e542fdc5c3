// The size of a dialog template on the screen, read from the template itself (the dialog
// manager has no call that answers it without making the window). Runs on any thread; no-throw.
#pragma once

#include <windows.h>

// The size of a dialog template in HIMETRIC units on the screen: its dialog units turned into
// pixels with the base units of the template's font, then into HIMETRIC. {0, 0} when the
// template cannot be found. No-throw.
SIZEL DialogTemplateExtent(HINSTANCE instance, WORD dialogId);
