// Creates a shell link (.lnk) file. Runs on the calling thread, whose COM state it uses as it
// is (it does not initialise COM); never throws.
#pragma once

#include <windows.h>

// Saves a link at linkPath (a full UTF-16 path) to target, with arguments (may be
// null), description and the target's first icon. S_OK, or the HRESULT of the first step that
// failed, with everything obtained released.
HRESULT CreateShortcut(const wchar_t* target, const wchar_t* arguments, const wchar_t* linkPath,
                       const wchar_t* description) noexcept;
