// Entry point of the installer launcher.
#include <windows.h>

namespace {

// The launcher's copy runs from %TEMP%, where any program can drop a DLL beside
// it. Before anything loads a DLL on demand (the delay-loaded GDI+, common
// controls and the like), the search is limited to the system folder. The
// function is looked up at run time: Windows 7 has it only with KB2533623.
void RestrictDllSearchToSystemFolder()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    auto pfnSetDefault = hKernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                             reinterpret_cast<void*>(::GetProcAddress(hKernel, "SetDefaultDllDirectories")))
                                 : nullptr;
    if (pfnSetDefault)
        pfnSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without it, at least take the current directory out of the search.
    ::SetDllDirectoryW(L"");
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    RestrictDllSearchToSystemFolder();
    return 0;
}
