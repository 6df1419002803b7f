// Long-path forms of paths, and reading text files in every encoding, with
// and without a byte-order mark.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RAde/HBufHGlobal.h"
#include "RAde/HBufMalloc.h"
#include "RAde/HFileUtilities.h"
#include "TestSupport.h"

namespace {

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kUtf16LeMark = "\xFF\xFE";
const std::string kUtf16BeMark = "\xFE\xFF";

const std::wstring kAsciiText = L"Halvik Ulvo Suite\r\nsecond line: version 1.0";
// "Grüße € " and a character outside the basic plane (U+1F600).
const std::wstring kWideText = L"Gr\u00FC\u00DFe \u20AC \xD83D\xDE00";
const std::string kWideTextAsUtf8 = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";

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

std::string AsciiBytes(const std::wstring& strText) { return std::string(strText.begin(), strText.end()); }

std::wstring ReadFileHolding(const std::string& bytes, int nDefaultEncoding)
{
    CTempFile file(L"read", bytes);
    return CHFileUtilities::ReadTextFile(file.Path(), nDefaultEncoding);
}

std::vector<std::wstring> EntryFunctions(const CHException& e)
{
    std::vector<std::wstring> functions;
    for (const CHXmlNode* pEntry : e.GetXml().GetChildren(L"errorentry"))
        for (const CHXmlNode* pFunction : pEntry->GetChildren(L"sourcefunction"))
            functions.push_back(pFunction->GetValue());
    return functions;
}

} // namespace

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
    const std::string bytes = "Ann\xE9" "e 2024: Halvik Ulvo Suite";
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
    EXPECT_EQ(EntryFunctions(e), std::vector<std::wstring>(3, L"CHFileUtilities::ReadTextFile"));
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
