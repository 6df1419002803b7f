// skincheck.exe, run as a child process on the sample skin and on copies of
// it broken one way each: the finding, its line, and the exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ToolRunSupport.h"

namespace {
// A copy of the sample skin that a test breaks.
class CSkinCopy : public CTempFolder
{
public:
    CSkinCopy() : CTempFolder(L"skincheck")
    {
        CopyTree(SampleSkinFolder(), Path());
        m_xml = ReadFileBytes(XmlPath());
    }

    std::wstring XmlPath() const { return *this / L"SkinningConfig.xml"; }
    // The line on which the text first occurs.
    int LineOf(const std::string& strText) const
    {
        const size_t nAt = m_xml.find(strText);
        EXPECT_NE(nAt, std::string::npos) << strText;
        return 1 + static_cast<int>(std::count(m_xml.begin(), m_xml.begin() + static_cast<long>(nAt), '\n'));
    }
    // Replaces occurrences of the text (the first only, unless bAll) and
    // returns the line of the first one.
    int Replace(const std::string& strFrom, const std::string& strTo, bool bAll = false)
    {
        const int nLine = LineOf(strFrom);
        for (size_t nAt = m_xml.find(strFrom); nAt != std::string::npos;
             nAt = m_xml.find(strFrom, nAt + strTo.size())) {
            m_xml.replace(nAt, strFrom.size(), strTo);
            if (!bAll)
                break;
        }
        WriteFileBytes(XmlPath(), m_xml);
        return nLine;
    }
    // Removes the whole line on which the text occurs; returns that line.
    int RemoveLine(const std::string& strText)
    {
        const int nLine = LineOf(strText);
        const size_t nStart = m_xml.rfind('\n', m_xml.find(strText)) + 1;
        m_xml.erase(nStart, m_xml.find('\n', nStart) + 1 - nStart);
        WriteFileBytes(XmlPath(), m_xml);
        return nLine;
    }

    std::string m_xml;
};

TEST(SkinCheck, TheSampleSkinHasNoFinding)
{
    CRunResult run = RunTool(L"skincheck.exe", {SampleSkinFolder()});
    EXPECT_EQ(run.dwExitCode, 0u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

TEST(SkinCheck, BadUsageExitsWithTwo)
{
    for (const std::vector<std::wstring>& args :
         {std::vector<std::wstring>{L"a", L"b"}, {L"/?"}, {SampleSkinFolder() + L"\\no such folder"}}) {
        CRunResult run = RunTool(L"skincheck.exe", args);
        EXPECT_EQ(run.dwExitCode, 2u);
        EXPECT_NE(run.err.find("usage: skincheck [FOLDER]"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
}

struct CBrokenSkin
{
    const char* pszName;
    // Breaks the copy; returns the line the finding must name.
    std::function<int(CSkinCopy&)> breakIt;
    const char* pszFinding;
};

const CBrokenSkin kBrokenSkins[] = {
    {"reader error", [](CSkinCopy& skin) { return skin.Replace("</colors>", "</colours>"); },
     "the reader stops here: '<colors> ... </colours>' is not wel-formed."},
    {"colour value", [](CSkinCopy& skin) { return skin.Replace("value=\"#f3f5f8\"", "value=\"f3f5f8\""); },
     "colour value \"f3f5f8\" is not #rrggbb"},
    {"unknown colour", [](CSkinCopy& skin) { return skin.Replace("bkcolor=\"c-list-bk\"", "bkcolor=\"c-gone\""); },
     "unknown colour \"c-gone\" in bkcolor"},
    {"unknown font", [](CSkinCopy& skin) { return skin.Replace("font=\"f-message\"", "font=\"f-gone\""); },
     "unknown font \"f-gone\" in font"},
    {"unknown string", [](CSkinCopy& skin) { return skin.Replace("text=\"ids-cancel\"", "text=\"ids-gone\""); },
     "unknown string \"ids-gone\" in text"},
    {"missing language",
     [](CSkinCopy& skin) {
         skin.RemoveLine("id=\"ids-cancel\" lang=\"ar\"");
         return skin.LineOf("id=\"ids-cancel\"");
     },
     "string \"ids-cancel\" has no text for language \"ar\""},
    {"missing image",
     [](CSkinCopy& skin) {
         ::DeleteFileW((skin / L"images\\logo.png").c_str());
         return skin.LineOf("<image id=\"logo\"");
     },
     "logo.png\" is missing"},
    {"undecodable image",
     [](CSkinCopy& skin) {
         WriteFileBytes(skin / L"controls\\button_n.png", "\x89PNG\r\n\x1a\n broken");
         return skin.LineOf("<controlimages");
     },
     "button_n.png\" does not load: "},
    {"launcher image",
     [](CSkinCopy& skin) {
         ::DeleteFileW((skin / L"Resources\\shadow.png").c_str());
         return 1;
     },
     "shadow.png\" is missing"},
    {"undecodable larger picture",
     [](CSkinCopy& skin) {
         WriteFileBytes(skin / L"Resources\\anim_wait_3@2x.png", "\x89PNG\r\n\x1a\n broken");
         return 1;
     },
     "anim_wait_3@2x.png\" does not load: "},
    {"larger picture of another size",
     [](CSkinCopy& skin) {
         ::CopyFileW((skin / L"Resources\\shadow.png").c_str(), (skin / L"Resources\\anim_wait_2@2x.png").c_str(),
                     FALSE);
         return 1;
     },
     "anim_wait_2@2x.png\" is "},
    {"launcher string",
     [](CSkinCopy& skin) {
         skin.Replace("\"ids-def-error\"", "\"ids-error\"", true);
         return skin.LineOf("<strings>");
     },
     "the launcher's string \"ids-def-error\" is missing"},
    {"non-ASCII without a mark",
     [](CSkinCopy& skin) {
         skin.Replace("\xEF\xBB\xBF", "");
         const size_t nFirst =
             std::find_if(skin.m_xml.begin(), skin.m_xml.end(), [](char ch) { return ch & 0x80; }) - skin.m_xml.begin();
         return skin.LineOf(skin.m_xml.substr(nFirst, 1));
     },
     "non-ASCII text in a file without a byte-order mark"},
};

void PrintTo(const CBrokenSkin& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

class CBrokenSkinTest : public testing::TestWithParam<CBrokenSkin>
{};

TEST_P(CBrokenSkinTest, IsReportedOnItsLine)
{
    CSkinCopy skin;
    const int nLine = GetParam().breakIt(skin);
    CRunResult run = RunTool(L"skincheck.exe", {skin.Path()});
    EXPECT_EQ(run.dwExitCode, 1u);
    const std::string strExpected = "SkinningConfig.xml(" + std::to_string(nLine) + ",";
    bool bFound = false;
    for (size_t nStart = 0; nStart < run.out.size();) {
        const size_t nEnd = run.out.find('\n', nStart);
        const std::string strLine = run.out.substr(nStart, nEnd - nStart);
        bFound = bFound || (strLine.find(strExpected) != std::string::npos &&
                            strLine.find(GetParam().pszFinding) != std::string::npos);
        nStart = nEnd == std::string::npos ? run.out.size() : nEnd + 1;
    }
    EXPECT_TRUE(bFound) << "expected at line " << nLine << ": " << GetParam().pszFinding << "\nfound:\n" << run.out;
}

INSTANTIATE_TEST_SUITE_P(SkinCheck, CBrokenSkinTest, testing::ValuesIn(kBrokenSkins),
                         [](const testing::TestParamInfo<CBrokenSkin>& info) { return std::to_string(info.index); });
}  // namespace
