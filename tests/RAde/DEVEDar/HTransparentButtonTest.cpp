#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ControlTestSupport.h"
#include "RAde/DEVEDar/HTransparentButton.h"
#include "TestSupport.h"

using namespace ControlTest;

namespace {
constexpr int kWidth = 120, kHeight = 32;
// Where the button under test is placed: below the template's controls.
constexpr int kLeft = 10, kTop = 260;
constexpr int kImageWidth = 40, kImageHeight = 20;
// A point of the stretched middle of the image, left of the caption.
constexpr POINT kImagePoint{20, 16};

// The colour of state s's test image (opaque, straight alpha as loaded).
constexpr DWORD StateColour(int s)
{
    return Bgra(static_cast<BYTE>(10 + s * 30), static_cast<BYTE>(200 - s * 20), static_cast<BYTE>(40 + s * 25), 255);
}

// A state image: its colour, the left cap (a quarter) fully transparent.
CHImage StateImage(int nState)
{
    CHImage image = SolidImage(kImageWidth, kImageHeight, StateColour(nState));
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth / 4; ++x)
            std::memcpy(image.GetPixelAddress(x, y), "\0\0\0\0", 4);
    return image;
}

class CButtonFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        // The real pointer away from the buttons, where no mouse event comes from.
        ::SetCursorPos(1270, 1015);
        for (int s = 0; s < stateCount; ++s) {
            (*m_defaults).m_button[s] = StateImage(s);
            (*m_defaults).m_checkOn[s] = SolidImage(12, 12, StateColour(s));
            (*m_defaults).m_checkOff[s] = SolidImage(12, 12, StateColour(s) ^ 0x00FF0000);
            (*m_defaults).m_checkIndeterminate[s] = SolidImage(12, 12, StateColour(s) ^ 0x0000FF00);
        }
    }

    // Opens the dialog and takes over control nId, kWidth x kHeight at (kLeft, kTop).
    CHTransparentButton& Open(int nId, UINT nTemplate = IDD_SKIN_BUTTONS)
    {
        m_dialog = std::make_unique<CControlsDialog>(nTemplate);
        m_dialog->Open();
        m_dialog->Place(nId, kLeft, kTop, kWidth, kHeight);
        m_hButton = m_dialog->Item(nId);
        m_buttons.push_back(std::make_unique<CHTransparentButton>());
        EXPECT_TRUE(m_buttons.back()->SubclassWindow(m_hButton));
        return *m_buttons.back();
    }

    LRESULT Send(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = MAKELPARAM(20, 16))
    {
        return ::SendMessageW(m_hButton, uMsg, wParam, lParam);
    }
    void Click()
    {
        Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        Send(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    DWORD PixelAtImagePoint() { return PixelAt(CaptureClient(m_hButton), kImagePoint.x, kImagePoint.y); }

    CDefaultImagesScope m_defaults;
    std::unique_ptr<CControlsDialog> m_dialog;
    std::vector<std::unique_ptr<CHTransparentButton>> m_buttons;
    HWND m_hButton = nullptr;
};

// What a test does to the button before it looks.
enum EAction : unsigned
{
    doPress = 1,
    doHover = 2,
    doDisable = 4,
    doDefault = 8,
    doFocus = 16,
    doCheck = 32,
    noImage7 = 64
};
}  // namespace

