#include "win32/system_library.h"

#include <cstring>

HMODULE LoadSystemLibrary(const char* name, LibraryLoader loader) noexcept
{
    // A path would leave the system folder.
    if (!name || !*name || std::strpbrk(name, "\\/:") != nullptr)
        return nullptr;

    HMODULE module = loader(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;

    // The system folder's full path; its dependencies are then searched from that folder too.
    char path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || length + 1 + std::strlen(name) >= MAX_PATH)
        return nullptr;
    if (path[length - 1] != '\\')
        std::strcat(path, "\\");
    std::strcat(path, name);
    return loader(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
