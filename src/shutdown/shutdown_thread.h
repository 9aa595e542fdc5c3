// The shutdown worker: makes Outlook end once the add-in has decided that it should. Runs on a
// thread of its own, which its owner starts and waits for (shutdown_owner.h).
#pragma once

#include <windows.h>

// Thread routine; the parameter is a ShutdownStart made with new, which the routine owns and
// deletes. Returns 0. No-throw.
DWORD WINAPI ShutdownThread(LPVOID parameter) noexcept;

// True once a worker of this process has installed the crash record's filter as its own: the
// module leaves that registration in place at unload. Any thread. No-throw.
bool WorkerFilterInstalled() noexcept;

// The countdown in seconds from the "Delay" text: strtol rules in base 10 (leading blanks,
// a sign, digits up to the first other character; nothing numeric gives 0). No-throw.
int ParseDelay(const char* text) noexcept;