TEST_F(CButtonFixture, DrawsTheStateChosenInItsOrderOfPriority)
{
    struct CCase
    {
        const char* pszName;
        unsigned nActions;
        int nState;
        int nId = IDC_SKIN_PUSH;
    };
    const CCase cases[] = {
        {"normal", 0, stateNormal},
        {"pressed", doPress, statePressed},
        {"hover", doHover, stateHover},
        {"disabled", doDisable, stateDisabled},
        {"default", doDefault, stateDefault},
        {"focused", doFocus, stateFocused},
        {"focused default", doFocus | doDefault, stateFocusedDefault},
        {"hover default", doHover | doDefault, stateHoverDefault},
        {"hover default without image 7", doHover | doDefault | noImage7, stateHover},
        {"pressed beats disabled", doDisable | doPress, statePressed},
        {"disabled beats hover and focus", doDisable | doHover | doFocus, stateDisabled},
        {"a checked push button", doCheck, statePressed},
        {"the template's default button", 0, stateDefault, IDC_SKIN_DEFPUSH},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        (*m_defaults).m_button[stateHoverDefault] = test.nActions & noImage7 ? CHImage() : StateImage(7);
        CHTransparentButton& button = Open(test.nId);
        ::EnableWindow(m_hButton, !(test.nActions & doDisable));
        const std::pair<unsigned, std::pair<UINT, WPARAM>> messages[] = {{doDefault, {BM_SETSTYLE, BS_DEFPUSHBUTTON}},
                                                                         {doFocus, {WM_SETFOCUS, 0}},
                                                                         {doHover, {WM_MOUSEMOVE, 0}},
                                                                         {doPress, {WM_LBUTTONDOWN, MK_LBUTTON}},
                                                                         {doCheck, {BM_SETCHECK, BST_CHECKED}}};
        for (const auto& [nAction, message] : messages)
            if (test.nActions & nAction)
                Send(message.first, message.second);
        EXPECT_EQ(button.GetDrawState(), test.nState);
        EXPECT_TRUE(ColourNear(PixelAtImagePoint(), StateColour(test.nState), 1));
        ::ReleaseCapture();
    }
}

TEST_F(CButtonFixture, KindAndStyleComeFromTheControlAndImagesFromTheSkin)
{
    struct CCase
    {
        int nId;
        int nKind;
        bool bThreeState;
        UINT nDlgCode;
    };
    const CCase cases[] = {
        {IDC_SKIN_PUSH, CHTransparentButton::kindPush, false, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
        {IDC_SKIN_DEFPUSH, CHTransparentButton::kindPush, false, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
        {IDC_SKIN_CHECK, CHTransparentButton::kindCheck, false, DLGC_BUTTON},
        {IDC_SKIN_3STATE, CHTransparentButton::kindCheck, true, DLGC_BUTTON},
        {IDC_SKIN_RADIO, CHTransparentButton::kindRadio, false, DLGC_BUTTON | DLGC_RADIOBUTTON},
    };
    m_dialog = std::make_unique<CControlsDialog>(IDD_SKIN_BUTTONS);
    m_dialog->Open();
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.nId);
        CHTransparentButton button;
        ASSERT_TRUE(button.SubclassWindow(m_dialog->Item(test.nId)));
        EXPECT_EQ(button.GetKind(), test.nKind);
        EXPECT_EQ(button.IsThreeState(), test.bThreeState);
        EXPECT_EQ(::SendMessageW(button, WM_GETDLGCODE, 0, 0), static_cast<LRESULT>(test.nDlgCode));
        // Never 15 (a command link), which the system would paint over the button.
        EXPECT_EQ(::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        // Whatever style the dialog manager asks for, the button stays owner-drawn.
        ::SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON | BS_AUTORADIOBUTTON, FALSE);
        EXPECT_EQ(::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    }
    CHTransparentButton unbound;
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { unbound.GetImgRef(8); })).front(), 1010);

    // The skin's images are premultiplied once; transparency decides the buffering.
    (*m_defaults).m_button[stateNormal] = SolidImage(kImageWidth, kImageHeight, Bgra(200, 100, 50, 128));
    CHTransparentButton& button = Open(IDC_SKIN_PUSH);
    button.LoadDefaults();
    button.LoadDefaults();
    EXPECT_EQ(PixelAt(button.GetImgRef(stateNormal), 3, 3), Bgra(100, 50, 25, 128));
    EXPECT_TRUE(button.HasTransparency());
    EXPECT_TRUE(button.IsBackBufferEnabled());
    // Opaque images are drawn straight into the window, the parent's background never under them.
    for (int s = 0; s < stateCount; ++s)
        (*m_defaults).m_button[s] = SolidImage(kImageWidth, kImageHeight, StateColour(s));
    CHTransparentButton& opaque = Open(IDC_SKIN_PUSH);
    opaque.LoadDefaults();
    EXPECT_FALSE(opaque.HasTransparency());
    EXPECT_FALSE(opaque.IsBackBufferEnabled());
    // A check box's text lies beside its image: the background is needed there.
    CHTransparentButton& check = Open(IDC_SKIN_CHECK);
    check.LoadDefaults();
    EXPECT_TRUE(check.IsBackBufferEnabled());
}

