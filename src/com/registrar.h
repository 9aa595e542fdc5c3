// Runs the DLL's registry scripts (language in registry_script.h) against the registry, in
// place of ATL's registrar, which MinGW lacks. What the marks mean:
//
// Registering writes the entries in script order: a ForceRemove key is first deleted with
// everything below it, a Delete key is deleted with everything below it and nothing more,
// every other key is created or opened and gets its default value, its named values and its
// block. The first failing key or value stops the script; the root block it belongs to is
// then run once more for unregistering, ignoring errors, so that its partial entries go
// again, while the root blocks before it stay written.
//
// Unregistering deletes the named values not marked NoRemove, and each key not marked
// NoRemove once its block has been unregistered and it has no subkeys left (its values go
// with it). A value already missing is no failure; a key that is not there is passed over
// with everything below it. Any other failure, a key that cannot be opened for lack of
// rights among them, stops the script and is its result.
//
// Registration is machine-wide: the blocks of root HKCR (HKEY_CLASSES_ROOT) are written to
// and removed from HKLM\Software\Classes, never through the merged HKEY_CLASSES_ROOT view.
//
// The whole script is parsed before the registry is touched: a malformed script writes
// nothing. Text is UTF-8 and reaches the registry through the wide API.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "com/registry_script.h"

enum class RegistrarAction { Register, Unregister };

// S_OK, DISP_E_EXCEPTION for a malformed script or an unknown replacement (as ATL's
// registrar reports them), E_OUTOFMEMORY, or the registry's error. Never throws.
HRESULT RegisterScript(std::string_view script, const ReplacementMap& replacements) noexcept;
HRESULT UnregisterScript(std::string_view script, const ReplacementMap& replacements) noexcept;

// The text of resource type "REGISTRY" with the numeric id in module, as stored (no
// terminating NUL is needed in the resource). Never throws.
HRESULT LoadScriptResource(HMODULE module, UINT id, std::string* script) noexcept;

// Loads REGISTRY id from module and registers or unregisters it. Never throws.
HRESULT RunScriptResource(HMODULE module, UINT id, RegistrarAction action,
                          const ReplacementMap& replacements) noexcept;

// S_OK for ScriptStatus::Ok, DISP_E_EXCEPTION for every parse fault. Never throws.
HRESULT HResultFromScriptStatus(ScriptStatus status) noexcept;
