#include "RAde/HVersionHelper.h"

#include "RAde/HException.h"

OSVERSIONINFOEXW CHVersionHelper::GetVersion()
{
    HTRY {
        OSVERSIONINFOEXW version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        HCHECK_WIN32(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)));
        return version;
    } HCATCH
}

bool CHVersionHelper::IsWindowsVistaOrNewer()
{
    HTRY {
        return IsWindowsVistaOrNewer(GetVersion());
    } HCATCH
}

bool CHVersionHelper::IsWindowsVistaOrNewer(const OSVERSIONINFOEXW& version)
{
    HTRY {
        // Vista is version 6.0; every later Windows reports 6 or more.
        return version.dwMajorVersion >= 6;
    } HCATCH
}