TEST_F(CButtonFixture, TransparentPixelsOfAPushButtonLetClicksThrough)
{
    CHTransparentButton& button = Open(IDC_SKIN_PUSH);
    RECT rc{};
    ::GetWindowRect(m_hButton, &rc);
    const POINT ptClear{rc.left + 5, rc.top + 16}, ptOpaque{rc.left + 60, rc.top + 16};
    const POINT ptAboveImage{rc.left + 60, rc.top + 2};
    EXPECT_EQ(::WindowFromPoint(ptClear), m_dialog->GetHandle());
    EXPECT_EQ(::WindowFromPoint(ptOpaque), m_hButton);
    EXPECT_EQ(::WindowFromPoint(ptAboveImage), m_hButton) << "off the image is the button's";
    const DWORD dwBackground = PixelOf(kBackground);
    EXPECT_TRUE(ColourNear(PixelAt(CaptureClient(m_hButton), 5, 16), dwBackground));

    // A real click on the clear part reaches the dialog, not the button.
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = static_cast<LONG>(ptClear.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1));
        input.mi.dy = static_cast<LONG>(ptClear.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1));
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    inputs[0].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(::SendInput(2, inputs, sizeof(INPUT)), 2u);
    EXPECT_TRUE(PumpMessagesUntil([&] { return m_dialog->m_nClicks > 0; }, 3000));
    EXPECT_TRUE(m_dialog->m_commands.empty());

    // A check box is hit everywhere, its images' alpha notwithstanding.
    for (CHImage& image : (*m_defaults).m_checkOff)
        image = StateImage(0);
    Open(IDC_SKIN_CHECK);
    ::GetWindowRect(m_hButton, &rc);
    EXPECT_EQ(::WindowFromPoint(POINT{rc.left + 2, rc.top + 16}), m_hButton);
    (void)button;
}

TEST_F(CButtonFixture, ClicksCycleAThreeStateBoxThroughItsImageSets)
{
    CHTransparentButton& box = Open(IDC_SKIN_3STATE);
    const int expectedChecks[] = {1, 2, 0};
    const int expectedSets[] = {0, 2, 1};
    const DWORD expectedPixels[] = {StateColour(0), StateColour(0) ^ 0x0000FF00, StateColour(0) ^ 0x00FF0000};
    EXPECT_EQ(box.GetImgSet(), 0);
    PixelAtImagePoint();
    EXPECT_EQ(box.GetImgSet(), 1) << "clear";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        Click();
        EXPECT_EQ(Send(BM_GETCHECK), expectedChecks[i]);
        // The image lies at the left, vertically centred.
        EXPECT_TRUE(ColourNear(PixelAt(CaptureClient(m_hButton), 5, 16), expectedPixels[i]));
        EXPECT_EQ(box.GetImgSet(), expectedSets[i]);
    }
    ASSERT_EQ(m_dialog->m_commands.size(), 3u);
    EXPECT_EQ(m_dialog->m_commands[0], MAKEWPARAM(IDC_SKIN_3STATE, BN_CLICKED));
}

TEST_F(CButtonFixture, ARadioButtonClearsItsGroupOnly)
{
    m_dialog = std::make_unique<CControlsDialog>(IDD_SKIN_RADIOS);
    m_dialog->Open();
    const int ids[] = {IDC_RADIO_BEFORE, IDC_RADIO_FIRST, IDC_RADIO_SECOND, IDC_RADIO_THIRD, IDC_RADIO_AFTER};
    std::vector<std::unique_ptr<CHTransparentButton>> radios;
    for (int nId : ids) {
        radios.push_back(std::make_unique<CHTransparentButton>());
        ASSERT_TRUE(radios.back()->SubclassWindow(m_dialog->Item(nId)));
        ::SendMessageW(*radios.back(), BM_SETCHECK, BST_CHECKED, 0);
    }
    auto checks = [&] {
        std::string strChecks;
        for (const auto& radio : radios)
            strChecks += static_cast<char>('0' + radio->GetCheck());
        return strChecks;
    };
    m_hButton = *radios[2];
    Click();
    EXPECT_EQ(checks(), "10101") << "the second of its group";
    m_hButton = *radios[1];
    Click();
    EXPECT_EQ(checks(), "11001") << "the first of its group does not walk back";
}

