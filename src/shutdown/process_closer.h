// Asks processes to close by posting to their windows, and ends one process by its id.
// Both keep no state between calls and may run on any thread.
#pragma once

#include <windows.h>

// Posts WM_CLOSE then WM_QUIT to the topmost child of each top-level window of every running
// process whose image base name equals name (case ignored, ANSI code page); a window without a
// child gets nothing. With appWindowsOnly, a process's windows are taken in Z order only up to
// its first one without WS_EX_APPWINDOW.
// Only posts: never waits for a process and never ends one. Failures are passed over. Never throws.
void CloseProcessByName(const char* name, bool appWindowsOnly) noexcept;

// As CloseProcessByName, for the processes named name that show no visible top-level window:
// the close is meant for a program left running in the background. One the user sees may hold
// unsaved work, and its WM_CLOSE would bring up a prompt that the WM_QUIT behind it ends, with
// the program and the work: it is left alone, and onLeftOpen (may be null) hears its id.
// Never throws; onLeftOpen must not throw either.
void CloseBackgroundProcessByName(const char* name, bool appWindowsOnly, void (*onLeftOpen)(DWORD processId)) noexcept;

// Terminates the process with exitCode; true when it was terminated (for the caller's own
// process a success does not return). The caller's own process is ended through its
// pseudo-handle, which needs no opening and so no access right. False when the process cannot
// be opened or has ended, or when the caller's own process was not ended, with the error in
// GetLastError (ERROR_GEN_FAILURE when the termination gave none). Never throws.
bool KillProcess(DWORD processId, DWORD exitCode) noexcept;

// The call that ends a process: TerminateProcess, or a test's stand-in.
using ProcessTerminator = BOOL(WINAPI*)(HANDLE process, UINT exitCode);

// The terminator KillProcess uses from now on; null puts TerminateProcess back. Not while a
// worker may be ending its process. Never throws.
void UseProcessTerminator(ProcessTerminator terminator) noexcept;
