// The shutdown worker: makes Outlook end once the add-in has decided that it should.
#pragma once

#include <windows.h>

// Thread routine; the parameter is the connection object (CConnect*). Returns 0. No-throw.
DWORD WINAPI ShutdownThread(LPVOID parameter);

// The countdown in seconds from the "Delay" text: strtol rules in base 10 (leading blanks,
// a sign, digits up to the first other character; nothing numeric gives 0).
int ParseDelay(const char* text);
