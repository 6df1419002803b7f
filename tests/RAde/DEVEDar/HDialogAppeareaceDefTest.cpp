// The dialog appearance: which controls it skins, the colours it hands out,
// the caption it draws, the window region, and the default appearance.
#include <gtest/gtest.h>

#include "DEVEDarTestResources.h"
#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "RAde/DEVEDar/HWndBackGround.h"
#include "SkinTestSupport.h"

using AnimationTest::Bgra;
using AnimationTest::ColourNear;
using AnimationTest::PixelAt;
using AnimationTest::PixelOf;

namespace {
INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

CHWindowHandle CreateTestDialog(UINT nTemplate)
{
    return CHWindowHandle(
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nTemplate), nullptr, NoDialogProc, 0));
}

// The answers for one control: its kind and skin class, then the six questions.
struct CControlCase
{
    int nId;
    EControlKind nKind;
    const wchar_t* pszSkinClass;
    bool bPush, bCheckOrRadio, bGroup, bStatic, bCombo, bList;
};

const CControlCase kControlCases[] = {
    {IDC_SKIN_PUSH, controlPushButton, L"button", true, false, false, false, false, false},
    {IDC_SKIN_DEFPUSH, controlPushButton, L"button", true, false, false, false, false, false},
    {IDC_SKIN_CHECK, controlCheck, L"check", false, true, false, false, false, false},
    {IDC_SKIN_3STATE, controlRadio, L"radio", false, true, false, false, false, false},
    {IDC_SKIN_RADIO, controlRadio, L"radio", false, true, false, false, false, false},
    {IDC_SKIN_GROUP, controlGroup, L"group", false, false, true, false, false, false},
    {IDC_SKIN_LTEXT, controlText, L"text", false, false, false, true, false, false},
    {IDC_SKIN_CTEXT, controlText, L"text", false, false, false, true, false, false},
    {IDC_SKIN_SIMPLE, controlText, L"text", false, false, false, true, false, false},
    {IDC_SKIN_ETCHED, controlEtched, L"etched", false, false, false, false, false, false},
    {IDC_SKIN_FRAME, controlFrame, L"frame", false, false, false, false, false, false},
    {IDC_SKIN_OWNERCOMBO, controlCombo, L"combo", false, false, false, false, true, false},
    {IDC_SKIN_COMBO, controlCombo, L"combo", false, false, false, false, false, false},
    {IDC_SKIN_LIST, controlList, L"list", false, false, false, false, false, true},
    {IDC_SKIN_EDIT, controlEdit, L"edit", false, false, false, false, false, false},
    {IDC_SKIN_SCROLLBAR, controlScrollBar, L"scrollbar", false, false, false, false, false, false},
};

TEST(CHDialogAppeareaceDef, AnswersWhichControlsOfADialogAreSkinned)
{
    CHWindowHandle dialog = CreateTestDialog(IDD_SKIN_CONTROLS);
    ASSERT_TRUE(dialog);
    CHDialogAppeareaceDef appearance;
    for (const CControlCase& test : kControlCases) {
        SCOPED_TRACE(test.nId);
        HWND hControl = ::GetDlgItem(dialog.Get(), test.nId);
        ASSERT_NE(hControl, nullptr);
        EXPECT_EQ(GetControlKind(hControl), test.nKind);
        EXPECT_STREQ(GetSkinClassName(GetControlKind(hControl)), test.pszSkinClass);
        EXPECT_EQ(appearance.IsPushButton(hControl), test.bPush);
        EXPECT_EQ(appearance.IsCheckOrRadio(hControl), test.bCheckOrRadio);
        EXPECT_EQ(appearance.IsGroupBox(hControl), test.bGroup);
        EXPECT_EQ(appearance.IsStaticText(hControl), test.bStatic);
        EXPECT_EQ(appearance.IsSkinnableCombo(hControl), test.bCombo);
        EXPECT_EQ(appearance.IsListBox(hControl), test.bList);
    }
    EXPECT_EQ(GetControlKind(L"SomethingElse", 0), controlOther);
    EXPECT_STREQ(GetSkinClassName(controlOther), L"");

    // A control that something else has subclassed already is left alone.
    CHWindowImpl subclass;
    ASSERT_TRUE(subclass.SubclassWindow(::GetDlgItem(dialog.Get(), IDC_SKIN_PUSH)));
    EXPECT_FALSE(appearance.IsPushButton(subclass));
}

