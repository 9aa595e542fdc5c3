// QueryInterface answered from a table: each row names an IID and the interface of the object
// that answers it, so that a class lists its interfaces once, in the order it answers them.
// Any thread; nothing here throws.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

template <typename Class>
struct InterfaceEntry {
    const IID* iid;
    void* (*cast)(Class* object) noexcept; // the object's pointer of that interface
};

// The row for iid answered by the object's Interface (a base class of Class).
template <typename Class, typename Interface>
constexpr InterfaceEntry<Class> InterfaceRow(const IID& iid) noexcept
{
    return {&iid, [](Class* object) noexcept -> void* { return static_cast<Interface*>(object); }};
}

// For a class that answers nothing beyond its table.
struct NoOtherInterfaces {
    void* operator()(REFIID) const noexcept { return nullptr; }
};

// The interface of object that the first row for riid names, or null. Takes no reference.
template <typename Class, size_t N>
void* FindInterface(Class* object, const InterfaceEntry<Class> (&table)[N], REFIID riid) noexcept
{
    for (const InterfaceEntry<Class>& row : table)
        if (*row.iid == riid)
            return row.cast(object);
    return nullptr;
}

// QueryInterface's answer: E_POINTER for a null ppv (otherwise *ppv is cleared first); the first
// row whose IID is riid, else what other(riid) gives (null for none); E_NOINTERFACE when neither
// answers and for IID_NULL, else S_OK with the interface AddRef'd through itself.
template <typename Class, size_t N, typename Other = NoOtherInterfaces>
HRESULT QueryInterfaceFromTable(Class* object, const InterfaceEntry<Class> (&table)[N], REFIID riid, void** ppv,
                                Other other = Other()) noexcept
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_NULL)
        return E_NOINTERFACE;
    void* found = FindInterface(object, table, riid);
    if (!found)
        found = other(riid);
    if (!found)
        return E_NOINTERFACE;
    // Every interface begins with IUnknown's methods: the reference is taken through the
    // pointer handed out, as the caller will release it.
    static_cast<IUnknown*>(found)->AddRef();
    *ppv = found;
    return S_OK;
}
