// Entry point of Vantrel.dll. Kept trivial: remember the module handle, nothing else.
#include <windows.h>

namespace {
HINSTANCE g_hInstance = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_hInstance = hInstance;
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}
