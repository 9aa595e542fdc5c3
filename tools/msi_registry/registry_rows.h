// Registry-table rows of the installer package, made from the DLL's registry scripts and its
// type library's facts, and written as the WiX elements that wixl turns into Registry rows.
// Runs in the build-time generator (native, single thread). Functions throw std::bad_alloc and,
// for input they cannot represent, std::runtime_error with a message for the build log.
#pragma once

#include <string>
#include <vector>

#include "com/registry_script.h"
#include "type_library_facts.h"

// One Registry row. name is empty for the key's default value; "*" marks a key that the
// installer creates and deletes at removal with everything below it. value is already in the
// installer's formatted-text syntax; dword rows hold decimal digits.
struct RegistryRow {
    enum class Root { ClassesRoot, LocalMachine };
    enum class Type { String, Dword, KeyOnly };
    Root root = Root::ClassesRoot;
    std::string key;
    std::string name;
    Type type = Type::String;
    std::string value;
    // A ForceRemove key: deleted with everything below it before the rows are written.
    bool deleteOnInstall = false;
};

// Literal text for a formatted column: '[' and ']' escaped, so that only the references put in
// by the caller are resolved by the installer.
std::string FormattedLiteral(const std::string& text);

// Appends the rows that give the registry what the script writes at registration, in script
// order. A ForceRemove or unmarked key that holds no value of its own gets a "*" row, so that
// removal deletes it as unregistration does; NoRemove keys get no row of their own and stay.
// The texts of the script must already carry formatted-text references where wanted (the
// caller's replacements); everything else is escaped with FormattedLiteral.
void AppendScriptRows(const RegistryScript& script, std::vector<RegistryRow>* rows);

// Appends the rows that RegisterTypeLib writes for the library loaded from modulePath (a
// formatted reference), with helpFolder as its help folder: the library's version key with its
// help string, the path for its locale under the key of its system kind (systemKind: "win32"
// for an x86 DLL, "win64" for an x64 one), FLAGS and HELPDIR, and each automation interface for
// the automation marshaler.
void AppendTypeLibraryRows(const TypeLibraryFacts& library, const std::string& modulePath,
                           const std::string& helpFolder, const std::string& systemKind,
                           std::vector<RegistryRow>* rows);

// The rows as a WiX include file: one RegistryValue element per row.
std::string WixInclude(const std::vector<RegistryRow>& rows, const std::string& comment);

// The RemoveRegistry table in the installer's text archive form (msibuild -i): a "-" row, which
// deletes the key with everything below it at installation, for each row marked
// deleteOnInstall, all of them belonging to component.
std::string RemoveRegistryTable(const std::vector<RegistryRow>& rows, const std::string& component);
