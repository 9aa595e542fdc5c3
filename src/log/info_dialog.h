// The one way a failure reaches the user: logged, then shown in a modal box "Vantrel". Runs on
// the calling thread (Outlook's); never throws.
#pragma once

#include <windows.h>

int InfoDialog(const char* text) noexcept;
// A message of the string table (IDS_INFO_*): the log line has its English text, the box shows
// it in the add-in's language, in UTF-16 whatever the ANSI code page.
int InfoDialog(UINT textId) noexcept;