const wchar_t kColorSkin[] =
    L"<colors><color id=\"c1\" value=\"#010101\"/><color id=\"c2\" value=\"#020202\"/>"
    L"<color id=\"c3\" value=\"#030303\"/><color id=\"c4\" value=\"#040404\"/><color id=\"c5\" value=\"#050505\"/>"
    L"<color id=\"c6\" value=\"#060606\"/><color id=\"c7\" value=\"#070707\"/></colors>"
    L"<forms><form id=\"general\"><class id=\"general\" color=\"c1\"/>"
    L"<classes><class id=\"button\" color=\"c2\" color-r=\"c3\"/><class id=\"combo\" selcolor=\"c4\"/></classes>"
    L"</form><form id=\"f2\"><classes><class id=\"static\" color=\"c5\"/><class id=\"combo\" seltxtcolor=\"c6\"/>"
    L"</classes><controls><control id=\"push\" color=\"c6\" color-s=\"c7\"/><control id=\"list\" selcolor=\"c7\"/>"
    L"</controls></form></forms>";

TEST(CHDialogAppeareaceDef, ColoursComeFromTheFormThenTheGeneralFormThenTheDefaults)
{
    CSkinFolder folder(kColorSkin);
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path());
    CHWindowHandle dialog = CreateTestDialog(IDD_SKIN_CONTROLS);
    auto control = [&](int nId) { return ::GetDlgItem(dialog.Get(), nId); };
    const CTestNameMap f2(L"f2", {{IDC_SKIN_PUSH, L"push"}, {IDC_SKIN_LIST, L"list"}});

    auto buttonColors = [&](int nId, const CTestNameMap* pMap) {
        CHButtonColors colors;
        colors.m_crText.fill(RGB(9, 9, 9));
        appearance.GetButtonColors(control(nId), nId == IDC_SKIN_CHECK, colors, pMap);
        std::wstring strText;
        for (COLORREF cr : colors.m_crText)
            strText += std::to_wstring(GetRValue(cr));
        return strText;
    };
    EXPECT_EQ(buttonColors(IDC_SKIN_PUSH, &f2), L"67366666") << "the form's control, its states, the general class";
    EXPECT_EQ(buttonColors(IDC_SKIN_DEFPUSH, &f2), L"22322222") << "the general form's button class";
    EXPECT_EQ(buttonColors(IDC_SKIN_CHECK, &f2), L"55355555") << "the form's static class for a check box";
    EXPECT_EQ(buttonColors(IDC_SKIN_CHECK, nullptr), L"11311111") << "the general text colour";

    auto selection = [&](int nId, const CTestNameMap* pMap) {
        CHSelectionColors colors;
        if (nId == IDC_SKIN_LIST)
            appearance.GetListColors(control(nId), colors, pMap);
        else
            appearance.GetComboColors(control(nId), colors, pMap);
        return ColorText(colors.m_crSelection) + L"/" + ColorText(colors.m_crSelectedText);
    };
    EXPECT_EQ(selection(IDC_SKIN_OWNERCOMBO, &f2), L"4,4,4/6,6,6") << "the form's and the general combo class";
    EXPECT_EQ(selection(IDC_SKIN_LIST, &f2), L"7,7,7/255,255,255") << "the control, then the default";
    EXPECT_EQ(selection(IDC_SKIN_LIST, nullptr), L"128,128,128/255,255,255") << "the defaults";

    CHGroupBoxColors groupBox;
    appearance.GetGroupBoxColors(groupBox);
    EXPECT_EQ(groupBox.m_crDark, 0x808080u);
    EXPECT_EQ(groupBox.m_crLight, 0xFFFFFFu);
}

