// Paths and their long-path forms, the process's locations, file queries and
// operations (with the errors they raise), directory trees, and reading and
// writing text files in every encoding, with and without a byte-order mark.
// Where Wine behaves differently from Windows, the test says so.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "RAde/HBufHGlobal.h"
#include "RAde/HBufMalloc.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "TestSupport.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kUtf16LeMark = "\xFF\xFE";
const std::string kUtf16BeMark = "\xFE\xFF";

const std::wstring kAsciiText = L"Halvik Ulvo Suite\r\nsecond line: version 1.0";
// "Grüße € " and a character outside the basic plane (U+1F600).
const std::wstring kWideText = L"Gr\u00FC\u00DFe \u20AC \xD83D\xDE00";
const std::string kWideTextAsUtf8 = "Gr\xC3\xBC\xC3\x9F"
                                    "e \xE2\x82\xAC \xF0\x9F\x98\x80";

std::string Utf16Bytes(const std::wstring& strText, bool bBigEndian)
{
    std::string bytes;
    for (wchar_t ch : strText) {
        char chLow = static_cast<char>(ch & 0xFF), chHigh = static_cast<char>(ch >> 8);
        bytes += bBigEndian ? chHigh : chLow;
        bytes += bBigEndian ? chLow : chHigh;
    }
    return bytes;
}

std::string AsciiBytes(const std::wstring& strText)
{
    return std::string(strText.begin(), strText.end());
}

std::wstring ReadFileHolding(const std::string& bytes, int nDefaultEncoding)
{
    CTempFile file(L"read", bytes);
    return CHFileUtilities::ReadTextFile(file.Path(), nDefaultEncoding);
}

}  // namespace

TEST(CHFileUtilities, SetPathSeparatorReplacesBothKinds)
{
    EXPECT_EQ(CHFileUtilities::SetPathSeparator(L"C:/a\\b/c", L'\\'), L"C:\\a\\b\\c");
    EXPECT_EQ(CHFileUtilities::SetPathSeparator(L"\\\\srv/share", L'/'), L"//srv/share");
    EXPECT_EQ(CHFileUtilities::SetPathSeparator(L"", L'\\'), L"");
}

TEST(CHFileUtilities, IsRelativePathKnowsDrivesAndNetworkPaths)
{
    EXPECT_TRUE(CHFileUtilities::IsRelativePath(L""));
    EXPECT_TRUE(CHFileUtilities::IsRelativePath(L"\\x"));
    EXPECT_TRUE(CHFileUtilities::IsRelativePath(L"a\\b"));
    EXPECT_TRUE(CHFileUtilities::IsRelativePath(L"C"));
    EXPECT_FALSE(CHFileUtilities::IsRelativePath(L"C:x"));
    EXPECT_FALSE(CHFileUtilities::IsRelativePath(L"C:\\x"));
    EXPECT_FALSE(CHFileUtilities::IsRelativePath(L"\\\\s"));
}

TEST(CHFileUtilities, GetUnicodePathGivesTheLongPathFormOfAbsolutePaths)
{
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"\\\\srv\\share\\f"), L"\\\\?\\UNC\\srv\\share\\f");
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"//srv/share/f"), L"\\\\?\\UNC\\srv\\share\\f");
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"C:/x/y"), L"\\\\?\\C:\\x\\y");
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"a/b\\c"), L"a\\b\\c");
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"\\x/y"), L"\\x\\y");
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L""), L"");
    // Paths already in the long form are not prefixed twice.
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(CHFileUtilities::GetUnicodePath(L"\\\\?\\UNC\\srv\\share"), L"\\\\?\\UNC\\srv\\share");
}

TEST(CHFileUtilities, ReadTextFileGivesTheSameTextForEveryMarkedEncoding)
{
    // The default encoding (ANSI) must not matter when the file decides.
    const int nDefault = HTEXT_ENCODING_ANSI;
    EXPECT_EQ(ReadFileHolding(kUtf8Mark + AsciiBytes(kAsciiText), nDefault), kAsciiText);
    EXPECT_EQ(ReadFileHolding(kUtf16BeMark + Utf16Bytes(kAsciiText, true), nDefault), kAsciiText);
    EXPECT_EQ(ReadFileHolding(kUtf16LeMark + Utf16Bytes(kAsciiText, false), nDefault), kAsciiText);
    // Without a mark, UTF-16 text of ASCII characters is recognised by its zero bytes.
    EXPECT_EQ(ReadFileHolding(Utf16Bytes(kAsciiText, false), nDefault), kAsciiText);

    EXPECT_EQ(ReadFileHolding(kUtf8Mark + kWideTextAsUtf8, nDefault), kWideText);
    EXPECT_EQ(ReadFileHolding(kUtf16BeMark + Utf16Bytes(kWideText, true), nDefault), kWideText);
    EXPECT_EQ(ReadFileHolding(kUtf16LeMark + Utf16Bytes(kWideText, false), nDefault), kWideText);
}

TEST(CHFileUtilities, ReadTextFileUsesTheDefaultEncodingForUnmarkedText)
{
    // "Année" with an e acute (0xE9), read through the ANSI code page as the system reads it.
    const std::string bytes = "Ann\xE9"
                              "e 2024: Halvik Ulvo Suite";
    wchar_t szExpected[64] = {};
    ASSERT_GT(::MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, szExpected, 64), 0);
    EXPECT_EQ(ReadFileHolding(bytes, HTEXT_ENCODING_ANSI), szExpected);

    EXPECT_EQ(ReadFileHolding(kWideTextAsUtf8, HTEXT_ENCODING_UTF8), kWideText);
    // Detection is no encoding to decode with.
    EXPECT_EQ(ReadFileHolding(AsciiBytes(kAsciiText), HTEXT_ENCODING_DETECT), L"");
}

TEST(CHFileUtilities, ReadTextFileOfAnEmptyFileOrOfAMarkAloneIsEmpty)
{
    EXPECT_EQ(ReadFileHolding("", HTEXT_ENCODING_ANSI), L"");
    EXPECT_EQ(ReadFileHolding(kUtf8Mark, HTEXT_ENCODING_ANSI), L"");
    EXPECT_EQ(ReadFileHolding(kUtf16LeMark, HTEXT_ENCODING_ANSI), L"");
    EXPECT_EQ(ReadFileHolding(kUtf16BeMark, HTEXT_ENCODING_ANSI), L"");
}

TEST(CHFileUtilities, ReadTextFileOfAMissingFileNamesTheFile)
{
    const std::wstring strPath = UniqueTempPath(L"missing") + L".txt";
    CHException e = CatchThrown([&] { CHFileUtilities::ReadTextFile(strPath, HTEXT_ENCODING_UTF8); });

    const int nFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{nFileNotFound, 1005, 1005}));
    EXPECT_EQ(e.GetDescription(0), GetErrorMessageText(ERROR_FILE_NOT_FOUND) + L"\n\tFilename:\t" + strPath + L"\n");
    // The failure and both catches of the value-attaching idiom are in the method itself.
    EXPECT_EQ(ErrorFunctionsOf(e), std::vector<std::wstring>(3, L"CHFileUtilities::ReadTextFile"));
}

