// One move-only owner for every kind of Win32 handle. A traits type names the
// invalid value and how the handle is closed; each handle kind is an alias.
// The generic kinds are catalogued here; a kind that belongs to one class
// (a registry key, an event source) stays beside it.
#pragma once

#include <windows.h>

#include <utility>

template <class Traits>
class CHUniqueHandle
{
public:
    using Handle = typename Traits::Handle;

    CHUniqueHandle() noexcept = default;
    explicit CHUniqueHandle(Handle h) noexcept : m_h(h) {}
    CHUniqueHandle(CHUniqueHandle&& other) noexcept : m_h(other.Detach()) {}
    CHUniqueHandle& operator=(CHUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    CHUniqueHandle(const CHUniqueHandle&) = delete;
    CHUniqueHandle& operator=(const CHUniqueHandle&) = delete;
    ~CHUniqueHandle() { Reset(); }

    Handle Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Closes the owned handle (if any) and owns h instead. The thread's last
    // error stays as it was: a handle is often reset between a failing call
    // and the reading of its error.
    void Reset(Handle h = Traits::Invalid()) noexcept
    {
        Handle hOld = std::exchange(m_h, h);
        if (hOld != Traits::Invalid()) {
            const DWORD dwLastError = ::GetLastError();
            Traits::Close(hOld);
            ::SetLastError(dwLastError);
        }
    }
    // For a call that hands out a new handle through an out-parameter: the
    // owned handle is closed first, and the new one is owned.
    Handle* OutParam() noexcept
    {
        Reset();
        return &m_h;
    }
    Handle Detach() noexcept { return std::exchange(m_h, Traits::Invalid()); }

private:
    Handle m_h = Traits::Invalid();
};

// Kernel handles for which null means "none" (events, mutexes, processes, threads, tokens).
struct CHKernelHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
using CHKernelHandle = CHUniqueHandle<CHKernelHandleTraits>;

// File and pipe handles, for which INVALID_HANDLE_VALUE means "none".
struct CHFileHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};
using CHFileHandle = CHUniqueHandle<CHFileHandleTraits>;

// A window owned by an object and destroyed with it (on the thread that
// created it, as windows must be): helper and marker windows, tooltips.
struct CHWindowHandleTraits
{
    using Handle = HWND;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};
using CHWindowHandle = CHUniqueHandle<CHWindowHandleTraits>;

// Window hooks (SetWindowsHookEx), removed with UnhookWindowsHookEx.
struct CHHookHandleTraits
{
    using Handle = HHOOK;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::UnhookWindowsHookEx(h); }
};
using CHHookHandle = CHUniqueHandle<CHHookHandleTraits>;

// Directory searches (FindFirstFileW and its kin), closed with FindClose.
struct CHFindHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::FindClose(h); }
};
using CHFindHandle = CHUniqueHandle<CHFindHandleTraits>;

// Strings the system hands out (device ids, object ids), freed with the COM allocator.
struct CHCoTaskMemStringTraits
{
    using Handle = LPWSTR;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle p) noexcept { ::CoTaskMemFree(p); }
};
using CHCoTaskMemString = CHUniqueHandle<CHCoTaskMemStringTraits>;

// A BSTR that the system allocated for us (date texts), freed with SysFreeString.
struct CHBstrTraits
{
    using Handle = BSTR;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::SysFreeString(h); }
};
using CHUniqueBstr = CHUniqueHandle<CHBstrTraits>;

// GDI objects (bitmaps, fonts, brushes, regions) owned by one object.
template <class T>
struct CHGdiObjectTraits
{
    using Handle = T;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};
using CHBitmapHandle = CHUniqueHandle<CHGdiObjectTraits<HBITMAP>>;
using CHFontHandle = CHUniqueHandle<CHGdiObjectTraits<HFONT>>;
using CHBrushHandle = CHUniqueHandle<CHGdiObjectTraits<HBRUSH>>;
using CHRegionHandle = CHUniqueHandle<CHGdiObjectTraits<HRGN>>;

// Memory device contexts made with CreateCompatibleDC.
struct CHMemoryDCTraits
{
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteDC(h); }
};
using CHMemoryDC = CHUniqueHandle<CHMemoryDCTraits>;

// A device context of a window, from GetDC, given back with ReleaseDC.
struct CHWindowDCTraits
{
    struct Handle
    {
        HWND hWnd = nullptr;
        HDC hDC = nullptr;
        bool operator==(const Handle&) const = default;
    };
    static Handle Invalid() noexcept { return Handle{}; }
    static void Close(Handle h) noexcept { ::ReleaseDC(h.hWnd, h.hDC); }
};
using CHWindowDC = CHUniqueHandle<CHWindowDCTraits>;

// COM interface pointers owned by one object (released, never copied): the
// one COM pointer owner of the code base.
template <class T>
struct CHComTraits
{
    using Handle = T*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle p) noexcept { p->Release(); }
};
template <class T>
class CHComPtr : public CHUniqueHandle<CHComTraits<T>>
{
public:
    using CHUniqueHandle<CHComTraits<T>>::CHUniqueHandle;
    T* operator->() const noexcept { return this->Get(); }
};
using CHUnknownPtr = CHComPtr<IUnknown>;
using CHStreamPtr = CHComPtr<IStream>;
