#include "InstallerShim/StartupHardening.h"

#include <windows.h>

void RestrictDllSearchToSystemFolder()
{
    // Looked up at run time: Windows 7 has it only with KB2533623.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    auto pfnSetDefault = hKernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                       reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetDefaultDllDirectories")))
                                 : nullptr;
    if (pfnSetDefault)
        pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without it, at least the current directory leaves the search.
    ::SetDllDirectoryW(L"");
}
