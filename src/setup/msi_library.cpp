#include "setup/msi_library.h"

MsiLibrary::MsiLibrary(LibraryLoader loader) noexcept : m_module(LoadSystemLibrary("msi.dll", loader))
{
    if (!m_module)
        return;
    // Through void(*)() so that the compiler accepts the change of function type.
    m_getProperty = reinterpret_cast<GetPropertyFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_module.get(), "MsiGetPropertyA")));
    m_getMode = reinterpret_cast<GetModeFn>(reinterpret_cast<void (*)()>(GetProcAddress(m_module.get(), "MsiGetMode")));
}

UINT MsiLibrary::GetProperty(MSIHANDLE install, const char* name, char* value, DWORD* capacity) const noexcept
{
    if (!m_getProperty)
        return ERROR_MOD_NOT_FOUND;
    return m_getProperty(install, name, value, capacity);
}

BOOL MsiLibrary::GetMode(MSIHANDLE install, MSIRUNMODE mode) const noexcept
{
    return m_getMode ? m_getMode(install, mode) : FALSE;
}
