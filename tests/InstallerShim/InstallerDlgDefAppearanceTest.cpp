// The launcher's appearance: its options, its skin from the current
// directory, its texts in the chosen language, its caption layout and edges,
// and the images it loads.
#include <gtest/gtest.h>

#include <algorithm>

#include "InstallerShim/HWaitDialog.h"
#include "InstallerShim/InstallerDlgDefAppearance.h"
#include "RAde/DEVEDar/HWndShadow.h"
#include "RAde/DEVEDar/SkinTestSupport.h"
#include "TestSupport.h"

namespace {
// A skin folder made the current directory for one test.
class CCurrentSkin
{
public:
    explicit CCurrentSkin(const std::wstring& strBody) : m_folder(strBody)
    {
        wchar_t szOld[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, szOld);
        m_strOld = szOld;
        ::SetCurrentDirectoryW(m_folder.Path().c_str());
    }
    ~CCurrentSkin() { ::SetCurrentDirectoryW(m_strOld.c_str()); }
    CSkinFolder& Folder() { return m_folder; }

private:
    CSkinFolder m_folder;
    std::wstring m_strOld;
};

const wchar_t kSkin[] =
    L"<colors><color id=\"c-blue\" value=\"#0000ff\"/></colors>"
    L"<nonclient type=\"images\" dir=\"nc\"/>"
    L"<strings><string id=\"ids-capt-close\" lang=\"en\" text=\"Close\"/>"
    L"<string id=\"ids-def-error\" lang=\"en\" text=\"It failed.\\nSorry.\"/>"
    L"<string id=\"ids-app-name\" lang=\"ar\" text=\"Arabic name\"/></strings>"
    L"<application-config><option id=\"caption-btn-valign\" value=\"Top\"/>"
    L"<option id=\"caption-btn-spacing\" value=\" 12px\"/><option id=\"edge-color\" value=\"c-blue\"/>"
    L"<option id=\"negative\" value=\"-3\"/><option id=\"word\" value=\"twelve\"/>"
    L"<option id=\"empty\" value=\"\"/></application-config>";
}  // namespace

TEST(CInstallerDlgDefAppearance, TakesTheLaunchersOptions)
{
    CInstallerDlgDefAppearance appearance;
    const CHAppearanceOptions& options = appearance.m_options;
    EXPECT_TRUE(options.m_bWindowShadow && options.m_bCustomCaption && options.m_bRoundedRegion);
    EXPECT_EQ(options.m_nTopCornerSize, 5);
    EXPECT_EQ(options.m_nBottomCornerSize, 0);
    EXPECT_TRUE(options.m_bSkinPushButtons && options.m_bButtonOption);
    EXPECT_TRUE(options.m_bSkinComboBoxes && options.m_bSkinListBoxes);
    EXPECT_FALSE(options.m_bSkinGroupBoxes || options.m_bSkinStaticText);
    EXPECT_FALSE(appearance.IsRightToLeft());
}

