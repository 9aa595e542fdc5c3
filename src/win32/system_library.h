// Loads a DLL from the system folder only, never from the application's or the current folder,
// where a planted DLL of the same name would otherwise be loaded into Outlook's or the
// installer's process. Any thread; never throws.
#pragma once

#include <windows.h>

// The loader LoadSystemLibrary calls (LoadLibraryExA; tests pass their own).
using LibraryLoader = HMODULE(WINAPI*)(LPCSTR name, HANDLE reserved, DWORD flags);

// Loads the DLL name (a bare file name such as "PSAPI.DLL") with LOAD_LIBRARY_SEARCH_SYSTEM32.
// A Windows 7 without update KB2533623 does not know that flag and answers
// ERROR_INVALID_PARAMETER: then the DLL is loaded by its full path in the system folder. Any
// other failure, or a name that is not a bare file name, gives null. The caller frees the module.
HMODULE LoadSystemLibrary(const char* name, LibraryLoader loader = LoadLibraryExA) noexcept;
