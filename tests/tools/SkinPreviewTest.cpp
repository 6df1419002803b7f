// skinpreview.exe run as a child process on the sample skin beside the tests
// and on broken inputs: its exit code, what it prints, and the picture it
// writes (decoded again, its size, the skin's caption, the reading direction).
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "RAde/DEVEDar/SkinTestSupport.h"
#include "ToolRunSupport.h"

namespace {
enum class ESkin
{
    sample,
    missingFolder,
    malformedXml
};

enum class EPicture
{
    none,         // no picture is written
    leftToRight,  // the caption's text begins at the left
    rightToLeft,  // and here at the right
    twiceTheSize  // at /dpi=192, against the same form at /dpi=96
};

struct CPreviewCase
{
    const char* pszName;
    ESkin skin;
    // After FOLDER; "OUT" stands for the picture's path, "UNDER-A-FILE" for
    // one in a folder that is a file.
    std::vector<std::wstring> args;
    DWORD dwExitCode;
    EPicture picture;
    // Ends of the lines after the size line (one finding each), or a part of
    // what goes to standard error.
    std::vector<std::string> findings = {};
    const char* pszErrorPart = "";
};

void PrintTo(const CPreviewCase& test, std::ostream* pStream)
{
    *pStream << test.pszName;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The sample skin's caption: a dark gradient from (35, 46, 62) to (31, 41, 55).
constexpr DWORD kCaption = AnimationTest::Bgra(59, 44, 33, 255);
constexpr int kCaptionTolerance = 10;

// Light pixels of the caption's text in the caption's left third.
int CaptionInkOnTheLeft(const CHImage& picture, float fScale)
{
    int nInk = 0;
    for (int y = static_cast<int>(8 * fScale); y < static_cast<int>(24 * fScale); ++y)
        for (int x = 0; x < picture.GetWidth() / 3; ++x)
            nInk += AnimationTest::ColourNear(AnimationTest::PixelAt(picture, x, y), 0xFFFFFF, 80) ? 1 : 0;
    return nInk;
}

class CSkinPreviewTest : public testing::TestWithParam<CPreviewCase>
{
protected:
    CSkinPreviewTest() { WriteFileBytes(m_out / L"a-file", ""); }

    std::wstring FolderOf(ESkin skin) const
    {
        switch (skin) {
        case ESkin::missingFolder:
            return m_out / L"no-such-skin";
        case ESkin::malformedXml:
            return m_malformed.Path();
        default:
            return SampleSkinFolder();
        }
    }
    std::vector<std::wstring> ArgumentsOf(const CPreviewCase& test, const std::wstring& strOut) const
    {
        std::vector<std::wstring> args = {FolderOf(test.skin)};
        for (const std::wstring& strArg : test.args)
            args.push_back(strArg == L"OUT"            ? strOut
                           : strArg == L"UNDER-A-FILE" ? m_out / L"a-file\\cannot-be-written.png"
                                                       : strArg);
        return args;
    }
    // Runs the preview of the case again at /dpi=96 and gives that picture.
    CHImage DrawnAt96(const CPreviewCase& test) const
    {
        std::vector<std::wstring> args = ArgumentsOf(test, m_out / L"at96.png");
        args.back() = L"/dpi=96";
        EXPECT_EQ(RunTool(L"skinpreview.exe", args).dwExitCode, 0u);
        CHImage picture;
        picture.Load(m_out / L"at96.png");
        return picture;
    }

    CTempFolder m_out{L"skinpreview"};
    // The reader stops at the end tag that closes another element.
    CSkinFolder m_malformed{L"<colors>\n  <color id=\"c\" value=\"#000000\">\n</colors>"};
};

const CPreviewCase kCases[] = {
    {"wait_dialog_english", ESkin::sample, {L"wait-dialog", L"en-uk", L"OUT"}, 0, EPicture::leftToRight},
    {"wait_dialog_arabic_reads_right_to_left",
     ESkin::sample,
     {L"wait-dialog", L"ar", L"OUT"},
     0,
     EPicture::rightToLeft},
    {"wait_dialog_english_right_to_left",
     ESkin::sample,
     {L"wait-dialog", L"en-uk", L"OUT", L"/rtl"},
     0,
     EPicture::rightToLeft},
    {"wait_dialog_at_192_dpi",
     ESkin::sample,
     {L"wait-dialog", L"en-uk", L"OUT", L"/dpi=192"},
     0,
     EPicture::twiceTheSize},
    {"controls_at_192_dpi", ESkin::sample, {L"controls", L"en-uk", L"OUT", L"/dpi=192"}, 0, EPicture::twiceTheSize},
    {"wait_dialog_in_a_language_the_skin_lacks",
     ESkin::sample,
     {L"wait-dialog", L"de-de", L"OUT"},
     1,
     EPicture::none,
     {"): string \"ids-deleting-files-title\" has no text for \"de-de\": the caption is empty",
      "): string \"ids-deleting-files\" has no text for \"de-de\": the message is empty"}},
    // The controls keep their template's texts: no language lacks any.
    {"controls_in_a_language_the_skin_lacks", ESkin::sample, {L"controls", L"de-de", L"OUT"}, 0, EPicture::leftToRight},
    {"missing_folder", ESkin::missingFolder, {L"controls", L"en-uk", L"OUT"}, 2, EPicture::none, {}, "no-such-skin: "},
    {"unknown_form", ESkin::sample, {L"setup", L"en-uk", L"OUT"}, 2, EPicture::none, {}, "unknown form \"setup\""},
    {"dpi_out_of_range",
     ESkin::sample,
     {L"controls", L"en-uk", L"OUT", L"/dpi=9999"},
     2,
     EPicture::none,
     {},
     "/dpi takes"},
    {"too_few_arguments", ESkin::sample, {L"controls", L"en-uk"}, 2, EPicture::none, {}, "usage: skinpreview"},
    {"malformed_xml",
     ESkin::malformedXml,
     {L"wait-dialog", L"en-uk", L"OUT"},
     2,
     EPicture::none,
     {},
     "SkinningConfig.xml(3,1): the reader stops here: "},
    {"unwritable_picture",
     ESkin::sample,
     {L"controls", L"en-uk", L"UNDER-A-FILE"},
     2,
     EPicture::none,
     {},
     "cannot-be-written.png: "},
};
}  // namespace

TEST_P(CSkinPreviewTest, ExitsPrintsAndDraws)
{
    const CPreviewCase& test = GetParam();
    const std::wstring strOut = m_out / L"preview.png";
    const CRunResult run = RunTool(L"skinpreview.exe", ArgumentsOf(test, strOut));
    EXPECT_EQ(run.dwExitCode, test.dwExitCode) << run.out << run.err;
    EXPECT_NE(run.err.find(test.pszErrorPart), std::string::npos) << run.err;
    if (test.dwExitCode == 2) {
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(::GetFileAttributesW(strOut.c_str()), INVALID_FILE_ATTRIBUTES) << "no picture";
        return;
    }
    EXPECT_EQ(run.err, "");

    // The picture decodes, at the size the first line tells.
    CHImage picture;
    ASSERT_NO_THROW(picture.Load(strOut));
    const std::vector<std::string> lines = LinesOf(run.out);
    ASSERT_EQ(lines.size(), 1 + test.findings.size()) << run.out;
    EXPECT_EQ(lines[0], Utf8Of(strOut) + ": " + std::to_string(picture.GetWidth()) + " x " +
                            std::to_string(picture.GetHeight()) + " pixels");
    for (size_t i = 0; i < test.findings.size(); ++i) {
        EXPECT_EQ(lines[i + 1].rfind(Utf8Of(SampleSkinFolder()) + "\\SkinningConfig.xml(", 0), 0u) << lines[i + 1];
        EXPECT_TRUE(EndsWith(lines[i + 1], test.findings[i])) << lines[i + 1];
    }

    const float fScale = test.picture == EPicture::twiceTheSize ? 2.0f : 1.0f;
    EXPECT_TRUE(
        AnimationTest::ColourNear(AnimationTest::PixelAt(picture, picture.GetWidth() / 2, static_cast<int>(4 * fScale)),
                                  kCaption, kCaptionTolerance))
        << "the skin's caption";
    if (test.picture == EPicture::leftToRight) {
        EXPECT_GT(CaptionInkOnTheLeft(picture, fScale), 20);
    } else if (test.picture == EPicture::rightToLeft) {
        EXPECT_EQ(CaptionInkOnTheLeft(picture, fScale), 0);
    }
    if (test.picture == EPicture::twiceTheSize) {
        const CHImage at96 = DrawnAt96(test);
        // Not quite twice: dialog units round, and a screen of 192 dpi gives
        // the same sizes (the gallery's -192dpi pictures).
        for (const auto& [nLarge, nPlain] :
             {std::pair{picture.GetWidth(), at96.GetWidth()}, std::pair{picture.GetHeight(), at96.GetHeight()}}) {
            EXPECT_GE(nLarge * 10, nPlain * 17) << nLarge << " against " << nPlain;
            EXPECT_LE(nLarge * 10, nPlain * 21) << nLarge << " against " << nPlain;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SkinPreview, CSkinPreviewTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<CPreviewCase>& info) { return info.param.pszName; });
