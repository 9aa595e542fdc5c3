#include "shutdown/process_closer.h"

#include <cstring>

#include "com/raii.h"

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

// The top-level windows of processId, in Z order from the top, each get WM_CLOSE and WM_QUIT
// at its topmost child. A window without children gives a null target: the platform then
// posts to the calling thread's own queue.
void PostCloseToWindows(DWORD processId, bool appWindowsOnly)
{
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, nullptr)) != nullptr) {
        DWORD owner = 0;
        (void)GetWindowThreadProcessId(window, &owner);
        if (owner != processId)
            continue;
        if (appWindowsOnly && (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0)
            return;
        // Posting only, so that a process whose threads do not answer (or are waiting for
        // ours) cannot hold us up. The child is looked up again for the second message.
        (void)PostMessageA(GetTopWindow(window), WM_CLOSE, 0, 0);
        (void)PostMessageA(GetTopWindow(window), WM_QUIT, 0, 0);
    }
}

} // namespace

void CloseProcessByName(const char* name, bool appWindowsOnly) noexcept
{
    // A longer name than any image name can never match.
    if (!name || std::strlen(name) >= kNameSize)
        return;
    char wanted[kNameSize];
    std::strcpy(wanted, name);
    ToUpperAnsi(wanted);

    // From the system folder only: a bare name would search the application's folder first
    // (Outlook's, the installer's), where a planted PSAPI.DLL would be loaded into that process.
    UniqueModule psapi(LoadLibraryExA("PSAPI.DLL", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
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
        UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
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
        if (std::strcmp(imageName, wanted) != 0)
            continue;
        PostCloseToWindows(GetProcessId(process.get()), appWindowsOnly);
    }
}

bool KillProcess(DWORD processId, DWORD exitCode) noexcept
{
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
    if (!process)
        return false;
    return TerminateProcess(process.get(), exitCode) != FALSE;
}
