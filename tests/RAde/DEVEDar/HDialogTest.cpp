// The skinned dialog: its custom caption (geometry, hit tests, painting in
// memory, tooltips, tracking), closing, the window region, a child dialog,
// right to left, and the text measuring.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>

#include "ControlTestSupport.h"
#include "DialogTestSupport.h"
#include "RAde/DEVEDar/HDialog.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"

using namespace ControlTest;

namespace {
constexpr int kCaptionHeight = 30;

// A skin with a 30-pixel caption image, edges, and close and minimize buttons,
// each image one colour (blue tells them apart).
class CCaptionFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        // The real pointer away from the caption, where no mouse event comes from.
        ::SetCursorPos(1270, 1015);
        m_folder.AddImage(L"nc\\caption.png", 4, kCaptionHeight, Bgra(10, 0, 0, 255));
        for (const wchar_t* pszEdge : {L"edge_left", L"edge_right", L"edge_top", L"edge_bottom", L"edge_left_top",
                                       L"edge_right_top", L"edge_left_bottom", L"edge_right_bottom"})
            m_folder.AddImage(std::wstring(L"nc\\") + pszEdge + L".png", 4, 4, Bgra(20, 0, 0, 255));
        const std::pair<const wchar_t*, BYTE> buttons[] = {
            {L"close_n", 30}, {L"close_r", 31}, {L"close_s", 32}, {L"minimize_n", 40}, {L"minimize_nu", 41}};
        for (const auto& [pszName, nBlue] : buttons)
            m_folder.AddImage(std::wstring(L"nc\\btn_") + pszName + L".png", 12, 12, Bgra(nBlue, 0, 0, 255));
        LoadSkin(m_appearance, m_folder.Path());
        m_appearance.SetCaptionButtonTooltip(captionButtonClose, L"Close it");
    }

    // What the caption paints, in a memory image of the window's size.
    DWORD PaintedBlueAt(CTestDialog& dialog, POINT ptInWindow)
    {
        RECT rc{};
        ::GetWindowRect(dialog, &rc);
        CHImage image = SolidImage(rc.right - rc.left, rc.bottom - rc.top, 0);
        dialog.GetCaption().Paint(image.GetDC());
        image.ReleaseDC();
        return PixelAt(image, ptInWindow.x, ptInWindow.y) & 0xFF;
    }

    POINT ButtonCentre(CTestDialog& dialog, size_t nIndex, bool bScreen)
    {
        const RECT& rcButton = dialog.GetCaption().GetButtons().at(nIndex).rc;
        POINT pt{(rcButton.left + rcButton.right) / 2, (rcButton.top + rcButton.bottom) / 2};
        RECT rcWindow{};
        ::GetWindowRect(dialog, &rcWindow);
        return bScreen ? POINT{pt.x + rcWindow.left, pt.y + rcWindow.top} : pt;
    }

    CSkinFolder m_folder{L"<nonclient type=\"images\" dir=\"nc\"/>"};
    CHDialogAppeareaceDef m_appearance;
    CAppearanceScope m_scope{m_appearance};
};
}  // namespace

