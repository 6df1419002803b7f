// The staged-file deleter's check of the delete list. What it deletes behind
// the wait dialog, and what a failed deletion shows, the launcher's
// end-to-end tests prove on disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallerShim/FileDeleter.h"

TEST(CFileDeleterPaths, KeepsOnlyAbsolutePathsThatAreNoRootAndHoldNoParentSegment)
{
    using Paths = std::vector<std::wstring>;
    const Paths paths = {L"C:\\Setup",
                         L"c:/Setup/Temp/",
                         L"\\\\server\\share\\Setup",
                         L"C:\\Setup\\x..y",
                         L"Setup\\Temp",
                         L"C:Setup",
                         L"\\Setup",
                         L"C:\\",
                         L"D:",
                         L"E:/",
                         L"\\\\server\\share",
                         L"\\\\server\\share\\",
                         L"C:\\Setup\\..\\Win",
                         L"C:\\Setup\\..",
                         L"C:/Setup/../..",
                         L"",
                         L"\\\\server\\share\\..\\other"};
    EXPECT_EQ(CFileDeleter::KeepDeletablePaths(paths),
              (Paths{L"C:\\Setup", L"c:/Setup/Temp/", L"\\\\server\\share\\Setup", L"C:\\Setup\\x..y"}));
}
