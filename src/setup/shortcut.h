// Creates a shell link (.lnk) file. Runs on the calling thread, whose COM state it uses as it
// is (it does not initialise COM); never throws.
#pragma once

#include <windows.h>

// Saves a link at linkPath (ANSI code page of the thread) to target, with arguments (may be
// null), description and the target's first icon. S_OK, or the HRESULT of the first step that
// failed, with everything obtained released.
HRESULT CreateShortcut(const char* target, const char* arguments, const char* linkPath, const char* description) noexcept;