TEST(CInstallerDlgDefAppearance, ReadsTheSkinOfTheCurrentDirectoryAndItsTextsAndOptions)
{
    CCurrentSkin skin(kSkin);
    skin.Folder().AddImage(L"nc\\caption.png", 4, ::GetSystemMetrics(SM_CYCAPTION) + 10, 0xFF000000);
    skin.Folder().AddImage(L"nc\\btn_close_n.png", 14, 12, 0xFF000000);
    skin.Folder().AddImage(L"nc\\btn_minimize_n.png", 10, 16, 0xFF000000);
    CInstallerDlgDefAppearance appearance;
    appearance.Init();
    EXPECT_EQ(g_pAppearance, &appearance);
    appearance.SetUILanguage(L"en");
    appearance.AttachSkin();

    EXPECT_EQ(appearance.GetButtonTooltip(captionButtonClose), L"Close");
    EXPECT_EQ(CHUIErrorHandler::GetDefaultErrorText(), L"It failed.\nSorry.") << "backslash-n, a new line";
    EXPECT_EQ(CHUIErrorHandler::GetApplicationName(), L"") << "no English name";
    appearance.SetUILanguage(L"AR");
    EXPECT_TRUE(appearance.IsRightToLeft());
    EXPECT_EQ(CHUIErrorHandler::GetApplicationName(), L"Arabic name");
    appearance.SetUILanguage(L"xx");
    EXPECT_FALSE(appearance.IsRightToLeft());

    const std::pair<const wchar_t*, int> numbers[] = {
        {L"caption-btn-spacing", 12}, {L"negative", -3}, {L"word", 0}, {L"empty", 0}, {L"absent", 0}};
    for (const auto& [pszId, nValue] : numbers)
        EXPECT_EQ(appearance.GetConfigOption(pszId), nValue) << pszId;
    EXPECT_EQ(appearance.GetConfigOption(L"empty", L"fallback"), L"fallback");

    // The caption: buttons at the top, as large as their images, 12 apart.
    CHCaptionParams params;
    appearance.SetDefault(params);
    EXPECT_EQ(params.m_nCenterButtonsVertically, 0) << "\"Top\" is \"top\"";
    EXPECT_TRUE(params.m_bUseImageSizes);
    EXPECT_EQ(params.m_imageSizes[captionButtonClose].cx, 14);
    EXPECT_EQ(params.m_imageSizes[captionButtonMinimize].cy, 16);
    EXPECT_EQ(params.m_nButtonHeight, 16) << "the tallest";
    EXPECT_EQ(params.m_nButtonGap, 12);
    EXPECT_EQ(params.m_nButtonRightMargin, 7);
    EXPECT_EQ(params.m_nIconLeftOffset, 5);
    EXPECT_EQ(params.m_nIconTextGap, 10);
    EXPECT_FALSE(params.m_bUseSystemCaptionHeight);
    EXPECT_EQ(params.m_nCaptionHeight,
              static_cast<int>((::GetSystemMetrics(SM_CYCAPTION) + 10) * appearance.GetDpiScale()));

    // Every edge in the edge colour, frame images or not.
    CHImage target = AnimationTest::SolidImage(8, 8, 0);
    {
        CHImageDC hDC(target);
        appearance.CC_DrawEdge({hDC.Get(), {0, 0, 8, 8}, nullptr, true}, captionEdgeLeft);
    }
    EXPECT_EQ(AnimationTest::PixelAt(target, 4, 4) & 0xFFFFFF, 0x0000FFu);
}

TEST(CInstallerDlgDefAppearance, LoadsTheLaunchersImagesFromTheSkinsResources)
{
    CCurrentSkin skin(L"<application-config><option id=\"caption-btn-valign\" value=\"center\"/>"
                      L"<option id=\"edge-color\" value=\"c-unknown\"/></application-config>");
    skin.Folder().AddImage(L"Resources\\progress_full.png", 6, 4, AnimationTest::Bgra(200, 100, 50, 128));
    skin.Folder().AddImage(L"Resources\\progress_empty.png", 6, 4, 0xFF808080);
    skin.Folder().AddImage(L"Resources\\shadow.png", 36, 36, 0x40000000);
    for (int n = 1; n <= 8; ++n)
        skin.Folder().AddImage(L"Resources\\anim_wait_" + std::to_wstring(n) + L".png", 9, 9, 0xFF0000FF);
    CInstallerDlgDefAppearance appearance;
    appearance.Init();
    appearance.SetUILanguage(L"en");
    appearance.LoadConfigFromXml();

    const CHDefaultControlImages& defaults = CHDialogSkinXmlConfig::DefaultControlImages();
    EXPECT_EQ(AnimationTest::PixelAt(defaults.m_progressFull, 1, 1), AnimationTest::Bgra(100, 50, 25, 128))
        << "premultiplied";
    EXPECT_EQ(CHWndShadow::GetDefaultImage().GetWidth(), 36);
    for (const CHImage& frame : CHWaitDialog::WaitAnimFrames())
        EXPECT_EQ(frame.GetWidth(), 9);
    CHCaptionParams params;
    appearance.SetDefault(params);
    EXPECT_EQ(params.m_nCenterButtonsVertically, 1) << "any other value keeps the base layout";
    EXPECT_TRUE(params.m_bUseSystemCaptionHeight);
    CHImage target = AnimationTest::SolidImage(4, 4, 0xFFFFFFFF);
    {
        CHImageDC hDC(target);
        appearance.CC_DrawEdge({hDC.Get(), {0, 0, 4, 4}, nullptr, true}, captionEdgeTop);
    }
    EXPECT_EQ(AnimationTest::PixelAt(target, 1, 1) & 0xFFFFFF, 0u) << "an unknown colour: black";

    // A missing picture is an error of the loading, passed on.
    ::DeleteFileW((skin.Folder() / L"Resources\\shadow.png").c_str());
    const std::vector<int> codes = ErrorCodesOf(CatchThrown([&] { appearance.LoadConfigFromXml(); }));
    EXPECT_NE(std::find(codes.begin(), codes.end(), 1016), codes.end()) << "\"Failed to open file.\"";
}
