#include "win32/module_instance.h"

HINSTANCE ModuleInstance()
{
    static HINSTANCE instance = [] {
        HMODULE module = nullptr;
        (void)GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
        return static_cast<HINSTANCE>(module);
    }();
    return instance;
}

bool PinModule() noexcept
{
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&PinModule), &module) != FALSE;
}
