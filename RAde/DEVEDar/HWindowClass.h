// Registering the window classes of the window layer and the launcher.
#pragma once

#include <windows.h>

// Registers a window class; a class already registered under its name counts
// as registered. False, with the last error set, when the system refuses it.
inline bool RegisterWindowClass(const WNDCLASSEXW& windowClass) noexcept
{
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
