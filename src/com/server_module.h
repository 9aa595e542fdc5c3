// The COM server module of an in-process server: its object map, its lock count (module_lock.h)
// and its self-registration. The DLL derives its module object from this and forwards its four
// COM exports to it.
#pragma once

#include <windows.h>

#include <cstddef>

#include "com/object_map.h"
#include "com/registrar.h"

class ComServerModule {
public:
    // appIdScript: the REGISTRY script that enters the AppID, run before the class scripts at
    // registration and after them at unregistration. No-throw.
    ComServerModule(ObjectMapEntry* entries, std::size_t count, const GUID& appId, UINT appIdScript) noexcept;
    virtual ~ComServerModule() = default;
    ComServerModule(const ComServerModule&) = delete;
    ComServerModule& operator=(const ComServerModule&) = delete;

    // False when setting up failed and the DLL must not load.
    bool Initialized() const noexcept { return m_objectMap.Initialized(); }

    // The exports' work. No-throw.
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
    HRESULT CanUnloadNow() const noexcept;
    // The AppID script, then each class's script in map order, then the type library; stops at
    // the first failure and returns it.
    HRESULT RegisterServer() noexcept;
    // Each class's script in map order, then the type library, then the AppID script; stops at
    // the first failure and returns it.
    HRESULT UnregisterServer() noexcept;

private:
    HRESULT RunScript(UINT id, RegistrarAction action, const char* extraName, const char* extraText) const noexcept;

    ObjectMap m_objectMap;
    GUID m_appId;
    UINT m_appIdScript;
};