TEST_F(CButtonFixture, HoverFadesBetweenTheImagesOnTimer21)
{
    CHTransparentButton& button = Open(IDC_SKIN_PUSH);
    button.SetFadeTime(200);
    Send(WM_MOUSEMOVE);
    ASSERT_TRUE(button.GetFadeSet().IsRunning());
    EXPECT_EQ(button.GetFadeSet().GetOwner(), m_hButton);
    auto blend = [](int nPercent) {  // of the mouse-over image, per channel
        DWORD dwPixel = 0;
        for (int n = 0; n < 24; n += 8)
            dwPixel |= ((StateColour(0) >> n & 0xFF) * (100 - nPercent) + (StateColour(2) >> n & 0xFF) * nPercent) / 100
                       << n;
        return dwPixel;
    };
    Send(WM_TIMER, CHTransparentButton::kFadeTimerId);
    EXPECT_TRUE(ColourNear(PixelAtImagePoint(), blend(25), 2));
    Send(WM_TIMER, CHTransparentButton::kFadeTimerId);
    Send(WM_TIMER, CHTransparentButton::kFadeTimerId);
    EXPECT_TRUE(ColourNear(PixelAtImagePoint(), blend(75), 2));
    Send(WM_TIMER, CHTransparentButton::kFadeTimerId);
    EXPECT_FALSE(button.GetFadeSet().IsRunning()) << "one cycle, and the plain image shows again";
    EXPECT_TRUE(ColourNear(PixelAtImagePoint(), StateColour(stateHover), 1));

    // Images of different sizes are not faded: the hover image shows at once.
    (*m_defaults).m_button[stateHover] = SolidImage(kImageWidth + 1, kImageHeight, StateColour(stateHover));
    CHTransparentButton& uneven = Open(IDC_SKIN_PUSH);
    uneven.SetFadeTime(200);
    Send(WM_MOUSEMOVE);
    EXPECT_FALSE(uneven.GetFadeSet().IsRunning());
    EXPECT_TRUE(ColourNear(PixelAtImagePoint(), StateColour(stateHover), 1));
}

TEST_F(CButtonFixture, PaintsIntoAnExternalDeviceContextAtItsPlace)
{
    CHTransparentButton& button = Open(IDC_SKIN_PUSH);
    CHImage parentImage = SolidImage(200, 400, Bgra(1, 2, 3, 255));
    button.SetExternalDC(parentImage.GetDC());
    ::InvalidateRect(m_hButton, nullptr, FALSE);
    ASSERT_EQ(button.GetDrawState(), stateNormal);
    Send(WM_PAINT, 0, 0);
    const POINT ptInParent{kLeft + kImagePoint.x, kTop + kImagePoint.y};
    EXPECT_TRUE(ColourNear(PixelAt(parentImage, ptInParent.x, ptInParent.y), StateColour(0), 1));
    EXPECT_EQ(PixelAt(parentImage, kLeft - 1, ptInParent.y), Bgra(1, 2, 3, 255));
    // A new state is shown through the parent: the button stores it and
    // repaints the parent under it, whose repaint has the button draw it.
    Send(WM_MOUSEMOVE);
    EXPECT_FALSE(::GetUpdateRect(m_hButton, nullptr, FALSE));
    EXPECT_TRUE(ColourNear(PixelAt(parentImage, ptInParent.x, ptInParent.y), StateColour(stateHover), 1));
    button.SetExternalDC(nullptr);
    parentImage.ReleaseDC();
}