TEST(CHFileUtilities, ReadTextFileTakesForwardSlashes)
{
    CTempFile file(L"slashes", kUtf8Mark + kWideTextAsUtf8);
    std::wstring strForward = CHFileUtilities::SetPathSeparator(file.Path(), L'/');
    ASSERT_NE(strForward.find(L'/'), std::wstring::npos);
    EXPECT_EQ(CHFileUtilities::ReadTextFile(strForward, HTEXT_ENCODING_ANSI), kWideText);
}

TEST(CHFileUtilities, ReadTextFileReadsBeyondTheClassicPathLimit)
{
    // Folders created through the long-path form, removed again in reverse order.
    struct CFolders
    {
        std::vector<std::wstring> paths;
        ~CFolders()
        {
            for (auto it = paths.rbegin(); it != paths.rend(); ++it)
                ::RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
        }
    } folders;
    std::wstring strFolder = UniqueTempPath(L"long");
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            strFolder += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + strFolder).c_str(), nullptr)) << ::GetLastError();
        folders.paths.push_back(strFolder);
    }
    const std::wstring strPath = strFolder + L"\\text.txt";
    ASSERT_GT(strPath.size(), 260u);
    WriteFileBytes(L"\\\\?\\" + strPath, kUtf16LeMark + Utf16Bytes(kAsciiText, false));

    EXPECT_EQ(CHFileUtilities::ReadTextFile(strPath, HTEXT_ENCODING_ANSI), kAsciiText);
    ::DeleteFileW((L"\\\\?\\" + strPath).c_str());
}

TEST(CHFileUtilities, FileContentToStringReadsLockedBuffersAndUnmarkedBigEndianText)
{
    CHBufHGlobal globalBuffer;
    std::string bytes = kUtf16BeMark + Utf16Bytes(kWideText, true);
    globalBuffer.Copy(bytes.data(), bytes.size());
    EXPECT_EQ(CHFileUtilities::FileContentToString(globalBuffer, HTEXT_ENCODING_ANSI), kWideText);
    // The buffer was unlocked again.
    EXPECT_EQ(::GlobalFlags(globalBuffer.GetHandle()) & GMEM_LOCKCOUNT, 0u);

    // Unmarked big-endian text is recognised by its byte-swapped spaces and
    // line breaks. (Not by digits: a big-endian "0" reads as U+3000, an
    // ideographic space, which the system takes for little-endian text.)
    const std::wstring strLetters = L"Halvik Ulvo Suite\r\nsecond line";
    CHBufMalloc heapBuffer;
    bytes = Utf16Bytes(strLetters, true);
    heapBuffer.Copy(bytes.data(), bytes.size());
    EXPECT_EQ(CHFileUtilities::FileContentToString(heapBuffer, HTEXT_ENCODING_ANSI), strLetters);

    // Invalid UTF-8 behind a mark gives an empty text rather than a guess.
    bytes = kUtf8Mark + "bad \xC3\x28 byte";
    heapBuffer.Copy(bytes.data(), bytes.size());
    EXPECT_EQ(CHFileUtilities::FileContentToString(heapBuffer, HTEXT_ENCODING_ANSI), L"");
}

// ---------------------------------------------------------------------------
// Path arithmetic

namespace {

const int kFileNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const int kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const int kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
const int kSharingViolation = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);

// The trail of a failure that a method raised itself, with its own library
// entry, and passed out through its catch idiom.
std::vector<int> Raised(int nSystemCode, HError libraryError)
{
    return {nSystemCode, static_cast<int>(libraryError), 1005};
}

// Opened for reading without any sharing, as another program holding it would.
CHFileHandle HoldExclusively(const std::wstring& strPath)
{
    CHFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file.IsValid()) << ::GetLastError();
    return file;
}

bool IsReadOnly(const std::wstring& strPath)
{
    DWORD dwAttributes = ::GetFileAttributesW(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_READONLY);
}

}  // namespace

TEST(CHFileUtilities, FileNameAndFolderSplitAtTheLastSeparatorOfEitherKind)
{
    EXPECT_EQ(CHFileUtilities::GetFilenameFromPath(L"C:/a\\b.txt"), L"b.txt");
    EXPECT_EQ(CHFileUtilities::GetPathFromFilename(L"C:/a\\b.txt"), L"C:/a\\");
    EXPECT_EQ(CHFileUtilities::GetFilenameFromPath(L"C:\\a/b.txt"), L"b.txt");
    EXPECT_EQ(CHFileUtilities::GetPathFromFilename(L"C:\\a/b.txt"), L"C:\\a/");
    EXPECT_EQ(CHFileUtilities::GetFilenameFromPath(L"b.txt"), L"b.txt");
    EXPECT_EQ(CHFileUtilities::GetPathFromFilename(L"b.txt"), L"");
    EXPECT_EQ(CHFileUtilities::GetFilenameFromPath(L"C:\\a\\"), L"");
    EXPECT_EQ(CHFileUtilities::GetPathFromFilename(L"C:\\a\\"), L"C:\\a\\");
}

TEST(CHFileUtilities, ExtensionsBelongToTheFileName)
{
    EXPECT_EQ(CHFileUtilities::GetFileExtension(L"C:\\a\\b.tar.gz"), L".gz");
    EXPECT_EQ(CHFileUtilities::GetFileExtension(L".profile"), L"");
    EXPECT_EQ(CHFileUtilities::GetFileExtension(L"dir\\.x"), L"");
    EXPECT_EQ(CHFileUtilities::GetFileExtension(L"dir/.x"), L"");
    EXPECT_EQ(CHFileUtilities::GetFileExtension(L"README"), L"");
    // A dot in a folder's name is no extension of the file.
    EXPECT_EQ(CHFileUtilities::GetFileExtension(L"C:\\v1.2\\README"), L"");

    EXPECT_EQ(CHFileUtilities::GetFilenameWithoutExtension(L"C:\\a\\b.tar.gz"), L"b.tar");
    EXPECT_EQ(CHFileUtilities::GetFilenameWithoutExtension(L"README"), L"");
    EXPECT_EQ(CHFileUtilities::GetFilenameWithoutExtension(L"C:\\v1.2\\README"), L"");
    EXPECT_EQ(CHFileUtilities::GetFilenameWithoutExtension(L".profile"), L"");
}

