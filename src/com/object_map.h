// The server's object map: one row per creatable class, in the order in which registration and
// every other walk over the classes visit them. Each row's class object is created on the
// first request for it and kept until the map is destroyed (when the DLL is unloaded).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <cstddef>

#include "com/class_factory.h"

struct ObjectMapEntry {
    const CLSID* clsid;
    CreateInstanceFunction createInstance;
    bool aggregatable;
    UINT registryScript;          // REGISTRY resource id of the class's script
    const char* replacementName;  // one more %NAME% for that script, or null
    const char* replacementText;
    std::atomic<IClassFactory*> classObject{nullptr}; // cached; holds the map's reference
};

class ObjectMap {
public:
    // The rows must outlive the map. No-throw.
    ObjectMap(ObjectMapEntry* entries, std::size_t count) noexcept;
    // Releases the cached class objects. No-throw.
    ~ObjectMap();
    ObjectMap(const ObjectMap&) = delete;
    ObjectMap& operator=(const ObjectMap&) = delete;

    // False when the map's critical section could not be set up: the DLL must refuse to load.
    bool Initialized() const noexcept { return m_initialized; }

    // DllGetClassObject: E_POINTER, E_UNEXPECTED (not initialised), CLASS_E_CLASSNOTAVAILABLE
    // for a CLSID not in the map, E_OUTOFMEMORY, or the class object's answer to riid. No-throw.
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;

    std::size_t Count() const noexcept { return m_count; }
    const ObjectMapEntry& Entry(std::size_t index) const noexcept { return m_entries[index]; }

private:
    ObjectMapEntry* m_entries;
    std::size_t m_count;
    CRITICAL_SECTION m_lock;
    bool m_initialized;
};
