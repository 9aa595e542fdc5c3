// msi.dll for the installer actions, loaded from the system folder while an action needs it,
// and the functions of it that they call. Vantrel.dll does not import msi.dll, so that an
// Outlook that loads the add-in does not load it too (a dozen more DLLs come with it, some
// megabytes of Outlook's memory). Installer's thread (any thread); never throws.
#pragma once

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "win32/raii.h"
#include "win32/system_library.h"

class MsiLibrary {
public:
    // Loads msi.dll with LoadSystemLibrary (through the loader that UseMsiLibraryLoader set) and
    // looks its functions up. Frees it when the object goes.
    MsiLibrary() noexcept;
    MsiLibrary(const MsiLibrary&) = delete;
    MsiLibrary& operator=(const MsiLibrary&) = delete;

    // MsiGetPropertyA's answer; ERROR_MOD_NOT_FOUND, with nothing written, when msi.dll or the
    // function could not be found.
    UINT GetProperty(MSIHANDLE install, const char* name, char* value, DWORD* capacity) const noexcept;

    // MsiSetPropertyA's answer; ERROR_MOD_NOT_FOUND when msi.dll or the function could not be
    // found.
    UINT SetProperty(MSIHANDLE install, const char* name, const char* value) const noexcept;

    // MsiSetPropertyW's answer (for texts beyond ASCII); ERROR_MOD_NOT_FOUND when msi.dll or the
    // function could not be found.
    UINT SetProperty(MSIHANDLE install, const char* name, const wchar_t* value) const noexcept;

    // MsiGetMode's answer; FALSE when msi.dll or the function could not be found.
    BOOL GetMode(MSIHANDLE install, MSIRUNMODE mode) const noexcept;

    // Writes text as one informational line into the installation's log (a record whose field
    // 0 is the text, passed to MsiProcessMessage). False when it could not be handed over.
    bool LogLine(MSIHANDLE install, const wchar_t* text) const noexcept;

private:
    using GetModeFn = BOOL(WINAPI*)(MSIHANDLE install, MSIRUNMODE mode);
    using GetPropertyFn = UINT(WINAPI*)(MSIHANDLE install, LPCSTR name, LPSTR value, LPDWORD capacity);
    using SetPropertyFn = UINT(WINAPI*)(MSIHANDLE install, LPCSTR name, LPCSTR value);
    using SetPropertyWFn = UINT(WINAPI*)(MSIHANDLE install, LPCWSTR name, LPCWSTR value);
    using CreateRecordFn = MSIHANDLE(WINAPI*)(UINT fields);
    using RecordSetStringFn = UINT(WINAPI*)(MSIHANDLE record, UINT field, LPCWSTR value);
    using ProcessMessageFn = int(WINAPI*)(MSIHANDLE install, INSTALLMESSAGE type, MSIHANDLE record);
    using CloseHandleFn = UINT(WINAPI*)(MSIHANDLE handle);

    UniqueModule m_module;
    GetPropertyFn m_getProperty = nullptr;
    GetModeFn m_getMode = nullptr;
    SetPropertyFn m_setProperty = nullptr;
    SetPropertyWFn m_setPropertyW = nullptr;
    CreateRecordFn m_createRecord = nullptr;
    RecordSetStringFn m_recordSetString = nullptr;
    ProcessMessageFn m_processMessage = nullptr;
    CloseHandleFn m_closeHandle = nullptr;
};

// The loader through which every MsiLibrary made from now on loads msi.dll (tests stand in for a
// machine without it); null puts LoadLibraryExA back.
void UseMsiLibraryLoader(LibraryLoader loader) noexcept;
