// The raw-byte file: opening (with the folders it needs), writing, closing.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "RAde/HFile.h"
#include "RAde/HFileUtilities.h"
#include "TestSupport.h"

TEST(CHFile, OpenForWritingBuildsTheFoldersAndKeepsTheContent)
{
    CTempFolder folder(L"chfile");
    const std::wstring strPath = folder / L"a\\b\\data.bin";
    {
        CHFile file;
        file.Open(strPath, true);
        EXPECT_TRUE(file.IsOpen());
        file.WriteBytes("abcdef", 6);
    }
    EXPECT_EQ(ReadFileBytes(strPath), "abcdef");

    // Reopened for writing, the file is not emptied: writing starts at its beginning.
    CHFile file;
    file.Open(CHFileUtilities::SetPathSeparator(strPath, L'/'), true);
    file.WriteBytes("XY", 2);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFileBytes(strPath), "XYcdef");
}

TEST(CHFile, BytesAreWrittenUnchangedBeyondTheClassicPathLimit)
{
    CTempFolder folder(L"chfilelong");
    std::wstring strPath = folder.Path();
    while (strPath.size() < 300)
        strPath += L"\\" + std::wstring(50, L'f');
    strPath += L"\\data.bin";
    const std::string bytes("line\r\nwith\0zero\n", 16);

    CHFile file;
    file.OpenEx(strPath, _O_BINARY | _O_CREAT | _O_WRONLY | _O_TRUNC);
    file.WriteBytes(bytes.data(), bytes.size());
    file.Close();
    EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + strPath), bytes);
}

TEST(CHFile, ReadOnlyOpenOfAMissingFileFailsBeforeAnyOpen)
{
    CTempFolder folder(L"chfilemissing");
    const std::wstring strPath = folder / L"sub\\missing.bin";
    CHFile file;
    CHException e = CatchThrown([&] { file.Open(strPath, false); });
    // The system's code, not errno's: the C runtime was never asked.
    const std::vector<int> codes = ErrorCodesOf(e);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetDescription(0), GetErrorMessageText(ERROR_FILE_NOT_FOUND) + L"\n\tFile:\t" + strPath + L"\n");
    EXPECT_FALSE(file.IsOpen());
    // Nothing was created for it either.
    EXPECT_EQ(::GetFileAttributesW((folder / L"sub").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CHFile, OpenFailuresAreCRuntimeFailures)
{
    CTempFolder folder(L"chfileopen");
    const std::wstring strPath = folder / L"taken.bin";
    WriteFileBytes(strPath, "x");
    HANDLE hHeld = ::CreateFileW(strPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    CHFileHandle held(hHeld);

    CHFile file;
    CHException e = CatchThrown([&] { file.Open(strPath, true); });
    // The C runtime reports a file in use as "permission denied".
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{EACCES, 1005, 1005}));
    EXPECT_EQ(e.GetDescription(0), std::wstring(_wcserror(EACCES)) + L"\n\tFile:\t" + strPath + L"\n");
    EXPECT_FALSE(file.IsOpen());
}

TEST(CHFile, WritingNeedsAFileOpenForWriting)
{
    CHFile file;
    EXPECT_THROW(file.CheckFileOpen(), CHException);
    CHException e = CatchThrown([&] { file.WriteBytes("x", 1); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{2006, 1005, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"File not open.\n");

    // Open for reading only: the C runtime refuses the write.
    CTempFolder folder(L"chfileread");
    WriteFileBytes(folder / L"r.bin", "r");
    file.Open(folder / L"r.bin", false);
    e = CatchThrown([&] { file.WriteBytes("x", 1); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{EBADF, 1005}));
    file.Close();
    e = CatchThrown([&] { file.WriteBytes("x", 1); });
    EXPECT_EQ(ErrorCodesOf(e).front(), 2006);
    EXPECT_EQ(ReadFileBytes(folder / L"r.bin"), "r");
}

TEST(CHFile, TheDestructorClosesTheFile)
{
    CTempFolder folder(L"chfileclose");
    const std::wstring strPath = folder / L"d.bin";
    {
        CHFile file;
        file.Open(strPath, true);
        file.WriteBytes("d", 1);
    }
    // Nobody holds it any more: an exclusive open succeeds.
    CHFileHandle exclusive(
        ::CreateFileW(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(exclusive.IsValid()) << ::GetLastError();
}