TEST(CHFileUtilities, SeparatorsAreAddedOnceAndJoinedOnce)
{
    std::wstring strPath;
    CHFileUtilities::EnsurePathSeparatorAtEnd(strPath, L"\\");
    EXPECT_EQ(strPath, L"");
    strPath = L"C:\\a/";
    CHFileUtilities::EnsurePathSeparatorAtEnd(strPath, L"\\");
    EXPECT_EQ(strPath, L"C:\\a/");
    strPath = L"C:\\a";
    CHFileUtilities::EnsurePathSeparatorAtEnd(strPath, L"/");
    EXPECT_EQ(strPath, L"C:\\a/");

    EXPECT_EQ(CHFileUtilities::ConcatPathname(L"C:\\a", L"\\b"), L"C:\\a\\b");
    EXPECT_EQ(CHFileUtilities::ConcatPathname(L"C:\\a\\", L"b"), L"C:\\a\\b");
    EXPECT_EQ(CHFileUtilities::ConcatPathname(L"C:\\a/", L"/b"), L"C:\\a/b");
    EXPECT_EQ(CHFileUtilities::ConcatPathname(L"C:\\a", L""), L"C:\\a");
    EXPECT_EQ(CHFileUtilities::ConcatPathname(L"", L""), L"");

    CHException e = CatchThrown([] { CHFileUtilities::ConcatPathname(L"", L"b"); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1010, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"Invalid function parameter.\n\tCHFileUtilities::ConcatPathname()str1:\t\n"
                                   L"\tCHFileUtilities::ConcatPathname()str2:\tb\n");
}

TEST(CHFileUtilities, StartAndEndSeparatorRuns)
{
    std::wstring strStart = L"x", strEnd = L"x";
    CHFileUtilities::GetStartEndSeparators(L"\\\\srv\\share/", strStart, strEnd);
    EXPECT_EQ(strStart, L"\\\\");
    EXPECT_EQ(strEnd, L"/");
    CHFileUtilities::GetStartEndSeparators(L"C:\\a", strStart, strEnd);
    EXPECT_EQ(strStart, L"");
    EXPECT_EQ(strEnd, L"");
    CHFileUtilities::GetStartEndSeparators(L"", strStart, strEnd);
    EXPECT_EQ(strStart, L"");
    EXPECT_EQ(strEnd, L"");
}

TEST(CHFileUtilities, RemoveUnicodePathUndoesBothLongForms)
{
    for (const wchar_t* pszPath : {L"\\\\srv\\share\\f", L"C:\\x\\y", L"a\\b"}) {
        std::wstring strPath = CHFileUtilities::GetUnicodePath(pszPath);
        CHFileUtilities::RemoveUnicodePath(strPath);
        EXPECT_EQ(strPath, pszPath);
    }
    std::wstring strPlain = L"C:\\x";
    CHFileUtilities::RemoveUnicodePath(strPlain);
    EXPECT_EQ(strPlain, L"C:\\x");
}

TEST(CHFileUtilities, MakeAbsolutePathAppliesDotDotAndKeepsTheSeparatorRuns)
{
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"C:\\a\\b", L"..\\c\\"), L"C:\\a\\c\\");
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"C:\\a\\b\\", L"c/d"), L"C:\\a\\b\\c\\d");
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"\\\\srv\\share\\a", L"..\\b"), L"\\\\srv\\share\\b");
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"\\\\?\\C:\\a", L"..\\b"), L"\\\\?\\C:\\b");
    // "." stays, and ".." removes the name before it, not the ".".
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"C:\\a\\b", L".\\..\\c"), L"C:\\a\\.\\c");
    // Absolute second arguments come back unchanged.
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"C:\\a", L"D:\\x\\..\\y"), L"D:\\x\\..\\y");
    EXPECT_EQ(CHFileUtilities::MakeAbsolutePath(L"", L"\\\\srv\\s"), L"\\\\srv\\s");
}

TEST(CHFileUtilities, MakeAbsolutePathNeverClimbsAboveTheRoot)
{
    struct Case
    {
        const wchar_t* pszBase;
        const wchar_t* pszPath;
    };
    const Case cases[] = {
        {L"C:\\a", L"..\\..\\x"},       // would remove the drive
        {L"\\\\srv\\share", L"..\\x"},  // would remove the share
        {L"\\\\srv\\share\\a", L"..\\..\\x"},
        {L"\\\\?\\UNC\\srv\\share", L"..\\x"},
        {L"a", L"..\\..\\x"},  // nothing left to remove
        {L"", L"x"},           // no base at all
    };
    for (const Case& c : cases) {
        CHException e = CatchThrown([&] { CHFileUtilities::MakeAbsolutePath(c.pszBase, c.pszPath); });
        EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1010, 1005})) << testing::PrintToString(c.pszBase);
        EXPECT_EQ(ValuesNamed(e, L"Path"), std::vector<std::wstring>{c.pszPath});
    }
}

// ---------------------------------------------------------------------------
// Locations

TEST(CHFileUtilities, ExecutableLocationsAgreeWithTheModuleFileName)
{
    std::wstring strModule(32768, L'\0');
    strModule.resize(::GetModuleFileNameW(nullptr, strModule.data(), static_cast<DWORD>(strModule.size())));
    ASSERT_FALSE(strModule.empty());

    EXPECT_EQ(GetExePath(), strModule);
    const std::wstring strDirectory = CHFileUtilities::GetExeDirectory();
    ASSERT_FALSE(strDirectory.empty());
    EXPECT_EQ(strDirectory.back(), L'\\');
    EXPECT_EQ(strDirectory + CHFileUtilities::GetExeFile(), strModule);
    EXPECT_EQ(CHFileUtilities::GetExeFile(), strModule.substr(strModule.find_last_of(L'\\') + 1));
}

TEST(CHFileUtilities, CurrentAndTemporaryDirectoriesAreTheSystemsInLongForm)
{
    wchar_t szCurrent[MAX_PATH] = {};
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, szCurrent), 0u);
    EXPECT_EQ(CHFileUtilities::GetCurrentDirectoryW(), szCurrent);

    wchar_t szTemp[MAX_PATH + 1] = {}, szLong[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH + 1, szTemp), 0u);
    ASSERT_GT(::GetLongPathNameW(szTemp, szLong, MAX_PATH + 1), 0u);
    const std::wstring strTemp = CHFileUtilities::GetTempDirectory();
    EXPECT_EQ(strTemp, szLong);
    ASSERT_FALSE(strTemp.empty());
    EXPECT_EQ(strTemp.back(), L'\\');
}