TEST(CHDialogAppeareaceDef, FillsTheBackgroundFromTheFormOrTheGeneralForm)
{
    CSkinFolder folder(L"<colors><color id=\"c\" value=\"#112233\"/></colors><forms><form id=\"general\">"
                       L"<class id=\"general\" color=\"c\"/><background color=\"c\"/></form><form id=\"f2\">"
                       L"<background type=\"image\" imagemode=\"stretch\" path=\"bk.png\"/></form>"
                       L"<form id=\"f3\"/></forms>");
    folder.AddImage(L"bk.png", 2, 2, 0xFF000000);
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path());

    CHWndBackGround stretched;
    const CTestNameMap f2(L"f2");
    appearance.FillBackgroundClient(stretched, &f2);
    EXPECT_EQ(stretched.GetKind(), CHWndBackGround::kindStretchedBitmap);
    EXPECT_EQ(stretched.GetDefaultTextColor(), RGB(0x11, 0x22, 0x33)) << "the general form's text colour";

    CHWndBackGround plain;
    const CTestNameMap f3(L"f3");
    appearance.FillBackgroundClient(plain, &f3);
    EXPECT_EQ(plain.GetKind(), CHWndBackGround::kindBrush);
    LOGBRUSH brush = {};
    ASSERT_TRUE(::GetObjectW(plain.GetBackgroundBrush(), sizeof(brush), &brush));
    EXPECT_EQ(brush.lbColor, RGB(0x11, 0x22, 0x33)) << "the general form's background";
}

TEST(CHDialogAppeareaceDef, SetDefaultTakesCaptionHeightAndBordersFromTheFrameImages)
{
    CHWindowHandle dialog = CreateTestDialog(IDD_TEST_DIALOG);
    CHDialogAppeareaceDef plain;
    CHCaptionParams params;
    params.m_hWnd = dialog.Get();
    plain.SetDefault(params);
    EXPECT_TRUE(params.m_bUseSystemCaptionHeight);
    EXPECT_EQ(params.m_nBorderWidth, ::GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_EQ(params.m_nIconTextGap, 5);
    EXPECT_EQ(params.m_nTextMarginNoIcon, 8);

    CSkinFolder folder(L"<nonclient type=\"images\" dir=\"nc\"/>");
    const int nCaptionHeight = ::GetSystemMetrics(SM_CYCAPTION) + 11;
    folder.AddImage(L"nc\\caption.png", 8, nCaptionHeight, 0xFF000000);
    folder.AddImage(L"nc\\edge_left.png", 3, 8, 0xFF000000);
    folder.AddImage(L"nc\\edge_bottom.png", 8, 4, 0xFF000000);
    CHDialogAppeareaceDef skinned;
    LoadSkin(skinned, folder.Path());
    CHCaptionParams skinnedParams;
    skinnedParams.m_hWnd = dialog.Get();
    skinned.SetDefault(skinnedParams);
    EXPECT_FALSE(skinnedParams.m_bUseSystemCaptionHeight);
    EXPECT_EQ(skinnedParams.m_nCaptionHeight, nCaptionHeight);
    EXPECT_EQ(skinnedParams.m_nBorderWidth, 3);
    EXPECT_EQ(skinnedParams.m_nBorderHeight, 4);
    EXPECT_TRUE(skinnedParams.m_bFrameImagesLoaded);
}

// A skin whose frame and button images are each one colour, blue telling them apart.
class CCaptionDrawingTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_folder.AddImage(L"nc\\caption.png", 4, 10, Bgra(10, 0, 0, 255));
        const std::pair<const wchar_t*, BYTE> edges[] = {
            {L"edge_left_top", 20}, {L"edge_left", 21}, {L"edge_left_bottom", 22}, {L"edge_top", 23}};
        for (const auto& [pszName, nBlue] : edges)
            m_folder.AddImage(std::wstring(L"nc\\") + pszName + L".png", 2, 5, Bgra(nBlue, 0, 0, 255));
        const std::pair<const wchar_t*, BYTE> states[] = {{L"n", 30}, {L"s", 31}, {L"r", 32}, {L"nu", 33}};
        for (const auto& [pszState, nBlue] : states)
            m_folder.AddImage(std::wstring(L"nc\\btn_close_") + pszState + L".png", 6, 6, Bgra(nBlue, 0, 0, 255));
        LoadSkin(m_appearance, m_folder.Path());
        m_target.Create(40, 40, 32, CHImage::createAlphaChannel);
        AnimationTest::Fill(m_target, Bgra(0, 0, 0, 0));
    }

    DWORD DrawnAt(int x, int y) const { return PixelAt(m_target, x, y) & 0xFFFFFF; }

    CSkinFolder m_folder{L"<nonclient type=\"images\" dir=\"nc\"/>"};
    CHDialogAppeareaceDef m_appearance;
    CHImage m_target;
};

