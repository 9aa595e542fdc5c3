#include "com/object_map.h"

#include "win32/scoped_lock.h"

ObjectMap::ObjectMap(ObjectMapEntry* entries, std::size_t count) noexcept
    : m_entries(entries), m_count(count), m_initialized(InitializeCriticalSectionEx(&m_lock, 0, 0) != FALSE)
{
}

ObjectMap::~ObjectMap()
{
    for (std::size_t i = 0; i < m_count; ++i) {
        if (IClassFactory* classObject = m_entries[i].classObject.exchange(nullptr))
            classObject->Release();
    }
    if (m_initialized)
        DeleteCriticalSection(&m_lock);
}

HRESULT ObjectMap::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!m_initialized)
        return E_UNEXPECTED;

    ObjectMapEntry* entry = nullptr;
    for (std::size_t i = 0; i < m_count && !entry; ++i) {
        if (*m_entries[i].clsid == clsid)
            entry = &m_entries[i];
    }
    if (!entry)
        return CLASS_E_CLASSNOTAVAILABLE;

    IClassFactory* classObject = entry->classObject.load(std::memory_order_acquire);
    if (!classObject) {
        // A second look under the lock: two threads asking at once get the same class object.
        const CriticalSectionLock lock(m_lock);
        classObject = entry->classObject.load(std::memory_order_relaxed);
        if (!classObject) {
            classObject = ClassFactory::Create(entry->createInstance, entry->aggregatable);
            entry->classObject.store(classObject, std::memory_order_release);
        }
    }
    if (!classObject)
        return E_OUTOFMEMORY;

    HRESULT hr = classObject->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && !*ppv)
        hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}