TEST(CHFileUtilities, ShortAndLongFormsOfAFileRoundTrip)
{
    CTempFolder folder(L"names");
    const std::wstring strPath = folder / L"a long file name with spaces.text";
    WriteFileBytes(strPath, "x");
    wchar_t szShort[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(strPath.c_str(), szShort, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(szShort), strPath) << "the system gave the file no 8.3 name";

    EXPECT_EQ(CHFileUtilities::GetShortFilePath(strPath), szShort);
    EXPECT_EQ(CHFileUtilities::GetLongFilePath(szShort), strPath);
    EXPECT_EQ(CHFileUtilities::GetLongFilePath(CHFileUtilities::SetPathSeparator(szShort, L'/')), strPath);

    // A missing file has no short form: the path comes back as it was given.
    const std::wstring strMissing = CHFileUtilities::SetPathSeparator(folder / L"no such folder/x y.txt", L'/');
    EXPECT_EQ(CHFileUtilities::GetShortFilePath(strMissing), strMissing);

    // Paths within the classic limit are sent in the plain form (see the next test).
    const std::wstring strSent = CHFileUtilities::SetPathSeparator(strMissing, L'\\');
    ::SetLastError(0xdeadbeef);
    ASSERT_EQ(::GetLongPathNameW(strSent.c_str(), nullptr, 0), 0u);
    const int nExpected = HRESULT_FROM_WIN32(::GetLastError());
    CHException e = CatchThrown([&] { CHFileUtilities::GetLongFilePath(strMissing); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{nExpected, 1005}));
    EXPECT_EQ(ValuesNamed(e, L"File"), std::vector<std::wstring>{strMissing});
    EXPECT_EQ(ValuesNamed(e, L"FileSentToWin32"), std::vector<std::wstring>{strSent});
}

TEST(CHFileUtilities, ShortFormLongerThanTheClassicLimitIsAskedForAgain)
{
    // Names that are their own 8.3 form keep the short form long.
    CTempFolder folder(L"short");
    std::wstring strFolder = folder.Path();
    for (int i = 0; strFolder.size() < 300; ++i) {
        strFolder += L"\\d" + std::to_wstring(1000000 + i);
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + strFolder).c_str(), nullptr)) << ::GetLastError();
    }
    const std::wstring strPath = strFolder + L"\\file.txt";
    WriteFileBytes(L"\\\\?\\" + strPath, "x");

    std::wstring strExpected(1024, L'\0');
    strExpected.resize(::GetShortPathNameW((L"\\\\?\\" + strPath).c_str(), strExpected.data(), 1024));
    ASSERT_GT(strExpected.size(), static_cast<size_t>(MAX_PATH) + 4);
    CHFileUtilities::RemoveUnicodePath(strExpected);
    EXPECT_EQ(CHFileUtilities::GetShortFilePath(strPath), strExpected);
}

// ---------------------------------------------------------------------------
// Queries

TEST(CHFileUtilities, FileExistsFindsFilesAndFoldersButNoPatterns)
{
    CTempFolder folder(L"exists");
    WriteFileBytes(folder / L"abc.txt", "x");
    EXPECT_TRUE(CHFileUtilities::FileExists(folder / L"abc.txt"));
    EXPECT_TRUE(CHFileUtilities::FileExists(CHFileUtilities::SetPathSeparator(folder / L"abc.txt", L'/')));
    EXPECT_TRUE(CHFileUtilities::FileExists(L"\\\\?\\" + (folder / L"abc.txt")));
    EXPECT_TRUE(CHFileUtilities::FileExists(folder.Path()));
    EXPECT_FALSE(CHFileUtilities::FileExists(folder / L"abd.txt"));
    EXPECT_FALSE(CHFileUtilities::FileExists(L""));
    // A search would match these names against abc.txt.
    EXPECT_FALSE(CHFileUtilities::FileExists(folder / L"ab*.txt"));
    EXPECT_FALSE(CHFileUtilities::FileExists(folder / L"ab?.txt"));
    // The long form is taken literally; the plain second search resolves "..".
    const std::wstring strName = CHFileUtilities::GetFilenameFromPath(folder.Path());
    EXPECT_TRUE(CHFileUtilities::FileExists(folder / (L"..\\" + strName + L"\\abc.txt")));
}

TEST(CHFileUtilities, CheckFileExistsRaisesTheSystemsFileNotFound)
{
    CTempFolder folder(L"check");
    WriteFileBytes(folder / L"here.txt", "x");
    CHFileUtilities::CheckFileExists(folder / L"here.txt");

    const std::wstring strMissing = folder / L"gone.txt";
    CHException e = CatchThrown([&] { CHFileUtilities::CheckFileExists(strMissing); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{kFileNotFound, 1005}));
    EXPECT_EQ(e.GetDescription(0), GetErrorMessageText(ERROR_FILE_NOT_FOUND) + L"\n\tFile:\t" + strMissing + L"\n");
}

TEST(CHFileUtilities, IsDirectoryTellsFoldersFromFiles)
{
    CTempFolder folder(L"isdir");
    WriteFileBytes(folder / L"file.txt", "x");
    EXPECT_TRUE(CHFileUtilities::IsDirectory(L"C:\\"));
    EXPECT_TRUE(CHFileUtilities::IsDirectory(L"c:/"));
    EXPECT_TRUE(CHFileUtilities::IsDirectory(folder.Path()));
    EXPECT_TRUE(CHFileUtilities::IsDirectory(folder.Path() + L"\\"));
    EXPECT_TRUE(CHFileUtilities::IsDirectory(folder.Path() + L"/"));
    EXPECT_FALSE(CHFileUtilities::IsDirectory(folder / L"file.txt"));
    EXPECT_FALSE(CHFileUtilities::IsDirectory(folder / L"missing"));
    EXPECT_FALSE(CHFileUtilities::IsDirectory(folder.Path() + L"\\*"));
}

TEST(CHFileUtilities, GetFileSizeIsSixtyFourBitsWide)
{
    CTempFolder folder(L"size");
    WriteFileBytes(folder / L"small.bin", "12345");
    EXPECT_EQ(CHFileUtilities::GetFileSize(folder / L"small.bin"), 5u);
    EXPECT_EQ(CHFileUtilities::GetFileSize(folder / L"missing.bin"), 0u);
    EXPECT_EQ(CHFileUtilities::GetFileSize(folder.Path()), 0u);

    // 4 GiB and 3 bytes, sparse where the file system allows it.
    const std::wstring strLarge = folder / L"large.bin";
    {
        CHFileHandle file(::CreateFileW(strLarge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file.IsValid());
        DWORD dwReturned = 0;
        ::DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &dwReturned, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = 0x100000003LL;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.Get())) << ::GetLastError();
    }
    EXPECT_EQ(CHFileUtilities::GetFileSize(strLarge), 0x100000003ULL);
}

// ---------------------------------------------------------------------------
// Operations on files

