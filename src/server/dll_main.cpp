// Entry point of Vantrel.dll. Kept trivial: the runtime has constructed the module object
// (vantrel_module.cpp) before this runs; a module that could not set itself up refuses the load.
#include <windows.h>

#include "vantrel_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/) noexcept
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(hInstance);
        return g_module.Initialized() ? TRUE : FALSE;
    }
    return TRUE;
}
