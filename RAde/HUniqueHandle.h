// One move-only owner for every kind of Win32 handle. A traits type names the
// invalid value and how the handle is closed; each handle kind is an alias.
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

    // Closes the owned handle (if any) and owns h instead.
    void Reset(Handle h = Traits::Invalid()) noexcept
    {
        Handle hOld = std::exchange(m_h, h);
        if (hOld != Traits::Invalid())
            Traits::Close(hOld);
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