TEST_F(CCaptionFixture, ACaptionOfItsOwnHeightGrowsTheWindowAndPaintsFromTheImages)
{
    m_appearance.m_options.m_bCustomCaption = false;
    CTestDialog plain(IDD_CAPTION_DIALOG);
    plain.Create(nullptr);
    m_appearance.m_options.m_bCustomCaption = true;
    CTestDialog dialog(IDD_CAPTION_DIALOG);
    dialog.Create(nullptr);
    ASSERT_TRUE(dialog.GetCaption().IsAttached());
    EXPECT_FALSE(plain.GetCaption().IsAttached());

    RECT rcPlain{}, rcDialog{}, rcPlainClient{}, rcClient{};
    ::GetWindowRect(plain, &rcPlain);
    ::GetWindowRect(dialog, &rcDialog);
    ::GetClientRect(plain, &rcPlainClient);
    ::GetClientRect(dialog, &rcClient);
    // The 30-pixel caption and the 4-pixel edges take their room outside the client area.
    const int nHigher = (rcDialog.bottom - rcDialog.top) - (rcPlain.bottom - rcPlain.top);
    EXPECT_EQ(nHigher, kCaptionHeight - ::GetSystemMetrics(SM_CYCAPTION) + 2 * (4 - ::GetSystemMetrics(SM_CYDLGFRAME)));
    EXPECT_EQ(rcDialog.top, rcPlain.top - nHigher / 2);
    EXPECT_EQ(rcClient.right, rcPlainClient.right);
    EXPECT_EQ(rcClient.bottom, rcPlainClient.bottom);
    POINT ptClient{0, 0};
    ::ClientToScreen(dialog, &ptClient);
    EXPECT_EQ(ptClient.y - rcDialog.top, 4 + kCaptionHeight) << "below the top edge and the caption";

    // Close at the right, then minimize; hit tests give their codes.
    const auto& buttons = dialog.GetCaption().GetButtons();
    ASSERT_EQ(buttons.size(), 2u);
    EXPECT_EQ(buttons[0].nNumber, captionButtonClose);
    EXPECT_EQ(buttons[1].nNumber, captionButtonMinimize);
    EXPECT_EQ(buttons[0].rc.right, rcDialog.right - rcDialog.left - 4);
    EXPECT_EQ(buttons[1].rc.right, buttons[0].rc.left);
    const POINT ptClose = ButtonCentre(dialog, 0, true), ptMinimize = ButtonCentre(dialog, 1, true);
    EXPECT_EQ(::SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(ptClose.x, ptClose.y)), HTCLOSE);
    EXPECT_EQ(::SendMessageW(dialog, WM_NCHITTEST, 0, MAKELPARAM(ptMinimize.x, ptMinimize.y)), HTMINBUTTON);

    // Painting: caption, edges, buttons in their states, inactive images.
    EXPECT_EQ(PaintedBlueAt(dialog, POINT{10, 4 + kCaptionHeight / 2}), 10u);
    EXPECT_EQ(PaintedBlueAt(dialog, POINT{1, 50}), 20u);
    EXPECT_EQ(PaintedBlueAt(dialog, ButtonCentre(dialog, 0, false)), 30u);
    ::SendMessageW(dialog, WM_NCMOUSEMOVE, HTCLOSE, MAKELPARAM(ptClose.x, ptClose.y));
    EXPECT_EQ(dialog.GetCaption().GetButtons()[0].nState, captionStateHover);
    EXPECT_EQ(PaintedBlueAt(dialog, ButtonCentre(dialog, 0, false)), 31u);
    EXPECT_EQ(PaintedBlueAt(dialog, ButtonCentre(dialog, 1, false)), 40u);
    // Pressed, then released away from it: no click.
    ::SendMessageW(dialog, WM_NCLBUTTONDOWN, HTCLOSE, MAKELPARAM(ptClose.x, ptClose.y));
    EXPECT_EQ(PaintedBlueAt(dialog, ButtonCentre(dialog, 0, false)), 32u);
    HWND hListener = ::GetCapture();
    ASSERT_NE(hListener, nullptr);
    ::SendMessageW(hListener, WM_LBUTTONUP, 0, MAKELPARAM(-5000, -5000));
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(dialog.GetCaption().GetButtons()[0].nState, captionStateNormal);
    ::SendMessageW(dialog, WM_NCACTIVATE, FALSE, 0);
    EXPECT_FALSE(dialog.GetCaption().IsActive());
    EXPECT_EQ(PaintedBlueAt(dialog, ButtonCentre(dialog, 1, false)), 41u);
    ::ReleaseCapture();

    // The close button's tooltip; the minimize button has no text.
    wchar_t szText[64] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = dialog;
    tool.uId = 1;
    tool.lpszText = szText;
    ::SendMessageW(dialog.GetCaption().GetToolTip(), TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(szText, L"Close it");
    EXPECT_EQ(::SendMessageW(dialog.GetCaption().GetToolTip(), TTM_GETTOOLCOUNT, 0, 0), 1);
}