TEST(CHFileUtilities, SetFileReadonlySetsAndClearsTheAttribute)
{
    CTempFolder folder(L"readonly");
    const std::wstring strPath = folder / L"f.txt";
    WriteFileBytes(strPath, "x");
    CHFileUtilities::SetFileReadonly(strPath, true);
    EXPECT_TRUE(IsReadOnly(strPath));
    CHFileUtilities::SetFileReadonly(strPath, false);
    EXPECT_FALSE(IsReadOnly(strPath));

    // A failure is reported as the C runtime reports it: errno and its text.
    CHException e = CatchThrown([&] { CHFileUtilities::SetFileReadonly(folder / L"missing.txt", true); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{ENOENT, 1005}));
    EXPECT_EQ(e.GetDescription(0), std::wstring(_wcserror(ENOENT)) + L"\n");
}

TEST(CHFileUtilities, DeleteFileClearsReadOnlyOnlyWhenAsked)
{
    CTempFolder folder(L"delete");
    const std::wstring strPath = folder / L"f.txt";
    WriteFileBytes(strPath, "x");
    ::SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_READONLY);

    CHException e = CatchThrown([&] { CHFileUtilities::DeleteFileW(strPath, false); });
    EXPECT_EQ(ErrorCodesOf(e), Raised(kAccessDenied, HError::DeleteFileFailed));
    EXPECT_EQ(e.GetDescription(0), L"Failed to delete file.\n\tFile:\t" + strPath + L"\n");
    EXPECT_TRUE(IsReadOnly(strPath));

    CHFileUtilities::DeleteFileW(strPath, true);
    EXPECT_FALSE(Exists(strPath));

    // Without a file, clearing is no help: the system's answer is reported.
    e = CatchThrown([&] { CHFileUtilities::DeleteFileW(strPath, true); });
    EXPECT_EQ(ErrorCodesOf(e), Raised(kFileNotFound, HError::DeleteFileFailed));
    EXPECT_EQ(ValuesNamed(e, L"File"), std::vector<std::wstring>{strPath});
}

TEST(CHFileUtilities, DeleteFileOfAFileInUseChangesNothing)
{
    CTempFolder folder(L"inuse");
    const std::wstring strPath = folder / L"f.txt";
    WriteFileBytes(strPath, "x");
    {
        CHFileHandle held = HoldExclusively(strPath);
        CHException e = CatchThrown([&] { CHFileUtilities::DeleteFileW(strPath, true); });
        EXPECT_EQ(ErrorCodesOf(e), Raised(kSharingViolation, HError::DeleteFileFailed));
    }
    EXPECT_EQ(ReadFileBytes(strPath), "x");

    // Read-only and in use: nothing changes, not even the attribute. (On
    // Windows the attribute is cleared for a second try and put back; Wine
    // reports the sharing violation before it looks at the attribute.)
    ::SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        CHFileHandle held = HoldExclusively(strPath);
        CatchThrown([&] { CHFileUtilities::DeleteFileW(strPath, true); });
    }
    EXPECT_TRUE(IsReadOnly(strPath));
    EXPECT_EQ(ReadFileBytes(strPath), "x");
}

TEST(CHFileUtilities, MoveAndCopyReplaceOnlyWhenAllowed)
{
    // Each the same three steps, with its own errors and what stays behind.
    const struct
    {
        const char* pszName;
        void (*pfnTransfer)(const std::wstring&, const std::wstring&, bool);
        HRESULT hrExists;
        HError error;
        const wchar_t* pszDescription;
        bool bSourceStays;
    } kTransfers[] = {
        {"move", &CHFileUtilities::MoveFileW, HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), HError::MoveFileFailed,
         L"Failed to move file.", false},
        {"copy", &CHFileUtilities::CopyFileW, HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), HError::CopyFileFailed,
         L"Failed to copy file.", true},
    };
    for (const auto& test : kTransfers) {
        SCOPED_TRACE(test.pszName);
        CTempFolder folder(L"transfer");
        const std::wstring strSource = folder / L"src.txt", strDestination = folder / L"dst.txt";
        WriteFileBytes(strSource, "new");
        WriteFileBytes(strDestination, "old");

        CHException e = CatchThrown([&] { test.pfnTransfer(strSource, strDestination, true); });
        EXPECT_EQ(ErrorCodesOf(e), Raised(test.hrExists, test.error));
        EXPECT_EQ(e.GetDescription(0), std::wstring(test.pszDescription) + L"\n\tSrcFile:\t" + strSource +
                                           L"\n\tDstFile:\t" + strDestination + L"\n");
        EXPECT_EQ(ReadFileBytes(strDestination), "old");

        // A read-only destination is replaced as well. (Windows refuses to
        // move over it until the attribute is cleared; Wine moves anyway.)
        ::SetFileAttributesW(strDestination.c_str(), FILE_ATTRIBUTE_READONLY);
        test.pfnTransfer(strSource, strDestination, false);
        EXPECT_EQ(Exists(strSource), test.bSourceStays);
        EXPECT_EQ(ReadFileBytes(strDestination), "new");

        e = CatchThrown([&] { test.pfnTransfer(folder / L"missing.txt", strDestination, false); });
        EXPECT_EQ(ErrorCodesOf(e), Raised(kFileNotFound, test.error));
        EXPECT_EQ(ReadFileBytes(strDestination), "new");
    }
}

TEST(CHFileUtilities, MoveOrCopyOfASourceInUseKeepsTheDestination)
{
    CTempFolder folder(L"moveinuse");
    const std::wstring strSource = folder / L"src.txt", strDestination = folder / L"dst.txt";
    WriteFileBytes(strSource, "new");
    WriteFileBytes(strDestination, "old");
    CHFileHandle held = HoldExclusively(strSource);

    CHException e = CatchThrown([&] { CHFileUtilities::MoveFileW(strSource, strDestination, false); });
    EXPECT_EQ(ErrorCodesOf(e), Raised(kSharingViolation, HError::MoveFileFailed));
    e = CatchThrown([&] { CHFileUtilities::CopyFileW(strSource, strDestination, false); });
    EXPECT_EQ(ErrorCodesOf(e), Raised(kSharingViolation, HError::CopyFileFailed));
    EXPECT_EQ(ValuesNamed(e, L"SrcFile"), std::vector<std::wstring>{strSource});
    EXPECT_EQ(ValuesNamed(e, L"DstFile"), std::vector<std::wstring>{strDestination});

    held.Reset();
    EXPECT_EQ(ReadFileBytes(strSource), "new");
    EXPECT_EQ(ReadFileBytes(strDestination), "old");

    // A read-only destination in use stays as it was (the same two paths as
    // for deleting, above).
    ::SetFileAttributesW(strDestination.c_str(), FILE_ATTRIBUTE_READONLY);
    held = HoldExclusively(strDestination);
    e = CatchThrown([&] { CHFileUtilities::CopyFileW(strSource, strDestination, false); });
    EXPECT_EQ(ErrorCodesOf(e).at(1), static_cast<int>(HError::CopyFileFailed));
    held.Reset();
    EXPECT_TRUE(IsReadOnly(strDestination));
    EXPECT_EQ(ReadFileBytes(strDestination), "old");
}

