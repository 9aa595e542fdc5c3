#include "setup/msi_library.h"

#include <atomic>

#include "win32/scope_exit.h"

namespace {

std::atomic<LibraryLoader> g_loader{nullptr};

// Through void(*)() so that the compiler accepts the change of function type.
template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

void UseMsiLibraryLoader(LibraryLoader loader) noexcept
{
    g_loader.store(loader);
}

MsiLibrary::MsiLibrary() noexcept
{
    const LibraryLoader loader = g_loader.load();
    m_module.reset(LoadSystemLibrary("msi.dll", loader ? loader : LoadLibraryExA));
    if (!m_module)
        return;
    m_getProperty = Lookup<GetPropertyFn>(m_module.get(), "MsiGetPropertyA");
    m_getMode = Lookup<GetModeFn>(m_module.get(), "MsiGetMode");
    m_setProperty = Lookup<SetPropertyFn>(m_module.get(), "MsiSetPropertyA");
    m_setPropertyW = Lookup<SetPropertyWFn>(m_module.get(), "MsiSetPropertyW");
    m_createRecord = Lookup<CreateRecordFn>(m_module.get(), "MsiCreateRecord");
    m_recordSetString = Lookup<RecordSetStringFn>(m_module.get(), "MsiRecordSetStringW");
    m_processMessage = Lookup<ProcessMessageFn>(m_module.get(), "MsiProcessMessage");
    m_closeHandle = Lookup<CloseHandleFn>(m_module.get(), "MsiCloseHandle");
}

UINT MsiLibrary::GetProperty(MSIHANDLE install, const char* name, char* value, DWORD* capacity) const noexcept
{
    if (!m_getProperty)
        return ERROR_MOD_NOT_FOUND;
    return m_getProperty(install, name, value, capacity);
}

UINT MsiLibrary::SetProperty(MSIHANDLE install, const char* name, const char* value) const noexcept
{
    return m_setProperty ? m_setProperty(install, name, value) : ERROR_MOD_NOT_FOUND;
}

UINT MsiLibrary::SetProperty(MSIHANDLE install, const char* name, const wchar_t* value) const noexcept
{
    if (!m_setPropertyW)
        return ERROR_MOD_NOT_FOUND;
    // Property names are ASCII: widened unit by unit.
    wchar_t wideName[64] = {};
    for (size_t i = 0; name[i] != '\0'; ++i) {
        if (i + 1 >= sizeof(wideName) / sizeof(wideName[0]))
            return ERROR_INVALID_PARAMETER;
        wideName[i] = static_cast<unsigned char>(name[i]);
    }
    return m_setPropertyW(install, wideName, value);
}

BOOL MsiLibrary::GetMode(MSIHANDLE install, MSIRUNMODE mode) const noexcept
{
    return m_getMode ? m_getMode(install, mode) : FALSE;
}

bool MsiLibrary::LogLine(MSIHANDLE install, const wchar_t* text) const noexcept
{
    if (!m_createRecord || !m_recordSetString || !m_processMessage || !m_closeHandle || !text)
        return false;
    const MSIHANDLE record = m_createRecord(1);
    if (!record)
        return false;
    const auto close = MakeScopeExit([&] { (void)m_closeHandle(record); });
    // Field 0 is the record's format: a text without [n] fields is written as it is.
    return m_recordSetString(record, 0, text) == ERROR_SUCCESS &&
           m_processMessage(install, INSTALLMESSAGE_INFO, record) >= 0;
}
