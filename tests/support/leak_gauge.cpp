#include "support/leak_gauge.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <set>

#include "win32/raii.h"

namespace {

// The PEB keeps the address of the shared GDI handle table; Windows and Wine both fill it. In a
// 64-bit process it sits at offset 0xF8 and each entry is 24 bytes: kernel pointer (8), owner
// process id (2), count (2), upper (2), type (2), user pointer (8). In a 32-bit process it sits
// at 0x94; Windows' entries are then 16 bytes (the two pointers of 4), Wine's stay 24 (its
// 32-bit and 64-bit sides share one table). A freed entry keeps its upper bits and loses its type.
constexpr int kGdiTableEntries = 65536;
struct GdiTableLayout {
    size_t pebOffset;
    size_t entrySize;
    size_t ownerOffset;
    size_t typeOffset;
};

GdiTableLayout GdiTable()
{
    if (sizeof(void*) == 8)
        return {0xF8, 24, 8, 14};
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool wine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return wine ? GdiTableLayout{0x94, 24, 8, 14} : GdiTableLayout{0x94, 16, 4, 10};
}

// Distinct windows: a window reached twice is counted once. In one test process under Wine
// every window came out counted twice, as if both searches below had listed the same windows.
struct WindowSet {
    DWORD process;
    std::set<HWND> windows;
};

BOOL CALLBACK CountChild(HWND window, LPARAM context) noexcept
{
    auto* found = reinterpret_cast<WindowSet*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->process) {
        try {
            found->windows.insert(window);
        } catch (...) {
            return FALSE; // out of memory: the count comes out short, and the check fails
        }
    }
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) noexcept
{
    auto* found = reinterpret_cast<WindowSet*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->process) {
        if (!CountChild(window, context))
            return FALSE;
        EnumChildWindows(window, CountChild, context);
    }
    return TRUE;
}

} // namespace

bool ResourceCounts::operator==(const ResourceCounts& other) const
{
    return handles == other.handles && gdiObjects == other.gdiObjects && userObjects == other.userObjects;
}

std::string ResourceCounts::Describe() const
{
    char text[128];
    std::snprintf(text, sizeof(text), "handles %d, GDI %d, USER %d", handles, gdiObjects, userObjects);
    return text;
}

int CountOpenHandles()
{
    int count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

int CountGdiObjects()
{
    // GCC 12 takes MinGW's inline read of the gs segment for an out-of-bounds array access.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    const auto* peb = reinterpret_cast<const BYTE*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#pragma GCC diagnostic pop
    const GdiTableLayout layout = GdiTable();
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + layout.pebOffset);
    if (!table)
        return 0;
    // Wine leaves the owner 0; Windows writes the process id (its low 16 bits).
    const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
    int count = 0;
    for (int i = 0; i < kGdiTableEntries; ++i) {
        const BYTE* entry = table + i * layout.entrySize;
        USHORT owner = *reinterpret_cast<const USHORT*>(entry + layout.ownerOffset);
        USHORT type = *reinterpret_cast<const USHORT*>(entry + layout.typeOffset);
        if (type != 0 && (owner == self || owner == 0))
            ++count;
    }
    return count;
}

int CountUserObjects()
{
    WindowSet found{GetCurrentProcessId(), {}};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&found));
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr))
        CountTopLevel(window, reinterpret_cast<LPARAM>(&found));
    return static_cast<int>(found.windows.size());
}

int CountThreads()
{
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == self)
            ++count;
    }
    return count;
}

ResourceCounts CountResources()
{
    // Windows first: the process's first window search sets up its user-interface state (keys,
    // stock objects), which the other two counts must see in place from the first call on.
    ResourceCounts counts;
    counts.userObjects = CountUserObjects();
    counts.handles = CountOpenHandles();
    counts.gdiObjects = CountGdiObjects();
    return counts;
}