// ---------------------------------------------------------------------------
// Directories

TEST(CHFileUtilities, BuildDirectoryCreatesTheWholeChain)
{
    CTempFolder folder(L"build");
    const std::wstring strChain = CHFileUtilities::SetPathSeparator(folder / L"a\\b\\c", L'/') + L"/";
    CHFileUtilities::BuildDirectory(strChain);
    EXPECT_TRUE(CHFileUtilities::IsDirectory(folder / L"a\\b\\c"));
    // Existing folders, or a part of the chain that exists, are no failure.
    CHFileUtilities::BuildDirectory(folder / L"a\\b\\c");
    CHFileUtilities::BuildDirectory(folder / L"a\\b\\d");
    EXPECT_TRUE(CHFileUtilities::IsDirectory(folder / L"a\\b\\d"));
    // As for a drive root (the folder of a file that lies in the root).
    CHFileUtilities::BuildDirectory(L"C:\\");
    CHFileUtilities::BuildDirectory(L"C:/");
}

TEST(CHFileUtilities, BuildDirectoryFailuresNameTheDirectory)
{
    CTempFolder folder(L"buildfail");
    const std::wstring strFile = folder / L"file";
    WriteFileBytes(strFile, "x");

    // The path itself is a file.
    CHException e = CatchThrown([&] { CHFileUtilities::BuildDirectory(strFile); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{2001, 1005, 2001, 1005}));
    EXPECT_EQ(ValuesNamed(e, L"Directory"), std::vector<std::wstring>(2, strFile));

    // A file in the middle of the chain: the system's answer, then the operation's.
    const std::wstring strBeyond = strFile + L"\\sub";
    e = CatchThrown([&] { CHFileUtilities::BuildDirectory(strBeyond); });
    ASSERT_EQ(ErrorCodesOf(e).size(), 4u);
    EXPECT_EQ(ErrorCodesOf(e)[0] & 0xFFFF0000, 0x80070000);
    EXPECT_EQ(ErrorCodesOf(e)[2], 2001);
    EXPECT_EQ(ValuesNamed(e, L"Directory"), std::vector<std::wstring>{strBeyond});
    EXPECT_FALSE(CHFileUtilities::IsDirectory(strFile));

    e = CatchThrown([] { CHFileUtilities::BuildDirectory(L""); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1010, 1005, 2001, 1005}));
    EXPECT_EQ(e.GetDescription(1), L"Failed to create directory.\n\tDirectory:\t\nInvalid function parameter.\n");
}

TEST(CHFileUtilities, BuildDirectoryNeverCreatesTheServerOrTheShare)
{
    // Wine serves "\\server\share\..." from the prefix's dosdevices\unc
    // folder, which lets a test watch what is created without a network.
    std::wstring strDevices = UnixFileName(L"C:\\");  // ".../dosdevices/c:/"
    if (strDevices.empty())
        GTEST_SKIP() << "needs Wine's mapping of network paths to a folder";
    while (!strDevices.empty() && strDevices.back() == L'/')
        strDevices.pop_back();
    strDevices.erase(strDevices.find_last_of(L'/'));
    const std::wstring strUnc = CHFileUtilities::SetPathSeparator(L"Z:" + strDevices + L"/unc", L'\\');
    const std::wstring strServerName = CHFileUtilities::GetFilenameFromPath(UniqueTempPath(L"srv"));
    const std::wstring strServer = strUnc + L"\\" + strServerName;
    ::CreateDirectoryW(strUnc.c_str(), nullptr);
    ASSERT_TRUE(::CreateDirectoryW(strServer.c_str(), nullptr)) << ::GetLastError();
    ASSERT_TRUE(::CreateDirectoryW((strServer + L"\\share").c_str(), nullptr));
    struct CCleanUp
    {
        std::wstring strPath;
        ~CCleanUp() { CTempFolder::RemoveTree(L"\\\\?\\" + strPath); }
    } cleanUp{strServer};

    const std::wstring strNetwork = L"\\\\" + strServerName;
    CHFileUtilities::BuildDirectory(strNetwork + L"\\share\\a\\b");
    EXPECT_TRUE(CHFileUtilities::IsDirectory(strServer + L"\\share\\a\\b"));
    CHFileUtilities::BuildDirectory(L"//" + strServerName + L"/share/a/c");
    EXPECT_TRUE(CHFileUtilities::IsDirectory(strServer + L"\\share\\a\\c"));

    // A missing share is not created: building below it fails.
    CHException e = CatchThrown([&] { CHFileUtilities::BuildDirectory(strNetwork + L"\\other\\a"); });
    ASSERT_FALSE(ErrorCodesOf(e).empty());
    EXPECT_EQ(ErrorCodesOf(e)[0] & 0xFFFF0000, 0x80070000);
    EXPECT_FALSE(Exists(strServer + L"\\other"));
}

TEST(CHFileUtilities, DeleteDirectoryDeletesATreeWithReadOnlyFiles)
{
    CTempFolder folder(L"deltree");
    const std::wstring strTree = folder / L"tree";
    CHFileUtilities::BuildDirectory(strTree + L"\\a\\b");
    CHFileUtilities::BuildDirectory(strTree + L"\\empty");
    for (const wchar_t* pszFile : {L"\\f1.txt", L"\\a\\f2.txt", L"\\a\\b\\f3.txt"}) {
        WriteFileBytes(strTree + pszFile, "x");
        ::SetFileAttributesW((strTree + pszFile).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_TRUE(CHFileUtilities::DeleteDirectory(CHFileUtilities::SetPathSeparator(strTree, L'/')));
    EXPECT_FALSE(Exists(strTree));
    EXPECT_TRUE(Exists(folder.Path()));

    CHException e = CatchThrown([&] { CHFileUtilities::DeleteDirectory(strTree); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{kPathNotFound, 1005, 1005}));
    EXPECT_EQ(ValuesNamed(e, L"CHFileUtilities::DeleteDirectory()Path"), std::vector<std::wstring>{strTree});
}

TEST(CHFileUtilities, DeleteDirectoryFailureDeepInTheTreeNamesEveryLevel)
{
    CTempFolder folder(L"deldeep");
    const std::wstring strTree = folder / L"tree";
    CHFileUtilities::BuildDirectory(strTree + L"\\a\\b");
    const std::wstring strHeld = strTree + L"\\a\\b\\held.txt";
    WriteFileBytes(strHeld, "x");
    CHFileHandle held = HoldExclusively(strHeld);

    CHException e = CatchThrown([&] { CHFileUtilities::DeleteDirectory(strTree); });
    // The file's failure, then each of the three levels' catch and DeleteDirectory's own.
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{kSharingViolation, 2012, 1005, 1005, 1005, 1005}));
    EXPECT_EQ(ValuesNamed(e, L"File"), std::vector<std::wstring>{strHeld});
    EXPECT_EQ(ValuesNamed(e, L"CHFileUtilities::DeleteDirectory()Path"),
              (std::vector<std::wstring>{strTree + L"\\a\\b", strTree + L"\\a", strTree}));
    held.Reset();
    EXPECT_EQ(ReadFileBytes(strHeld), "x");
}

