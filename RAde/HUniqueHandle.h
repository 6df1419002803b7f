// One move-only owner for every kind of Win32 handle. A traits type names the
// invalid value and how the handle is closed (CHCloseWith makes one in a
// line); each handle kind is an alias.
// The generic kinds are catalogued here; a kind that belongs to one class
// (a registry key, an event source) stays beside it. The owners of what is
// selected into a device context, and of its saved state, are here too.
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

// A handle kind in one line: its type, the call that closes it, and the
// value that means "none" (null, or -1 for INVALID_HANDLE_VALUE).
template <class H, auto pfnClose, LONG_PTR nInvalid = 0>
struct CHCloseWith
{
    using Handle = H;
    static Handle Invalid() noexcept { return reinterpret_cast<Handle>(nInvalid); }
    static void Close(Handle h) noexcept { pfnClose(h); }
};

// Kernel handles for which null means "none" (events, mutexes, processes, threads, tokens).
using CHKernelHandle = CHUniqueHandle<CHCloseWith<HANDLE, ::CloseHandle>>;
// File and pipe handles, for which INVALID_HANDLE_VALUE means "none".
using CHFileHandle = CHUniqueHandle<CHCloseWith<HANDLE, ::CloseHandle, -1>>;
// A window owned by an object and destroyed with it (on the thread that
// created it, as windows must be): helper and marker windows, tooltips.
using CHWindowHandle = CHUniqueHandle<CHCloseWith<HWND, ::DestroyWindow>>;
// Window hooks (SetWindowsHookEx).
using CHHookHandle = CHUniqueHandle<CHCloseWith<HHOOK, ::UnhookWindowsHookEx>>;
// Directory searches (FindFirstFileW and its kin).
using CHFindHandle = CHUniqueHandle<CHCloseWith<HANDLE, ::FindClose, -1>>;
// Strings the system hands out (device ids, object ids), freed with the COM allocator.
using CHCoTaskMemString = CHUniqueHandle<CHCloseWith<LPWSTR, ::CoTaskMemFree>>;
// A BSTR that the system allocated for us (date texts).
using CHUniqueBstr = CHUniqueHandle<CHCloseWith<BSTR, ::SysFreeString>>;
// GDI objects (bitmaps, fonts, brushes, regions) owned by one object.
using CHBitmapHandle = CHUniqueHandle<CHCloseWith<HBITMAP, ::DeleteObject>>;
using CHFontHandle = CHUniqueHandle<CHCloseWith<HFONT, ::DeleteObject>>;
using CHBrushHandle = CHUniqueHandle<CHCloseWith<HBRUSH, ::DeleteObject>>;
using CHRegionHandle = CHUniqueHandle<CHCloseWith<HRGN, ::DeleteObject>>;
// Memory device contexts made with CreateCompatibleDC.
using CHMemoryDC = CHUniqueHandle<CHCloseWith<HDC, ::DeleteDC>>;

// A GDI object (a font, a pen, a bitmap) selected into a device context for as
// long as this lives; the object it replaced is selected back when it goes, so
// the caller's object is never deleted while still selected. A null object
// selects nothing: a control without a font of its own draws in the context's.
class CHSelectedObject
{
public:
    CHSelectedObject(HDC hDC, HGDIOBJ hObject) noexcept
        : m_hDC(hDC), m_hOld(hObject != nullptr ? ::SelectObject(hDC, hObject) : nullptr)
    {
        if (m_hOld == HGDI_ERROR)
            m_hOld = nullptr;
    }
    ~CHSelectedObject()
    {
        if (m_hOld != nullptr)
            ::SelectObject(m_hDC, m_hOld);
    }
    CHSelectedObject(const CHSelectedObject&) = delete;
    CHSelectedObject& operator=(const CHSelectedObject&) = delete;

    // False when nothing was selected (no object, or the selection failed).
    explicit operator bool() const noexcept { return m_hOld != nullptr; }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

// Everything else drawing code changes in a device context (origins, modes,
// colours, clipping) is undone when this object goes.
class CHSavedDC
{
public:
    explicit CHSavedDC(HDC hDC) noexcept : m_hDC(hDC), m_nSaved(::SaveDC(hDC)) {}
    ~CHSavedDC()
    {
        if (m_nSaved != 0)
            ::RestoreDC(m_hDC, m_nSaved);
    }
    CHSavedDC(const CHSavedDC&) = delete;
    CHSavedDC& operator=(const CHSavedDC&) = delete;

private:
    HDC m_hDC;
    int m_nSaved;
};

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

// COM interface pointers: the one COM pointer owner of the code base. A copy
// holds a reference of its own (AddRef), and each owner releases its own.
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
    using Base = CHUniqueHandle<CHComTraits<T>>;

public:
    using Base::Base;
    CHComPtr() noexcept = default;
    CHComPtr(CHComPtr&&) noexcept = default;
    CHComPtr& operator=(CHComPtr&&) noexcept = default;
    CHComPtr(const CHComPtr& other) noexcept : Base(Borrowed(other.Get()).Detach()) {}
    CHComPtr& operator=(const CHComPtr& other) noexcept
    {
        if (this != &other)
            this->Reset(Borrowed(other.Get()).Detach());
        return *this;
    }
    // An owner of a reference of its own to a pointer that the caller keeps.
    static CHComPtr Borrowed(T* p) noexcept
    {
        if (p)
            p->AddRef();
        return CHComPtr(p);
    }

    T* operator->() const noexcept { return this->Get(); }
};
using CHUnknownPtr = CHComPtr<IUnknown>;
using CHStreamPtr = CHComPtr<IStream>;
