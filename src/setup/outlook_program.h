// Where Outlook's program file is, as Office registers it: the default value of
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\OUTLOOK.EXE in the 64-bit view.
// Installer's thread (any thread); never throws.
#pragma once

#include <string>

// The registered path when it names an absolute path to an existing file (surrounding double
// quotes removed, environment strings of a REG_EXPAND_SZ expanded); empty when the entry is
// missing, not a string, relative or dangling. A bare name is never returned: started by name,
// Windows would look for it in the program's folder, the current folder and every PATH folder
// first.
std::wstring RegisteredOutlookProgram() noexcept;

// The same check on a value's text: the unquoted path when it names an existing file by an
// absolute path, else empty.
std::wstring ExistingAbsoluteFile(std::wstring text) noexcept;
