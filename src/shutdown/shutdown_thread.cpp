#include "shutdown/shutdown_thread.h"

DWORD WINAPI ShutdownThread(LPVOID)
{
    return 0;
}