TEST(CHFileUtilities, LinksAreNeverFollowedAndWhatTheyLeadToIsNeverDeleted)
{
    // Wine's links are Unix symbolic links (CUnixSymbolicLink): one to a
    // folder carries the reparse-point attribute, one to a file does not,
    // and both open as what they lead to, so that Wine's own DeleteFileW
    // and RemoveDirectoryW would delete the target (an empty folder, a file).
    // On Windows a junction or symbolic link opens as itself and goes alone.
    // (The launcher's end-to-end tests try a link to an empty folder, and a
    // staged folder that is itself a link.)
    struct CCase
    {
        const char* pszName;
        const wchar_t* pszLink;  // below the tree
        bool bToFolder;
    };
    const CCase cases[] = {
        {"a link to a folder in the tree", L"\\sub\\link", true},
        {"a link to a read-only file in the tree", L"\\sub\\link.txt", false},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        CTempFolder folder(L"dellink");
        const std::wstring strTarget = folder / L"target", strTree = folder / L"tree";
        CHFileUtilities::BuildDirectory(strTarget + L"\\inner");
        const std::wstring strKept = test.bToFolder ? strTarget : strTarget + L"\\kept.txt";
        WriteFileBytes(strTarget + L"\\kept.txt", "keep");
        ::SetFileAttributesW((strTarget + L"\\kept.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        CHFileUtilities::BuildDirectory(strTree + L"\\sub");
        WriteFileBytes(strTree + L"\\f.txt", "x");
        const std::wstring strLink = strTree + test.pszLink;
        const CUnixSymbolicLink link(strLink, strKept);
        if (!link.IsMade())
            GTEST_SKIP() << "needs Wine's ln -s (a junction on Windows needs other rights)";
        std::wstring strLeadsTo;
        EXPECT_EQ(CHFileUtilities::GetLinkKind(strLink, &strLeadsTo), HLinkKind::LeadsElsewhere);
        EXPECT_TRUE(CHStringHelper::EqualsNoCase(strLeadsTo.substr(4), strKept)) << testing::PrintToString(strLeadsTo);
        EXPECT_EQ(CHFileUtilities::GetLinkKind(strTarget), HLinkKind::NotALink);

        CLogCapture log;
        const CHException e = CatchThrown([&] { CHFileUtilities::DeleteDirectory(strTree); });
        EXPECT_EQ(ErrorCodesOf(e).front(), HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY));
        EXPECT_EQ(ValuesNamed(e, L"Directory"), std::vector<std::wstring>{strTree});
        EXPECT_FALSE(Exists(strTree + L"\\f.txt")) << "the rest of the tree is deleted";
        EXPECT_TRUE(Exists(strLink));
        EXPECT_TRUE(Exists(strTarget + L"\\inner"));
        EXPECT_EQ(::GetFileAttributesW((strTarget + L"\\kept.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
                  static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(CountLoggedContaining(log, HLOG_WARNING, strLink + L" leads to "), 1u);
    }
}

// ---------------------------------------------------------------------------
// Beyond the classic path limit

TEST(CHFileUtilities, DeepTreesAreBuiltWrittenCopiedMovedAndDeleted)
{
    CTempFolder folder(L"deep");
    std::wstring strDeep = folder / L"tree";
    for (wchar_t ch = L'a'; strDeep.size() < 280; ++ch)
        strDeep += L"\\" + std::wstring(40, ch);
    const std::wstring strFile = strDeep + L"\\text.txt", strCopy = strDeep + L"\\copy.txt",
                       strMoved = strDeep + L"\\moved.txt";
    ASSERT_GT(strDeep.size(), static_cast<size_t>(MAX_PATH));

    CHFileUtilities::BuildDirectory(strDeep);
    EXPECT_TRUE(CHFileUtilities::IsDirectory(strDeep));
    CHFileUtilities::WriteTextFile(strFile, kWideText, false, HTEXT_ENCODING_UTF8);
    EXPECT_TRUE(CHFileUtilities::FileExists(strFile));
    EXPECT_EQ(CHFileUtilities::GetFileSize(strFile), kUtf8Mark.size() + kWideTextAsUtf8.size());
    EXPECT_EQ(CHFileUtilities::ReadTextFile(strFile, HTEXT_ENCODING_ANSI), kWideText);

    CHFileUtilities::CopyFileW(strFile, strCopy, true);
    CHFileUtilities::MoveFileW(strCopy, strMoved, true);
    EXPECT_FALSE(CHFileUtilities::FileExists(strCopy));
    EXPECT_EQ(CHFileUtilities::ReadTextFile(strMoved, HTEXT_ENCODING_ANSI), kWideText);
    CHFileUtilities::SetFileReadonly(strMoved, true);
    CHFileUtilities::DeleteFileW(strMoved, true);
    EXPECT_FALSE(CHFileUtilities::FileExists(strMoved));

    EXPECT_TRUE(CHFileUtilities::DeleteDirectory(folder / L"tree"));
    EXPECT_FALSE(CHFileUtilities::FileExists(folder / L"tree"));
}

// ---------------------------------------------------------------------------
// Writing text

TEST(CHFileUtilities, WriteTextFileStartsANewFileWithTheMark)
{
    CTempFolder folder(L"write");
    const std::wstring strPath = folder / L"new\\folder\\text.txt";
    CHFileUtilities::WriteTextFile(strPath, kWideText, false, HTEXT_ENCODING_UTF8);
    EXPECT_EQ(ReadFileBytes(strPath), kUtf8Mark + kWideTextAsUtf8);
    CHFileUtilities::WriteTextFile(strPath, kWideText, false, HTEXT_ENCODING_UTF16LE);
    EXPECT_EQ(ReadFileBytes(strPath), kUtf16LeMark + Utf16Bytes(kWideText, false));
    CHFileUtilities::WriteTextFile(strPath, kWideText, false, HTEXT_ENCODING_UTF16BE);
    EXPECT_EQ(ReadFileBytes(strPath), kUtf16BeMark + Utf16Bytes(kWideText, true));
    CHFileUtilities::WriteTextFile(strPath, kAsciiText, false, HTEXT_ENCODING_ANSI);
    EXPECT_EQ(ReadFileBytes(strPath), AsciiBytes(kAsciiText));

    // Appending to a missing or an empty file writes a new one.
    const std::wstring strAppended = folder / L"appended.txt";
    CHFileUtilities::WriteTextFile(strAppended, L"ab", true, HTEXT_ENCODING_UTF16BE);
    EXPECT_EQ(ReadFileBytes(strAppended), kUtf16BeMark + Utf16Bytes(L"ab", true));
    WriteFileBytes(strAppended, "");
    CHFileUtilities::WriteTextFile(strAppended, L"ab", true, HTEXT_ENCODING_UTF8);
    EXPECT_EQ(ReadFileBytes(strAppended), kUtf8Mark + "ab");
}

TEST(CHFileUtilities, WriteTextFileAppendingKeepsTheFilesEncoding)
{
    CTempFolder folder(L"append");
    const std::wstring strPath = folder / L"text.txt";
    WriteFileBytes(strPath, kUtf8Mark + "first;");
    CHFileUtilities::WriteTextFile(strPath, kWideText, true, HTEXT_ENCODING_DETECT);
    EXPECT_EQ(ReadFileBytes(strPath), kUtf8Mark + "first;" + kWideTextAsUtf8);

    WriteFileBytes(strPath, kUtf16BeMark + Utf16Bytes(L"first;", true));
    CHFileUtilities::WriteTextFile(strPath, kWideText, true, HTEXT_ENCODING_DETECT);
    EXPECT_EQ(ReadFileBytes(strPath), kUtf16BeMark + Utf16Bytes(L"first;" + kWideText, true));

    // A file holding only its mark keeps it too.
    WriteFileBytes(strPath, kUtf16LeMark);
    CHFileUtilities::WriteTextFile(strPath, L"ab", true, HTEXT_ENCODING_DETECT);
    EXPECT_EQ(ReadFileBytes(strPath), kUtf16LeMark + Utf16Bytes(L"ab", false));

    // Without a mark the file is taken for ANSI.
    WriteFileBytes(strPath, "first;");
    CHFileUtilities::WriteTextFile(strPath, L"second", true, HTEXT_ENCODING_DETECT);
    EXPECT_EQ(ReadFileBytes(strPath), "first;second");

    // An explicit encoding is trusted, and no mark is written in the middle.
    CHFileUtilities::WriteTextFile(strPath, L"ab", true, HTEXT_ENCODING_UTF16LE);
    EXPECT_EQ(ReadFileBytes(strPath), "first;second" + Utf16Bytes(L"ab", false));
}

TEST(CHFileUtilities, WriteTextFileRefusesEncodingsItCannotWriteBeforeTouchingTheFile)
{
    CTempFolder folder(L"badenc");
    const std::wstring strPath = folder / L"text.txt";
    WriteFileBytes(strPath, "keep");
    for (auto [nEncoding, bAppend] : {std::pair{5, false}, std::pair{5, true}, std::pair{-1, true},
                                      std::pair{static_cast<int>(HTEXT_ENCODING_DETECT), false}}) {
        CHException e = CatchThrown([&] { CHFileUtilities::WriteTextFile(strPath, L"x", bAppend, nEncoding); });
        EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1010, 1005, 1005}));
        EXPECT_EQ(ValuesNamed(e, L"Filename"), std::vector<std::wstring>{strPath});
        EXPECT_EQ(ValuesNamed(e, L"Content"), std::vector<std::wstring>{L"x"});
    }
    EXPECT_EQ(ReadFileBytes(strPath), "keep");
}

TEST(CHFileUtilities, WriteTextFileFailuresNameTheFileAndTheContent)
{
    CTempFolder folder(L"writefail");
    const std::wstring strPath = folder / L"text.txt";
    WriteFileBytes(strPath, "keep");
    CHFileHandle held = HoldExclusively(strPath);
    CHException e = CatchThrown([&] { CHFileUtilities::WriteTextFile(strPath, L"100%", false, HTEXT_ENCODING_UTF8); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{kSharingViolation, 1005, 1005}));
    EXPECT_EQ(e.GetDescription(0),
              GetErrorMessageText(ERROR_SHARING_VIOLATION) + L"\n\tFilename:\t" + strPath + L"\n\tContent:\t100%%\n");
    held.Reset();
    EXPECT_EQ(ReadFileBytes(strPath), "keep");
}

TEST(CHFileUtilities, StringToFileContentAppendsToTheBuffer)
{
    CHBufMalloc heapBuffer;
    heapBuffer.Copy("ab", 2);
    CHFileUtilities::StringToFileContent(L"\u00E9", heapBuffer, HTEXT_ENCODING_UTF16BE, true);
    EXPECT_EQ(BufferBytes(heapBuffer), std::string("ab\xFE\xFF\x00\xE9", 6));
    CHFileUtilities::StringToFileContent(L"\u00E9", heapBuffer, HTEXT_ENCODING_UTF8, false);
    EXPECT_EQ(BufferBytes(heapBuffer), std::string("ab\xFE\xFF\x00\xE9\xC3\xA9", 8));
    CHFileUtilities::StringToFileContent(L"", heapBuffer, HTEXT_ENCODING_ANSI, true);
    EXPECT_EQ(heapBuffer.GetSize(), 8u);

    CHBufHGlobal globalBuffer;
    CHFileUtilities::StringToFileContent(L"a", globalBuffer, HTEXT_ENCODING_UTF16LE, true);
    EXPECT_EQ(BufferBytes(globalBuffer), std::string("\xFF\xFE"
                                                     "a\0",
                                                     4));

    for (int nEncoding : {0, 5}) {
        CHException e = CatchThrown([&] { CHFileUtilities::StringToFileContent(L"a", heapBuffer, nEncoding, true); });
        EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1010, 1005}));
    }
    EXPECT_EQ(heapBuffer.GetSize(), 8u);
}

TEST(CHFileUtilities, UnmarkedUtf16TextRecognisedOnlyByItsStatistics)
{
    // No spaces or line breaks (the control-character test), no mark, not
    // all ASCII (the ASCII-16 test): only the statistics can tell. Wine's
    // statistics test only counts characters below 256, so the Cyrillic word
    // comes with enough digits and punctuation to pass there as well; a
    // purely Cyrillic text goes unrecognised under Wine (and is read with the
    // default encoding), while Windows recognises it.
    const std::wstring strText = L"\u0412\u0435\u0440\u0441\u0438\u044F:1.0;2.0;3.1";
    const std::string bytes = Utf16Bytes(strText, false);
    int nTests =
        IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_CONTROLS | IS_TEXT_UNICODE_SIGNATURE;
    ASSERT_TRUE(::IsTextUnicode(bytes.data(), static_cast<int>(bytes.size()), &nTests));
    ASSERT_EQ(nTests, IS_TEXT_UNICODE_STATISTICS);

    EXPECT_EQ(ReadFileHolding(bytes, HTEXT_ENCODING_ANSI), strText);
    EXPECT_EQ(ReadFileHolding(bytes, HTEXT_ENCODING_UTF8), strText);
}
