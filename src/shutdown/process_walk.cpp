#include "shutdown/process_walk.h"

#include <cstring>

#include "win32/raii.h"
#include "win32/system_library.h"

namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD* ids, DWORD bytes, DWORD* bytesFilled);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* bytesNeeded);
using GetModuleBaseNameAFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, char* name, DWORD size);

constexpr DWORD kMaxProcesses = 1024;
constexpr DWORD kNameSize = 260;
constexpr char kUnknownName[] = "unknown";

template <typename Fn>
Fn LookUp(HMODULE module, const char* name)
{
    // Through void(*)() so that the compiler accepts the change of function type.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Upper-cases in place in the process's ANSI code page, double-byte characters included.
void ToUpperAnsi(char* text)
{
    const size_t length = std::strlen(text);
    if (length > 0)
        (void)CharUpperBuffA(text, static_cast<DWORD>(length));
}

} // namespace

void ForEachProcessNamed(const char* name, DWORD extraAccess, const std::function<void(HANDLE process)>& onProcess)
{
    // A longer name than any image name can never match.
    if (!name || std::strlen(name) >= kNameSize)
        return;
    char wanted[kNameSize];
    std::strcpy(wanted, name);
    ToUpperAnsi(wanted);

    UniqueModule psapi(LoadSystemLibrary("PSAPI.DLL"));
    if (!psapi)
        return;
    const auto enumProcessModules = LookUp<EnumProcessModulesFn>(psapi.get(), "EnumProcessModules");
    const auto getModuleBaseName = LookUp<GetModuleBaseNameAFn>(psapi.get(), "GetModuleBaseNameA");
    const auto enumProcesses = LookUp<EnumProcessesFn>(psapi.get(), "EnumProcesses");
    if (!enumProcessModules || !getModuleBaseName || !enumProcesses)
        return;

    // Processes beyond the first 1024 listed are not examined.
    DWORD ids[kMaxProcesses] = {};
    DWORD bytesFilled = 0;
    if (!enumProcesses(ids, sizeof(ids), &bytesFilled) || bytesFilled == 0)
        return;
    const DWORD count = bytesFilled / sizeof(DWORD);

    for (DWORD i = 0; i < count && i < kMaxProcesses; ++i) {
        // Another user's or a protected process does not open; it is passed over.
        UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | extraAccess, FALSE, ids[i]));
        if (!process)
            continue;
        // The first module listed is the executable.
        HMODULE image = nullptr;
        DWORD needed = 0;
        if (!enumProcessModules(process.get(), &image, sizeof(image), &needed))
            continue;
        // A name that cannot be read is compared as "unknown".
        char imageName[kNameSize];
        std::strcpy(imageName, kUnknownName);
        if (getModuleBaseName(process.get(), image, imageName, kNameSize) == 0)
            std::strcpy(imageName, kUnknownName);
        imageName[kNameSize - 1] = '\0';
        ToUpperAnsi(imageName);
        if (std::strcmp(imageName, wanted) == 0)
            onProcess(process.get());
    }
}

void ForEachTopLevelWindow(DWORD processId, const std::function<bool(HWND window)>& onWindow)
{
    // FindWindowExA with no parent lists the desktop's children in Z order from the top.
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, nullptr)) != nullptr) {
        DWORD owner = 0;
        (void)GetWindowThreadProcessId(window, &owner);
        if (owner == processId && !onWindow(window))
            return;
    }
}
