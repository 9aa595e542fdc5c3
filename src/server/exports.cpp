// The DLL's COM entry points, exported by name through Vantrel.def.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "vantrel_module.h"

STDAPI DllCanUnloadNow()
{
    return g_module.CanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return g_module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer()
{
    return g_module.RegisterServer();
}

STDAPI DllUnregisterServer()
{
    return g_module.UnregisterServer();
}
