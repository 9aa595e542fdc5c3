// Chooses the language of the add-in's texts when Outlook connects it: Office's user-interface
// language, or Windows' user UI language when Office's cannot be read. Runs on Outlook's thread;
// never throws, and a failure changes nothing but the language.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "win32/ui_language.h"

// Reads Office's language through `application` (null included), logs a failing read, and sets
// the process's language; Windows' (UseWindowsLanguageSource) is asked only when Office did not
// answer. Returns the language set.
UiLanguage ChooseAddinLanguage(IDispatch* application) noexcept;
