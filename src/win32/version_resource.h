// The product version that a file's version resource carries, as text. version.dll is loaded
// from the system folder for each call. Any thread; nothing here throws.
#pragma once

#include <cstddef>

// The product version of the add-in's own module file as "%d.%d.%d.%d", into text (size
// bytes); an empty text when the module has no readable version information. No-throw.
void GetModuleVersionString(char* text, size_t size);
// The same for any file, named in UTF-16.
void GetFileProductVersionString(const wchar_t* path, char* text, size_t size);
