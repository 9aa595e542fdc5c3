// The steps of a COM server's self-registration: running one of the module's registry scripts
// with the module's replacements, and registering or unregistering its type library.
#pragma once

#include <windows.h>

#include <string>

#include "com/registrar.h"

// The module's full path in UTF-16, as GetModuleFileNameW gives it, in at most MAX_PATH - 1
// characters: the last error for a failure, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) for a
// path that fills the whole buffer. UTF-16 because the ANSI code page may not carry every
// folder name (a Cyrillic folder on a Western machine would turn into '?'). Never throws.
HRESULT GetModulePath(HMODULE module, std::wstring* path) noexcept;

// The GUID in braces, upper-case hexadecimal. Throws std::bad_alloc.
std::string GuidText(const GUID& guid);

// Runs REGISTRY script id of module for registering or unregistering with these replacements:
// the extra one when a name is given, "APPID" (appId in braces), and "Module" and "Module_Raw"
// (the module's path, carried in UTF-8 to the registrar, with each single quote doubled for use
// inside quoted script strings), and "ModuleFolder" (its folder, ending in a backslash, in the
// same form). Never throws.
HRESULT RunModuleScript(HMODULE module, UINT id, RegistrarAction action, const GUID& appId,
                        const char* extraName, const char* extraText) noexcept;

// Loads the type library from the module's file (resource TYPELIB 1), or else from the file of
// the same name with the extension ".tlb", and enters it with RegisterTypeLib; the help folder
// is that of the library's help file, when it names one. Never throws.
HRESULT RegisterModuleTypeLibrary(HMODULE module) noexcept;

// Loads the type library the same way and removes it with UnRegisterTypeLib for its LIBID,
// version, locale and system kind. A library that is not registered is no failure, like a
// missing key: unregistration goes on to the add-in key after it. Never throws.
HRESULT UnregisterModuleTypeLibrary(HMODULE module) noexcept;

// Sets the calling thread's locale to LOCALE_SYSTEM_DEFAULT for the scope and puts the earlier
// one back at its end, so that registration does not depend on the caller's thread locale.
class SystemThreadLocaleScope {
public:
    SystemThreadLocaleScope() noexcept : m_saved(GetThreadLocale())
    {
        (void)SetThreadLocale(LOCALE_SYSTEM_DEFAULT); // on failure the caller's locale stays, no worse
    }
    ~SystemThreadLocaleScope() { (void)SetThreadLocale(m_saved); }
    SystemThreadLocaleScope(const SystemThreadLocaleScope&) = delete;
    SystemThreadLocaleScope& operator=(const SystemThreadLocaleScope&) = delete;

private:
    LCID m_saved;
};