TEST_F(CCaptionDrawingTest, PaintsCaptionButtonsAndEdgesFromTheirImages)
{
    CHImageDC hDC(m_target);
    m_appearance.CC_DrawCaptionBKGround({hDC.Get(), {0, 0, 40, 12}, nullptr, true});
    EXPECT_EQ(DrawnAt(0, 0), 10u);
    EXPECT_EQ(DrawnAt(39, 11), 10u) << "the caption image is stretched over the rectangle";
    EXPECT_EQ(DrawnAt(0, 12), 0u);

    const struct
    {
        int nState;
        bool bActive;
        DWORD dwBlue;
    } buttons[] = {{captionStateNormal, true, 30},
                   {captionStatePressed, true, 31},
                   {captionStateHover, true, 32},
                   {captionStateNormal, false, 33},
                   {captionStateHover, false, 32}};
    for (const auto& button : buttons) {
        m_appearance.DrawCaptionButton({hDC.Get(), {20, 20, 40, 40}, nullptr, button.bActive}, captionButtonClose,
                                       button.nState);
        EXPECT_EQ(DrawnAt(30, 30), button.dwBlue) << button.nState << (button.bActive ? " active" : " inactive");
        EXPECT_EQ(DrawnAt(26, 26), 0u) << "a 6 x 6 image centred in 20 x 20";
    }

    m_appearance.CC_DrawEdge({hDC.Get(), {0, 14, 2, 40}, nullptr, true}, captionEdgeLeft);
    EXPECT_EQ(DrawnAt(0, 14), 20u);
    EXPECT_EQ(DrawnAt(1, 27), 21u);
    EXPECT_EQ(DrawnAt(0, 39), 22u);
    m_appearance.CC_DrawEdge({hDC.Get(), {10, 14, 40, 15}, nullptr, true}, captionEdgeTop);
    EXPECT_EQ(DrawnAt(39, 14), 23u);
}

TEST(CHDialogAppeareaceDef, WithoutFrameImagesTheCaptionAndEdgesAreColours)
{
    CHDialogAppeareaceDef appearance;
    CHImage target;
    target.Create(20, 20, 32);
    CHImageDC hDC(target);
    appearance.CC_DrawCaptionBKGround({hDC.Get(), {0, 0, 20, 10}, nullptr, true});
    appearance.CC_DrawEdge({hDC.Get(), {0, 10, 20, 20}, nullptr, true}, captionEdgeBottom);
    EXPECT_TRUE(ColourNear(PixelAt(target, 5, 5), PixelOf(0x7C7F7E)));
    EXPECT_TRUE(ColourNear(PixelAt(target, 5, 15), PixelOf(0x7C7F7E)));
    appearance.DrawCaptionButton({hDC.Get(), {0, 0, 20, 20}, nullptr, true}, captionButtonClose, captionStateNormal);
    EXPECT_TRUE(ColourNear(PixelAt(target, 10, 10), PixelOf(0x7C7F7E))) << "no image set, nothing drawn";
}

