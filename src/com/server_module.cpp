#include "com/server_module.h"

#include "win32/module_instance.h"
#include "com/module_lock.h"
#include "com/server_registration.h"

ComServerModule::ComServerModule(ObjectMapEntry* entries, std::size_t count, const GUID& appId,
                                 UINT appIdScript) noexcept
    : m_objectMap(entries, count), m_appId(appId), m_appIdScript(appIdScript)
{
}

HRESULT ComServerModule::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept
{
    return m_objectMap.GetClassObject(clsid, riid, ppv);
}

HRESULT ComServerModule::CanUnloadNow() const noexcept
{
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

HRESULT ComServerModule::RunScript(UINT id, RegistrarAction action, const char* extraName,
                                   const char* extraText) const noexcept
{
    return RunModuleScript(ModuleInstance(), id, action, m_appId, extraName, extraText);
}

HRESULT ComServerModule::RegisterServer() noexcept
{
    SystemThreadLocaleScope locale;
    HRESULT hr = RunScript(m_appIdScript, RegistrarAction::Register, nullptr, nullptr);
    for (std::size_t i = 0; i < m_objectMap.Count() && SUCCEEDED(hr); ++i) {
        const ObjectMapEntry& entry = m_objectMap.Entry(i);
        hr = RunScript(entry.registryScript, RegistrarAction::Register, entry.replacementName, entry.replacementText);
    }
    if (SUCCEEDED(hr))
        hr = RegisterModuleTypeLibrary(ModuleInstance());
    return hr;
}

HRESULT ComServerModule::UnregisterServer() noexcept
{
    SystemThreadLocaleScope locale;
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < m_objectMap.Count() && SUCCEEDED(hr); ++i) {
        const ObjectMapEntry& entry = m_objectMap.Entry(i);
        hr = RunScript(entry.registryScript, RegistrarAction::Unregister, entry.replacementName,
                       entry.replacementText);
    }
    if (SUCCEEDED(hr))
        hr = UnregisterModuleTypeLibrary(ModuleInstance());
    if (SUCCEEDED(hr))
        hr = RunScript(m_appIdScript, RegistrarAction::Unregister, nullptr, nullptr);
    return hr;
}
