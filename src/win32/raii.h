// Owners for the Windows resources the add-in holds: each closes what it owns when it
// goes out of scope. Handles invalid at NULL and at INVALID_HANDLE_VALUE are different types.
// Used on any thread; nothing here throws.
#pragma once

#include <windows.h>

#include <utility>

// A resource of type T released by Close(T) unless it equals Invalid.
template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : m_value(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    T get() const { return m_value; }
    bool valid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }
    // Releases what is held and gives the address to receive a new value.
    T* put()
    {
        reset();
        return &m_value;
    }
    T release() { return std::exchange(m_value, Traits::Invalid()); }
    void reset(T value = Traits::Invalid())
    {
        T old = std::exchange(m_value, value);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

private:
    T m_value = Traits::Invalid();
};

struct HandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { (void)CloseHandle(h); }
};
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { (void)CloseHandle(h); }
};
struct HKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { (void)RegCloseKey(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE m) { (void)FreeLibrary(m); }
};
struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static void Close(HWND w) { (void)DestroyWindow(w); }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ o) { (void)DeleteObject(o); }
};
struct DcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { (void)DeleteDC(dc); }
};

using UniqueHandle = UniqueResource<HANDLE, HandleTraits>;
using UniqueFileHandle = UniqueResource<HANDLE, FileHandleTraits>;
using UniqueHKey = UniqueResource<HKEY, HKeyTraits>;
using UniqueModule = UniqueResource<HMODULE, ModuleTraits>;
using UniqueWindow = UniqueResource<HWND, WindowTraits>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;
// A device context made with CreateCompatibleDC or CreateDC (not one from GetDC).
using UniqueDc = UniqueResource<HDC, DcTraits>;

// A window's device context from GetDC (null: the screen's), released with ReleaseDC.
class UniqueWindowDc {
public:
    explicit UniqueWindowDc(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~UniqueWindowDc()
    {
        if (m_dc)
            (void)ReleaseDC(m_window, m_dc);
    }
    UniqueWindowDc(const UniqueWindowDc&) = delete;
    UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;

    HDC get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// Selects a GDI object into a device context for the scope's lifetime and puts the one it
// replaced back at the end. Declare it after the owner of the object, so that the object is
// out of the device context before it is deleted. Nothing is selected when dc or object is null.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(dc && object ? SelectObject(dc, object) : nullptr)
    {
        if (m_previous == HGDI_ERROR)
            m_previous = nullptr;
    }
    ~SelectObjectScope()
    {
        if (m_previous)
            (void)SelectObject(m_dc, m_previous);
    }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};
