// The launcher's executable: the manifest Windows reads before the first
// line runs, its version resource, and a clean start.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

std::wstring LauncherPath()
{
    return TestProgramFolder() + L"InstallerShim.exe";
}

std::string ManifestOfLauncher()
{
    HMODULE hModule =
        ::LoadLibraryExW(LauncherPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!hModule)
        return std::string();
    std::string manifest;
    if (HRSRC hResource = ::FindResourceW(hModule, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (HGLOBAL hData = ::LoadResource(hModule, hResource)) {
            manifest.assign(static_cast<const char*>(::LockResource(hData)), ::SizeofResource(hModule, hResource));
        }
    }
    ::FreeLibrary(hModule);
    return manifest;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* pszName)
{
    void* pValue = nullptr;
    UINT nLength = 0;
    std::wstring strQuery = std::wstring(L"\\StringFileInfo\\040904b0\\") + pszName;
    if (!::VerQueryValueW(info.data(), strQuery.c_str(), &pValue, &nLength) || nLength == 0)
        return L"<missing>";
    return static_cast<const wchar_t*>(pValue);
}

}  // namespace

TEST(InstallerShimExecutable, ManifestAsksForCommonControlsInvokerRightsAndSystemDpi)
{
    std::string manifest = ManifestOfLauncher();
    ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">system</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    // Windows 7 and Windows 10/11 among the supported systems.
    EXPECT_NE(manifest.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

TEST(InstallerShimExecutable, VersionResourceNamesTheProduct)
{
    DWORD dwHandle = 0;
    DWORD dwSize = ::GetFileVersionInfoSizeW(LauncherPath().c_str(), &dwHandle);
    ASSERT_GT(dwSize, 0u);
    std::vector<BYTE> info(dwSize);
    ASSERT_TRUE(::GetFileVersionInfoW(LauncherPath().c_str(), 0, dwSize, info.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT nLength = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &nLength));
    EXPECT_EQ(pFixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(pFixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(VersionString(info, L"ProductName"), L"Halvik Ulvo Suite");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"InstallerShim.exe");
}

// Its runs, and their exit code 0 on every path, are the end-to-end tests' part.
TEST(InstallerShimExecutable, IsAnX64GuiProgram)
{
    HMODULE hModule = ::LoadLibraryExW(LauncherPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hModule, nullptr);
    // A data-file mapping's base carries a low tag bit.
    auto pBase = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(hModule) & ~static_cast<ULONG_PTR>(3));
    auto pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    auto pNt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(pBase + pDos->e_lfanew);
    EXPECT_EQ(pNt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_EQ(pNt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    ::FreeLibrary(hModule);
}
