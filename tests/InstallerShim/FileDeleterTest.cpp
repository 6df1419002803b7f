// The staged-file deleter's check of the delete list. What it deletes behind
// the wait dialog, and what a failed deletion shows, the launcher's
// end-to-end tests prove on disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallerShim/FileDeleter.h"
#include "TestSupport.h"

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
    // Folders that hold all of them: only the shape of each path decides here.
    EXPECT_EQ(CFileDeleter::KeepDeletablePaths(paths, CStagingFolders{L"C:\\", L"\\\\server\\share"}),
              (Paths{L"C:\\Setup", L"c:/Setup/Temp/", L"\\\\server\\share\\Setup", L"C:\\Setup\\x..y"}));
}

TEST(CFileDeleterPaths, KeepsOnlyPathsBelowTheMediumOrInTheInstallersWorkingFolder)
{
    using Paths = std::vector<std::wstring>;
    // A medium folder named "D:\Setup;old": the list split at its ";" names D:\Setup beside it.
    const CStagingFolders folders = {L"D:\\Setup;old\\", L"D:\\Setup;old\\Inst"};
    const Paths paths = {L"D:\\Setup;old\\Inst", L"d:\\setup;OLD\\Data\\", L"D:\\Setup;old\\Inst\\tmp",
                         L"D:\\Setup",           L"D:\\Setup;old",         L"D:\\Setup;older\\x",
                         L"C:\\Windows",         L"D:\\Setup;old\\.",      L"E:\\Setup;old\\Inst"};
    CLogCapture log;
    EXPECT_EQ(CFileDeleter::KeepDeletablePaths(paths, folders),
              (Paths{L"D:\\Setup;old\\Inst", L"d:\\setup;OLD\\Data\\", L"D:\\Setup;old\\Inst\\tmp"}));
    EXPECT_EQ(log.Messages().size(), 6u);
    for (const std::wstring& strMessage : log.Messages())
        EXPECT_NE(strMessage.find(L"neither below the medium's folder nor in the installer's working folder"),
                  std::wstring::npos)
            << testing::PrintToString(strMessage);
}
