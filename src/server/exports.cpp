// The DLL's COM entry points, exported by name through Vantrel.def. Each hands over to the
// module object, whose calls do not throw.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "vantrel_module.h"

STDAPI DllCanUnloadNow() noexcept
{
    return g_module.CanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept
{
    return g_module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() noexcept
{
    return g_module.RegisterServer();
}

STDAPI DllUnregisterServer() noexcept
{
    return g_module.UnregisterServer();
}
