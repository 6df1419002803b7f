// The operating-system version record and the Vista test.
#include <gtest/gtest.h>

#include <string>

#include "RAde/HVersionHelper.h"
#include "TestSupport.h"

namespace {

OSVERSIONINFOEXW VersionRecord(DWORD dwMajor, DWORD dwMinor)
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = dwMajor;
    version.dwMinorVersion = dwMinor;
    return version;
}

}  // namespace

TEST(CHVersionHelper, GetVersionReturnsTheSystemsExtendedRecord)
{
    OSVERSIONINFOEXW version = CHVersionHelper::GetVersion();
    EXPECT_EQ(version.dwOSVersionInfoSize, 284u);

    // The same question asked directly; on Windows 8.1 and newer both answers
    // are the compatibility version of a program without a manifest.
    OSVERSIONINFOEXW expected = {};
    expected.dwOSVersionInfoSize = sizeof(expected);
    ASSERT_TRUE(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&expected)));
    EXPECT_EQ(version.dwMajorVersion, expected.dwMajorVersion);
    EXPECT_EQ(version.dwMinorVersion, expected.dwMinorVersion);
    EXPECT_EQ(version.dwBuildNumber, expected.dwBuildNumber);
    EXPECT_EQ(version.dwPlatformId, expected.dwPlatformId);
    EXPECT_EQ(std::wstring(version.szCSDVersion), std::wstring(expected.szCSDVersion));
    EXPECT_EQ(version.wServicePackMajor, expected.wServicePackMajor);
    EXPECT_EQ(version.wSuiteMask, expected.wSuiteMask);
    // Only the extended record carries the product type, so this proves the
    // extended form was asked for.
    EXPECT_EQ(version.wProductType, expected.wProductType);
    EXPECT_NE(version.wProductType, 0);

    // The packed version word is an independent source of the same numbers.
    DWORD dwPacked = ::GetVersion();
    EXPECT_EQ(version.dwMajorVersion, LOBYTE(LOWORD(dwPacked)));
    EXPECT_EQ(version.dwMinorVersion, HIBYTE(LOWORD(dwPacked)));
}

TEST(CHVersionHelper, VistaIsVersionSixAndLater)
{
    EXPECT_FALSE(CHVersionHelper::IsWindowsVistaOrNewer(VersionRecord(5, 1)));
    EXPECT_FALSE(CHVersionHelper::IsWindowsVistaOrNewer(VersionRecord(5, 2)));
    EXPECT_TRUE(CHVersionHelper::IsWindowsVistaOrNewer(VersionRecord(6, 0)));
    EXPECT_TRUE(CHVersionHelper::IsWindowsVistaOrNewer(VersionRecord(10, 0)));
    // The program is built for Windows 7 and newer (Wine reports 6.1), so the
    // running system always passes.
    EXPECT_TRUE(CHVersionHelper::IsWindowsVistaOrNewer());
}
