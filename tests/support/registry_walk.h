// Walks a registry key and everything below it, for tests that compare whole trees.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct RegistryValue {
    std::string name; // UTF-8; empty for the key's default value
    DWORD type;
    std::vector<BYTE> data;
};

// Depth first: onKey(path) for `key` itself, then onValue for each of its values, then the
// same for each subkey, whose path is `path` joined with its name by a backslash (just its
// name when `path` is empty).
void WalkRegistry(HKEY key, const std::string& path, const std::function<void(const std::string&)>& onKey,
                  const std::function<void(const std::string&, const RegistryValue&)>& onValue);
