// Tokenizing and joining, code-page conversion in both directions, number
// texts, line-break normalisation and the wide printf rules of Format.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "RAde/HBufHGlobal.h"
#include "RAde/HBufMalloc.h"
#include "RAde/HStringHelper.h"
#include "TestSupport.h"

namespace {

using Tokens = std::vector<std::wstring>;

// "Grüße €" and a character outside the basic plane (U+1F600), as UTF-16 and as UTF-8.
const std::wstring kWideText = L"Gr\u00FC\u00DFe \u20AC \xD83D\xDE00";
const std::string kUtf8Text = "Gr\xC3\xBC\xC3\x9F"
                              "e \xE2\x82\xAC \xF0\x9F\x98\x80";

}  // namespace

TEST(CHStringHelper, TokenizeSkipsRunsOfAnyDelimiter)
{
    EXPECT_EQ(CHStringHelper::TokenizeString(L"\\a\\\\b\\", L"\\/"), (Tokens{L"a", L"b"}));
    EXPECT_EQ(CHStringHelper::TokenizeString(L"C:/x\\y//z", L"\\/"), (Tokens{L"C:", L"x", L"y", L"z"}));
    EXPECT_EQ(CHStringHelper::TokenizeString(L"single", L"\\/"), (Tokens{L"single"}));
    EXPECT_EQ(CHStringHelper::TokenizeString(L"///", L"/"), Tokens{});
}

TEST(CHStringHelper, TokenizeChecksDelimitersOnlyForNonEmptyText)
{
    EXPECT_EQ(CHStringHelper::TokenizeString(L"", nullptr), Tokens{});
    EXPECT_EQ(CHStringHelper::TokenizeString(L"", L""), Tokens{});

    for (const wchar_t* pszDelimiters : {static_cast<const wchar_t*>(nullptr), L""}) {
        CHException e = CatchThrown([&] { CHStringHelper::TokenizeString(L"a\\b", pszDelimiters); });
        EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1010, 1005}));
        EXPECT_TRUE(e.FindErrorCode(1010, nullptr));
    }
}

TEST(CHStringHelper, UnTokenizePutsTheSeparatorOnlyBetweenItems)
{
    EXPECT_EQ(CHStringHelper::UnTokenizeString({L"C:", L"a", L"c"}, L"\\"), L"C:\\a\\c");
    EXPECT_EQ(CHStringHelper::UnTokenizeString({L"one"}, L", "), L"one");
    EXPECT_EQ(CHStringHelper::UnTokenizeString({L"", L""}, L"-"), L"-");
    EXPECT_EQ(CHStringHelper::UnTokenizeString({}, L"\\"), L"");
}

TEST(CHStringHelper, ConvertNewlinesMakesEveryKindOfBreakTheSame)
{
    EXPECT_EQ(CHStringHelper::ConvertNewlinesTo(L"a\rb\nc\r\nd", L"\r\n"), L"a\r\nb\r\nc\r\nd");
    // "\n\r" is two breaks, not one; "\r\r\n" is two as well.
    EXPECT_EQ(CHStringHelper::ConvertNewlinesTo(L"a\n\rb\r\r\nc", L"|"), L"a||b||c");
    EXPECT_EQ(CHStringHelper::ConvertNewlinesTo(L"x\r\n", L""), L"x");
    EXPECT_EQ(CHStringHelper::ConvertNewlinesTo(L"no break", L"\r\n"), L"no break");
}

TEST(CHStringHelper, NumberTexts)
{
    EXPECT_EQ(CHStringHelper::IntToHexString(255), L"ff");
    EXPECT_EQ(CHStringHelper::IntToHexString(-1), L"ffffffff");
    EXPECT_EQ(CHStringHelper::IntToString(-1), L"-1");
    EXPECT_EQ(CHStringHelper::IntToString(INT_MIN), L"-2147483648");
}

TEST(CHStringHelper, FormatUsesTheWidePrintfRules)
{
    // "%s" takes a wide string here; with the narrow rules only "w" would show.
    EXPECT_EQ(CHStringHelper::Format(L"%s=%d [%-6s]", L"wide", 42, L"ab"), L"wide=42 [ab    ]");
    EXPECT_EQ(CHStringHelper::Format(L"%0.16f", 36526.5), L"36526.5000000000000000");
    EXPECT_EQ(CHStringHelper::Format(L"%I64u", 0x100000000ull), L"4294967296");
    EXPECT_EQ(CHStringHelper::Format(L"no arguments"), L"no arguments");
    // Longer than any fixed buffer a formatter might start with.
    std::wstring strLong(5000, L'x');
    EXPECT_EQ(CHStringHelper::Format(L"<%s>", strLong.c_str()), L"<" + strLong + L">");
}

