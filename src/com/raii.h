// Owners for COM's own resources (strings, variants, task memory, the apartment), on the
// pattern of the Windows owners in win32/raii.h. Used on any thread; nothing here throws.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "win32/raii.h"

struct BstrTraits {
    static BSTR Invalid() { return nullptr; }
    static void Close(BSTR s) { SysFreeString(s); }
};
struct CoTaskMemTraits {
    static void* Invalid() { return nullptr; }
    static void Close(void* p) { CoTaskMemFree(p); }
};
using UniqueBstr = UniqueResource<BSTR, BstrTraits>;
// Memory the shell or COM handed out with CoTaskMemAlloc (a known folder's path).
using UniqueCoTaskMem = UniqueResource<void*, CoTaskMemTraits>;

// A VARIANT that is cleared when it goes out of scope.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&m_value); }
    ~UniqueVariant() { (void)VariantClear(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    VARIANT* put()
    {
        (void)VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

// An EXCEPINFO for IDispatch::Invoke whose strings are freed when it goes out of scope (the
// callee fills them in, with DISP_E_EXCEPTION).
class UniqueExcepInfo {
public:
    UniqueExcepInfo() = default;
    ~UniqueExcepInfo()
    {
        SysFreeString(m_value.bstrSource);
        SysFreeString(m_value.bstrDescription);
        SysFreeString(m_value.bstrHelpFile);
    }
    UniqueExcepInfo(const UniqueExcepInfo&) = delete;
    UniqueExcepInfo& operator=(const UniqueExcepInfo&) = delete;

    EXCEPINFO* get() { return &m_value; }

private:
    EXCEPINFO m_value{};
};

// Initialises COM on this thread for the guard's lifetime, when the call succeeded.
class CoInitializeGuard {
public:
    explicit CoInitializeGuard(DWORD model = COINIT_APARTMENTTHREADED)
        : m_hr(CoInitializeEx(nullptr, model)) {}
    ~CoInitializeGuard()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CoInitializeGuard(const CoInitializeGuard&) = delete;
    CoInitializeGuard& operator=(const CoInitializeGuard&) = delete;
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};
