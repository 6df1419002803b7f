// xmlquery.exe, run as a child process: the JSON it prints for small files,
// its exit codes and its error output.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HUniqueHandle.h"
#include "TestSupport.h"
#include "ToolRunSupport.h"

namespace {

CRunResult RunXmlQuery(const std::vector<std::wstring>& args)
{
    return RunTool(L"xmlquery.exe", args);
}

// A file of its own holding the bytes; removed when the test ends.
class CXmlFile : public CTempFile
{
public:
    explicit CXmlFile(const std::string& bytes) : CTempFile(L"xmlquery", bytes) {}
};

const std::string kUtf8Mark = "\xEF\xBB\xBF";

// UTF-16LE bytes with a byte-order mark, taken unit by unit (lone surrogates included).
std::string Utf16File(const std::wstring& strText)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t ch : strText) {
        bytes += static_cast<char>(ch & 0xFF);
        bytes += static_cast<char>(ch >> 8);
    }
    return bytes;
}

// The JSON of a node without attributes whose children are given as JSON.
std::string Element(const std::string& strName, const std::string& strValueJson, const std::string& strChildren = "")
{
    return "{\"name\": \"" + strName + "\", \"value\": " + strValueJson +
           ", \"type\": 0, \"attributes\": [], \"children\": [" + strChildren + "]}";
}

const std::string kSkin = "<?xml version=\"1.0\"?>\r\n"
                          "<skin version=\"2\">\r\n"
                          "<forms><form id=\"main\" modal title='Main &amp; more'>"
                          "<controls><control id=\"cancel\"/><control id=\"ok\" x=\"10\">OK</control></controls>"
                          "</form></forms>\r\n"
                          "</skin>\r\n";

}  // namespace

TEST(XmlQuery, PrintsTheWholeTreeWithAttributesInDocumentOrder)
{
    CXmlFile file(kSkin);

    CRunResult run = RunXmlQuery({file.Path()});

    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "{\"error\": null, \"node\": {\"name\": \"skin\", \"value\": \"\\r\\n\", \"type\": 0, "
              "\"attributes\": [[\"version\", \"2\"]], \"children\": ["
              "{\"name\": \"forms\", \"value\": \"\", \"type\": 0, \"attributes\": [], \"children\": ["
              "{\"name\": \"form\", \"value\": \"\", \"type\": 0, "
              "\"attributes\": [[\"id\", \"main\"], [\"modal\", \"\"], [\"title\", \"Main & more\"]], \"children\": ["
              "{\"name\": \"controls\", \"value\": \"\", \"type\": 0, \"attributes\": [], \"children\": ["
              "{\"name\": \"control\", \"value\": \"\", \"type\": 0, \"attributes\": [[\"id\", \"cancel\"]], "
              "\"children\": []}, "
              "{\"name\": \"control\", \"value\": \"OK\", \"type\": 0, "
              "\"attributes\": [[\"id\", \"ok\"], [\"x\", \"10\"]], \"children\": []}"
              "]}]}]}]}}\n");
}

TEST(XmlQuery, PathSelectsTheNodeOrNull)
{
    CXmlFile file(kSkin);

    // Predicate values compare ignoring case.
    CRunResult found = RunXmlQuery({file.Path(), L"forms/form[id=\"MAIN\"]/controls/control[id=\"ok\"]"});
    EXPECT_EQ(found.dwExitCode, 0u);
    EXPECT_EQ(found.out, "{\"error\": null, \"node\": {\"name\": \"control\", \"value\": \"OK\", \"type\": 0, "
                         "\"attributes\": [[\"id\", \"ok\"], [\"x\", \"10\"]], \"children\": []}}\n");

    CRunResult missing = RunXmlQuery({file.Path(), L"forms/form[id=\"main\"]/controls/control[id=\"help\"]"});
    EXPECT_EQ(missing.dwExitCode, 0u);
    EXPECT_EQ(missing.err, "");
    EXPECT_EQ(missing.out, "{\"error\": null, \"node\": null}\n");
}

TEST(XmlQuery, EscapesDecodedEntitiesQuotesAndControlCharacters)
{
    // Only the five predefined references are decoded; a numeric one and an
    // unfinished one stay as they are. Tab, backslash and a control byte are escaped.
    CXmlFile file(kUtf8Mark + "<s id=\"a\\b\">x &lt;b&gt; &quot;c&quot; &apos;d&apos; &amp;amp; &#65; &ltx\t\x01</s>");

    CRunResult run = RunXmlQuery({file.Path()});

    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": null, \"node\": {\"name\": \"s\", "
                       "\"value\": \"x <b> \\\"c\\\" 'd' &amp; &#65; &ltx\\t\\u0001\", \"type\": 0, "
                       "\"attributes\": [[\"id\", \"a\\\\b\"]], \"children\": []}}\n");
}