TEST(CHStringHelper, MultiByteToStringConvertsUtf8UpToTheZeroOrTheGivenLength)
{
    EXPECT_EQ(CHStringHelper::MultiByteToString(kUtf8Text.c_str(), 0, CP_UTF8), kWideText);
    EXPECT_EQ(CHStringHelper::MultiByteToString(kUtf8Text.c_str(), kUtf8Text.size(), CP_UTF8), kWideText);
    EXPECT_EQ(CHStringHelper::MultiByteToString("", 0, CP_UTF8), L"");

    // An explicit length stops before the terminating zero...
    EXPECT_EQ(CHStringHelper::MultiByteToString("abcdef", 3, CP_UTF8), L"abc");
    // ...and without one the conversion ends at the first zero.
    const char embedded[] = "ab\0cd";
    EXPECT_EQ(CHStringHelper::MultiByteToString(embedded, 0, CP_UTF8), L"ab");
    EXPECT_EQ(CHStringHelper::MultiByteToString(embedded, 5, CP_UTF8), std::wstring(L"ab\0cd", 5));
}

TEST(CHStringHelper, MultiByteToStringGivesAnEmptyStringForInvalidText)
{
    // A lead byte followed by a non-continuation byte, and a lone continuation byte.
    EXPECT_EQ(CHStringHelper::MultiByteToString("ok \xC3\x28 ok", 0, CP_UTF8), L"");
    EXPECT_EQ(CHStringHelper::MultiByteToString("\x80", 1, CP_UTF8), L"");
    // A length that cuts a two-byte character in half leaves an invalid text too.
    EXPECT_EQ(CHStringHelper::MultiByteToString("\xC3\xBC", 1, CP_UTF8), L"");
}

TEST(CHStringHelper, StringToMultiByteFillsBothBufferKindsWithoutATerminatingZero)
{
    CHBufMalloc heapBuffer;
    CHStringHelper::StringToMultiByte(kWideText, heapBuffer, CP_UTF8);
    EXPECT_EQ(BufferBytes(heapBuffer), kUtf8Text);

    CHBufHGlobal globalBuffer;
    CHStringHelper::StringToMultiByte(kWideText, globalBuffer, CP_UTF8);
    EXPECT_EQ(BufferBytes(globalBuffer), kUtf8Text);

    // Round trips: UTF-8 and the ANSI code page (plain ASCII text is in every ANSI code page).
    const std::wstring strAscii = L"Halvik Ulvo Suite 1.0";
    for (UINT nCodePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        for (CHBuf* pBuffer : {static_cast<CHBuf*>(&heapBuffer), static_cast<CHBuf*>(&globalBuffer)}) {
            const std::wstring& strText = nCodePage == CP_UTF8 ? kWideText : strAscii;
            CHStringHelper::StringToMultiByte(strText, *pBuffer, nCodePage);
            std::string bytes = BufferBytes(*pBuffer);
            EXPECT_EQ(CHStringHelper::MultiByteToString(bytes.data(), bytes.size(), nCodePage), strText)
                << "code page " << nCodePage;
            if (nCodePage == CP_ACP) {
                EXPECT_EQ(bytes, "Halvik Ulvo Suite 1.0");
            }
        }
    }
}

TEST(CHStringHelper, StringToMultiByteOfAnEmptyTextEmptiesTheBuffer)
{
    CHBufMalloc heapBuffer(10);
    CHStringHelper::StringToMultiByte(L"", heapBuffer, CP_UTF8);
    EXPECT_EQ(heapBuffer.GetSize(), 0u);
    EXPECT_EQ(heapBuffer.GetBuf(), nullptr);

    CHBufHGlobal globalBuffer;
    globalBuffer.Alloc(10);
    CHStringHelper::StringToMultiByte(L"", globalBuffer, CP_ACP);
    EXPECT_EQ(globalBuffer.GetSize(), 0u);
}

TEST(CHStringHelper, EqualsNoCaseComparesNamesOrdinallyIgnoringCase)
{
    EXPECT_TRUE(CHStringHelper::EqualsNoCase(L"General", L"gENERAL"));
    EXPECT_TRUE(CHStringHelper::EqualsNoCase(L"\u00C4r", L"\u00E4R"));
    EXPECT_TRUE(CHStringHelper::EqualsNoCase(L"", L""));
    EXPECT_FALSE(CHStringHelper::EqualsNoCase(L"list", L"lists"));
}

TEST(CHStringHelper, StartsWithAndContainsNoCaseMatchAPartAsEqualsNoCaseDoes)
{
    struct CCase
    {
        const wchar_t* pszText;
        const wchar_t* pszPart;
        bool bStarts, bContains;
    };
    const CCase cases[] = {{L"Autorun=x", L"AUTORUN=", true, true}, {L"C:\\Temp\\WPDNSE\\x", L"wpdnse\\", false, true},
                           {L"\u00C4rger", L"\u00E4R", true, true}, {L"abc", L"", true, true},
                           {L"ab", L"abc", false, false},           {L"abc", L"bd", false, false}};
    for (const CCase& test : cases) {
        EXPECT_EQ(CHStringHelper::StartsWithNoCase(test.pszText, test.pszPart), test.bStarts) << test.pszText;
        EXPECT_EQ(CHStringHelper::ContainsNoCase(test.pszText, test.pszPart), test.bContains) << test.pszText;
    }
}
