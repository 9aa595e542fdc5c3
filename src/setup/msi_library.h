// msi.dll for the installer actions, loaded from the system folder while an action needs it,
// and the functions of it that they call. Vantrel.dll does not import msi.dll, so that an
// Outlook that loads the add-in does not load it too (a dozen more DLLs come with it, some
// megabytes of Outlook's memory). Installer's thread (any thread); never throws.
#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "com/raii.h"
#include "com/system_library.h"

class MsiLibrary {
public:
    // Loads msi.dll with LoadSystemLibrary (through loader; tests pass their own) and looks its
    // functions up. Frees it when the object goes.
    explicit MsiLibrary(LibraryLoader loader = LoadLibraryExA) noexcept;
    MsiLibrary(const MsiLibrary&) = delete;
    MsiLibrary& operator=(const MsiLibrary&) = delete;

    // MsiGetPropertyA's answer; ERROR_MOD_NOT_FOUND, with nothing written, when msi.dll or the
    // function could not be found.
    UINT GetProperty(MSIHANDLE install, const char* name, char* value, DWORD* capacity) const noexcept;

    // MsiGetMode's answer; FALSE when msi.dll or the function could not be found.
    BOOL GetMode(MSIHANDLE install, MSIRUNMODE mode) const noexcept;

private:
    using GetModeFn = BOOL(WINAPI*)(MSIHANDLE install, MSIRUNMODE mode);
    using GetPropertyFn = UINT(WINAPI*)(MSIHANDLE install, LPCSTR name, LPSTR value, LPDWORD capacity);

    UniqueModule m_module;
    GetPropertyFn m_getProperty = nullptr;
    GetModeFn m_getMode = nullptr;
};
