// The launcher's first act: DLLs loaded on demand come from the system
// folder only, never from beside the executable (its copy runs from %TEMP%).
#include <windows.h>

#include <gtest/gtest.h>

#include "InstallerShim/StartupHardening.h"

TEST(StartupHardening, ADllBesideTheProgramNoLongerLoadsByItsBareName)
{
    // HardeningProbe.dll lies beside this program; Windows ships no DLL of that name.
    HMODULE hBefore = ::LoadLibraryW(L"HardeningProbe.dll");
    ASSERT_NE(hBefore, nullptr) << "the probe must load before the search is restricted: " << ::GetLastError();
    ::FreeLibrary(hBefore);

    RestrictDllSearchToSystemFolder();

    ::SetLastError(0xdeadbeef);
    HMODULE hAfter = ::LoadLibraryW(L"HardeningProbe.dll");
    EXPECT_EQ(hAfter, nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    if (hAfter)
        ::FreeLibrary(hAfter);
    // System DLLs still load by name.
    HMODULE hSystem = ::LoadLibraryW(L"version.dll");
    EXPECT_NE(hSystem, nullptr);
    if (hSystem)
        ::FreeLibrary(hSystem);
}
