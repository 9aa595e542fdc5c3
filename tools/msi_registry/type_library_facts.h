// The facts of a type library that its registration writes, read from the library's IDL source:
// the library's LIBID, version, locale and help string, and its automation interfaces. Runs in
// the build-time generator (native, single thread). Throws std::bad_alloc, and std::runtime_error
// for a source without a library block or with attributes it cannot read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TypeLibraryInterface {
    std::string name;
    std::string iid; // upper case, in braces
};

struct TypeLibraryFacts {
    std::string libid;      // upper case, in braces
    std::string version;    // "major.minor"
    std::string lcid;       // decimal, "0" when not given
    std::string helpString; // empty when not given
    // Interfaces marked dual or oleautomation, in source order: RegisterTypeLib enters these
    // for the automation marshaler.
    std::vector<TypeLibraryInterface> automationInterfaces;
};

// Scans the IDL text: attribute lists ("[ ... ]") and the declaration after each.
TypeLibraryFacts ReadTypeLibraryFacts(std::string_view idl);
