// Finds running processes by image name and walks their top-level windows: the walk that the
// process closer and the installer's QuitProcessByName share. Any thread; keeps no state
// between calls; never throws itself (the callbacks must not throw either).
#pragma once

#include <windows.h>

#include <functional>

// Calls onProcess, in the order EnumProcesses lists them (only the first 1024 ids), for every
// running process whose image base name equals name, case ignored on both sides in the
// process's ANSI code page. Each process is opened, not inheritable, with
// PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | extraAccess, and closed after the call. A
// process that cannot be opened or whose modules cannot be listed is passed over; one whose
// name cannot be read is compared as "unknown". PSAPI comes from the system folder only; when
// it or one of its functions is missing, nothing is called.
void ForEachProcessNamed(const char* name, DWORD extraAccess, const std::function<void(HANDLE process)>& onProcess);

// Calls onWindow for each top-level window owned by processId, in Z order from the top, while
// it answers true.
void ForEachTopLevelWindow(DWORD processId, const std::function<bool(HWND window)>& onWindow);
