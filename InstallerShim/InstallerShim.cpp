// Entry point of the installer launcher.
#include <windows.h>

#include "InstallerShim/StartupHardening.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    RestrictDllSearchToSystemFolder();
    return 0;
}