TEST(CHDialogAppeareaceDef, RoundsThePopupsUpperCornersWithoutANotchAtTheMiddle)
{
    CHDialogAppeareaceDef appearance;
    appearance.m_options.m_bRoundedRegion = true;
    appearance.m_options.m_nTopCornerSize = 20;
    CHWindowHandle popup(
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr));
    auto inRegion = [&](int x, int y) {
        CHRegionHandle hRegion(::CreateRectRgn(0, 0, 0, 0));
        return ::GetWindowRgn(popup.Get(), hRegion.Get()) != ERROR && ::PtInRegion(hRegion.Get(), x, y);
    };

    appearance.ApplyWindowRegion(popup.Get(), SIZE_MINIMIZED);
    EXPECT_FALSE(inRegion(100, 50)) << "minimising sets no region";
    appearance.ApplyWindowRegion(popup.Get(), SIZE_RESTORED);
    const struct
    {
        int x, y;
        bool bIn;
    } points[] = {{0, 0, false},   {199, 0, false},  {2, 2, false},     {15, 0, true},   {0, 15, true},  {0, 99, true},
                  {199, 99, true}, {200, 50, false}, {100, 100, false}, {100, 50, true}, {199, 50, true}};
    for (const auto& point : points)
        EXPECT_EQ(inRegion(point.x, point.y), point.bIn) << point.x << "," << point.y;
    for (int x = 0; x < 200; ++x)
        for (int y = 45; y < 55; ++y)
            ASSERT_TRUE(inRegion(x, y)) << "a hole at the quarter line: " << x << "," << y;

    ::SetWindowPos(popup.Get(), nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER);
    appearance.ApplyWindowRegion(popup.Get(), SIZE_MINIMIZED);
    EXPECT_FALSE(inRegion(250, 120)) << "minimising keeps the old region";
    appearance.ApplyWindowRegion(popup.Get(), SIZE_MAXIMIZED);
    EXPECT_TRUE(inRegion(250, 120));
    EXPECT_TRUE(inRegion(299, 149));
    EXPECT_FALSE(inRegion(299, 0));
}

TEST(CHDialogAppeareaceDef, LanguagesTooltipsAndCaptionButtonCommands)
{
    CHDialogAppeareaceDef appearance;
    appearance.SetLanguage(L"AR");
    EXPECT_TRUE(appearance.IsRightToLeft() && appearance.IsRightToLeftReading());
    appearance.SetLanguage(L"xx");
    EXPECT_FALSE(appearance.IsRightToLeft() || appearance.IsRightToLeftReading());
    EXPECT_EQ(appearance.GetLanguage(), L"xx");

    appearance.SetCaptionButtonTooltip(captionButtonMinimize, L"Minimise");
    EXPECT_EQ(appearance.GetButtonTooltip(captionButtonMinimize), L"Minimise");
    EXPECT_EQ(appearance.GetButtonTooltip(captionButtonRestore), L"");
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { appearance.SetCaptionButtonTooltip(4, L"x"); })).front(), 1010);

    CHWindowHandle window(
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    const std::pair<int, WPARAM> commands[] = {{captionButtonClose, SC_CLOSE},
                                               {captionButtonMaximize, SC_MAXIMIZE},
                                               {captionButtonMinimize, SC_MINIMIZE},
                                               {captionButtonHelp, SC_CONTEXTHELP}};
    for (const auto& [nButton, nCommand] : commands) {
        appearance.OnCaptionButtonClick(window.Get(), nButton, 3, 4);
        MSG msg = {};
        ASSERT_TRUE(::PeekMessageW(&msg, window.Get(), WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
        EXPECT_EQ(msg.wParam, nCommand);
        EXPECT_EQ(msg.lParam, MAKELPARAM(3, 4));
    }
    appearance.OnCaptionButtonClick(window.Get(), captionButtonSysMenu, 0, 0);
    MSG msg = {};
    EXPECT_FALSE(::PeekMessageW(&msg, window.Get(), WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE));
}

TEST(CHDialogAppeareaceDef, TheDefaultAppearanceIsThereFromTheStart)
{
    ASSERT_NE(g_pAppearance, nullptr);
    EXPECT_FALSE(g_pAppearance->IsSkinLoaded());
    EXPECT_NE(g_pAppearance->GetControlFont(), nullptr);
    EXPECT_EQ(g_pAppearance->GetGeneralForm().m_crBackground, RGB(233, 232, 236));
    EXPECT_FALSE(g_pAppearance->m_options.m_bWindowShadow);
    EXPECT_TRUE(g_pAppearance->m_options.m_bCustomCaption);
    const CTestNameMap map(L"any");
    CHWindowHandle window(
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(g_pAppearance->GetControlText(window.Get(), map)) << "no texts before a skin is loaded";

    {
        CHDialogAppeareaceDef own;
        g_pAppearance = &own;
    }
    EXPECT_NE(g_pAppearance, nullptr) << "an appearance that goes hands back the default";
    EXPECT_EQ(g_pAppearance->GetGeneralForm().m_crBackground, RGB(233, 232, 236));
}
}  // namespace
