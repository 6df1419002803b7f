// A window owned by an object and destroyed with it (on the thread that
// created it, as windows must be).
#pragma once

#include <windows.h>

#include "RAde/HUniqueHandle.h"

struct CWindowTraits
{
    using Handle = HWND;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyWindow(h); }
};
using CWindowHandle = CHUniqueHandle<CWindowTraits>;