TEST(XmlQuery, CommentAndCdataBecomeTypedChildrenWithRawText)
{
    CXmlFile file("<!-- dropped --><r><!-- note --><x a=\"1\"/><![CDATA[<b>&amp;</b>]]></r>");

    CRunResult run = RunXmlQuery({file.Path()});

    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": null, \"node\": {\"name\": \"r\", \"value\": \"\", \"type\": 0, "
                       "\"attributes\": [], \"children\": ["
                       "{\"name\": \"#COMMENT\", \"value\": \" note \", \"type\": 2, \"attributes\": [], "
                       "\"children\": []}, "
                       "{\"name\": \"x\", \"value\": \"\", \"type\": 0, \"attributes\": [[\"a\", \"1\"]], "
                       "\"children\": []}, "
                       "{\"name\": \"#CDATA\", \"value\": \"<b>&amp;</b>\", \"type\": 3, \"attributes\": [], "
                       "\"children\": []}]}}\n");
}

TEST(XmlQuery, ParseErrorGivesCodeMessageOffsetAndThePartialTree)
{
    CXmlFile mismatch("<r>\n  <x></y>\n</r>");
    CRunResult run = RunXmlQuery({mismatch.Path()});
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": {\"code\": 3, \"message\": \"'<x> ... </y>' is not wel-formed.\", "
                       "\"offset\": 9}, \"node\": " +
                           Element("r", "\"\\n  \"", Element("x", "\"\"")) + "}\n");

    // The offset counts UTF-16 code units: the emoji before the error takes two.
    CXmlFile unclosed(kUtf8Mark + "<r>\xF0\x9F\x98\x80<x/</r>");
    run = RunXmlQuery({unclosed.Path()});
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": {\"code\": 1, \"message\": \"Element must be closed.\", \"offset\": 7}, "
                       "\"node\": " +
                           Element("r", "\"\xF0\x9F\x98\x80\"", Element("x", "\"\"")) + "}\n");
}

TEST(XmlQuery, NestingBeyondAThousandLevelsStopsWithErrorFive)
{
    std::string strText;
    for (int i = 0; i < 1001; ++i)
        strText += "<d>";
    CXmlFile file(strText);

    CRunResult run = RunXmlQuery({file.Path()});

    // The thousand levels that were accepted are all printed.
    std::string strTree = Element("d", "\"\"");
    for (int i = 1; i < 1000; ++i)
        strTree = Element("d", "\"\"", strTree);
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": {\"code\": 5, \"message\": \"Element nesting too deep.\", \"offset\": 3000}, "
                       "\"node\": " +
                           strTree + "}\n");
}

TEST(XmlQuery, NonAsciiTextIsUtf8AndLoneSurrogatesAreEscaped)
{
    const std::wstring strText = L"Gr\u00FC\u00DFe \u2013 \u65E5\u672C \U0001F600";
    CXmlFile utf8(kUtf8Mark + "<r t=\"" + Utf8Of(strText) + "\">" + Utf8Of(strText) + "</r>");
    CRunResult run = RunXmlQuery({utf8.Path()});
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": null, \"node\": {\"name\": \"r\", \"value\": \"" + Utf8Of(strText) +
                           "\", \"type\": 0, \"attributes\": [[\"t\", \"" + Utf8Of(strText) +
                           "\"]], \"children\": []}}\n");

    // A high surrogate with no low one after it, a low one on its own, and a proper pair.
    std::wstring strUtf16 = L"<r v=\"";
    strUtf16 += static_cast<wchar_t>(0xD800);
    strUtf16 += L"x\">";
    strUtf16 += static_cast<wchar_t>(0xDC01);
    strUtf16 += L"\U0001F600</r>";
    CXmlFile utf16(Utf16File(strUtf16));
    run = RunXmlQuery({utf16.Path()});
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": null, \"node\": {\"name\": \"r\", \"value\": \"\\udc01\xF0\x9F\x98\x80\", "
                       "\"type\": 0, \"attributes\": [[\"v\", \"\\ud800x\"]], \"children\": []}}\n");
}

TEST(XmlQuery, TextWithoutMarkupGivesANamelessTopNode)
{
    CXmlFile file("no markup here");

    CRunResult run = RunXmlQuery({file.Path()});

    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "{\"error\": null, \"node\": " + Element("", "\"\"") + "}\n");
}

TEST(XmlQuery, UnreadableFileFailsWithTheReadersDescription)
{
    std::wstring strMissing = UniqueTempPath(L"xmlquery_missing") + L".xml";

    CRunResult run = RunXmlQuery({strMissing});

    EXPECT_EQ(run.dwExitCode, 1u);
    EXPECT_EQ(run.out, "");
    CHException expected = CatchThrown([&] { CHFileUtilities::ReadTextFile(strMissing, HTEXT_ENCODING_ANSI); });
    EXPECT_EQ(run.err, Utf8Of(expected.GetDescription(0)));
    EXPECT_NE(run.err.find(Utf8Of(strMissing)), std::string::npos) << run.err;
}

TEST(XmlQuery, WrongArgumentCountIsAUsageError)
{
    CXmlFile file(kSkin);
    for (const auto& args : {std::vector<std::wstring>{}, std::vector<std::wstring>{file.Path(), L"a", L"b"}}) {
        CRunResult run = RunXmlQuery(args);
        EXPECT_EQ(run.dwExitCode, 1u) << args.size() << " arguments";
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "");
    }
}
