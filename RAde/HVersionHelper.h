// The operating system's version.
#pragma once

#include <windows.h>

class CHVersionHelper
{
public:
    static OSVERSIONINFOEXW GetVersion();
    static bool IsWindowsVistaOrNewer();
    // The same test on a given version record.
    static bool IsWindowsVistaOrNewer(const OSVERSIONINFOEXW& version);
};