TEST_F(CCaptionFixture, ClickingCloseEndsTheDialogWith2AndEnterWithoutOkDoesNot)
{
    static CTestDialog* s_pDialog = nullptr;
    static bool s_bOpenAfterEnter = false;
    CTestDialog dialog(IDD_CAPTION_DIALOG);
    s_pDialog = &dialog;
    // Driven from inside the modal loop.
    const UINT_PTR nTimer = ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR nId, DWORD) {
        CTestDialog& dialog = *s_pDialog;
        if (dialog.GetHandle() == nullptr || !::IsWindowVisible(dialog))
            return;  // not up yet: the next tick
        ::KillTimer(nullptr, nId);
        ::SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        s_bOpenAfterEnter = ::IsWindow(dialog) && ::IsWindowVisible(dialog);
        RECT rc{};
        ::GetWindowRect(dialog, &rc);
        const RECT& rcClose = dialog.GetCaption().GetButtons().at(0).rc;
        const POINT pt{rc.left + (rcClose.left + rcClose.right) / 2, rc.top + (rcClose.top + rcClose.bottom) / 2};
        ::SendMessageW(dialog, WM_NCLBUTTONDOWN, HTCLOSE, MAKELPARAM(pt.x, pt.y));
        HWND hListener = ::GetCapture();
        POINT ptListener = pt;
        ::ScreenToClient(hListener, &ptListener);
        ::SendMessageW(hListener, WM_LBUTTONUP, 0, MAKELPARAM(ptListener.x, ptListener.y));
    });
    ASSERT_NE(nTimer, 0u);
    // Should the click go astray, the dialog ends anyway and the test fails instead of hanging.
    const UINT_PTR nGuard = ::SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR nId, DWORD) {
        ::KillTimer(nullptr, nId);
        ::EndDialog(*s_pDialog, 99);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
    ::KillTimer(nullptr, nGuard);
    EXPECT_TRUE(s_bOpenAfterEnter);
    s_pDialog = nullptr;
}

