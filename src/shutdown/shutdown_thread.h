// The shutdown worker: makes Outlook end once the add-in has decided that it should.
#pragma once

#include <windows.h>

// Thread routine; the parameter is the connection object (CConnect*). Returns 0. No-throw.
DWORD WINAPI ShutdownThread(LPVOID parameter);