TEST_F(CCaptionFixture, RegionFollowsRestoreAndMaximizeButNotMinimize)
{
    m_appearance.m_options.m_bRoundedRegion = true;
    m_appearance.m_options.m_nTopCornerSize = 20;
    CTestDialog dialog(IDD_CAPTION_DIALOG);
    dialog.Create(nullptr);
    ::ShowWindow(dialog, SW_SHOWNA);
    auto cornerIsCut = [&] {
        CHRegionHandle hRegion(::CreateRectRgn(0, 0, 0, 0));
        return ::GetWindowRgn(dialog, hRegion.Get()) != ERROR && !::PtInRegion(hRegion.Get(), 0, 0);
    };
    for (WPARAM nType : {SIZE_RESTORED, SIZE_MAXIMIZED}) {
        ::SetWindowRgn(dialog, nullptr, FALSE);
        ::SendMessageW(dialog, WM_SIZE, nType, 0);
        EXPECT_TRUE(cornerIsCut()) << nType;
    }
    ::SetWindowRgn(dialog, nullptr, FALSE);
    ::SendMessageW(dialog, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_FALSE(cornerIsCut());

    // No maximize box: the request is swallowed; the caption's own message too.
    ::SendMessageW(dialog, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    EXPECT_FALSE(::IsZoomed(dialog));
    LRESULT lResult = 1;
    EXPECT_TRUE(dialog.GetCaption().OnMessage(CHCustomCaption::kSystemCaptionMessage, 0, 0, lResult));
    ::SetWindowTextW(dialog, L"Renamed");
    EXPECT_NE(::GetWindowLongPtrW(dialog, GWL_STYLE) & WS_VISIBLE, 0) << "visible again";
    EXPECT_EQ(GetWindowTextOf(dialog), L"Renamed");
}

TEST(CHDialog, AChildDialogForwardsCommandsAndColoursAndGetsNoCaption)
{
    // A form without a background of its own (the default general form has one).
    CSkinFolder folder(L"<forms><form id=\"child\"/></forms>");
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path());
    CAppearanceScope scope(appearance);
    CControlsDialog parent(IDD_SKIN_STATICS);
    parent.Create(nullptr);
    CTestDialog child(IDD_CHILD_DIALOG, L"child");
    child.Create(parent);
    EXPECT_FALSE(child.IsPopup());
    EXPECT_FALSE(child.GetCaption().IsAttached());
    EXPECT_EQ(child.GetShadow().GetDialog(), nullptr);
    ::SendMessageW(child, WM_COMMAND, MAKEWPARAM(4321, BN_CLICKED), 0);
    ASSERT_EQ(parent.m_commands.size(), 1u);
    EXPECT_EQ(parent.m_commands[0], MAKEWPARAM(4321, BN_CLICKED));
    const LRESULT lParentBrush =
        ::SendMessageW(parent, WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(::GetDlgItem(child, IDC_CHILD_TEXT)));
    HDC hDC = ::GetDC(child);
    EXPECT_EQ(::SendMessageW(child, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                             reinterpret_cast<LPARAM>(::GetDlgItem(child, IDC_CHILD_TEXT))),
              lParentBrush);
    ::ReleaseDC(child, hDC);
}

TEST(CHDialog, RightToLeftTextsAndMeasuredText)
{
    CHDialogAppeareaceDef appearance;
    appearance.SetLanguage(L"ar");
    appearance.m_options.m_bSkinStaticText = true;
    CAppearanceScope scope(appearance);
    CTestDialog dialog(IDD_CAPTION_DIALOG);
    dialog.Create(nullptr);
    ASSERT_EQ(dialog.GetSkinnedControls().m_staticTexts.size(), 1u);
    const CHStaticTextCtrl& text = *dialog.GetSkinnedControls().m_staticTexts[0];
    EXPECT_EQ(::GetWindowLongPtrW(text, GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
    EXPECT_NE(text.GetExtraFormat() & DT_RTLREADING, 0u);

    // Measuring keeps the width and gives the height of the wrapped lines.
    RECT rcOne{5, 5, 400, 5}, rcWrapped{5, 5, 60, 5};
    CalcTextSize(L"one two three four five six", appearance.GetControlFont(), rcOne, nullptr);
    CalcTextSize(L"one two three four five six", appearance.GetControlFont(), rcWrapped, nullptr);
    EXPECT_EQ(rcWrapped.right, 60);
    EXPECT_GT(rcOne.bottom, 5);
    EXPECT_GE(rcWrapped.bottom - rcWrapped.top, 3 * (rcOne.bottom - rcOne.top));
}

TEST(CHDialog, AFailingInitialisationIsLoggedAndLeavesTheDialogOpen)
{
    struct CFailingAppearance : CHDialogAppeareaceDef
    {
        void SetDefault(CHCaptionParams&) override { throw CHException(HError::InvalidParameter, HSITE); }
    } appearance;
    CAppearanceScope scope(appearance);
    CLogCapture log;
    CTestDialog dialog(IDD_CAPTION_DIALOG);
    ASSERT_NE(dialog.Create(nullptr), nullptr);
    EXPECT_FALSE(dialog.IsInitialized());
    auto logged = [&] {
        for (const std::wstring& strMessage : log.Messages())
            if (strMessage.find(L"CTestDialog>::OnInitDialog") != std::wstring::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(PumpMessagesUntil(logged, 3000)) << "the trail names the dialog's handler";
    ::SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(::IsWindow(dialog)) << "and it still closes";
}
