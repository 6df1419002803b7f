// Screen readers and the keyboard in a skinned dialog holding one control of
// every kind (the sample skin): what Active Accessibility tells of each
// control, the dialog manager's keys, and the focus cue that only the
// keyboard shows. Wine's system objects call every window a plain client and
// know no check or default state: every role and state checked here comes
// from the skinned controls themselves, as Windows' own would tell them.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "AccessibilityTestSupport.h"
#include "DialogTestSupport.h"
#include "GallerySupport.h"

using namespace AccessibilityTest;
using namespace ControlTest;

namespace {
// The controls dialog; it keeps the ids of the commands it gets.
class CSkinnedDialog : public CTestDialog
{
public:
    CSkinnedDialog() : CTestDialog(IDD_SKIN_CONTROLS) {}
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg != WM_COMMAND)
            return CTestDialog::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult);
        m_commands.push_back(LOWORD(wParam));
        return TRUE;
    }
    HWND Item(int nId) const { return ::GetDlgItem(m_hWnd, nId); }
    std::vector<int> m_commands;
};

class CAccessibilityTest : public testing::Test, public CAccessibilityScope
{
protected:
    void SetUp() override
    {
        ::SetCursorPos(1270, 1015);
        LoadSkin(m_appearance, SampleSkinFolder(), L"en-uk");
        m_appearance.m_options.SkinEveryKind();
    }
    static void Open(CSkinnedDialog& dialog)
    {
        ASSERT_NE(dialog.Create(nullptr), nullptr);
        ::SetWindowPos(dialog, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    // The focus as the keyboard gives it: the dialog active, the dialog manager moving it.
    static void Focus(CSkinnedDialog& dialog, int nId)
    {
        ::SetForegroundWindow(dialog);
        ::SetActiveWindow(dialog);
        ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dialog.Item(nId)), TRUE);
        ASSERT_EQ(::GetFocus(), dialog.Item(nId));
    }

    CDefaultImagesScope m_defaults;
    CHDialogAppeareaceDef m_appearance;
    CAppearanceScope m_scope{m_appearance};
};

// One key through the dialog manager, Shift held or not.
void Key(HWND hDialog, WPARAM nKey, bool bShift = false)
{
    BYTE keys[256]{};
    keys[VK_SHIFT] = bShift ? 0x80 : 0;
    ::SetKeyboardState(keys);
    MSG msg{::GetFocus(), WM_KEYDOWN, nKey, 0, 0, {}};
    EXPECT_TRUE(::IsDialogMessageW(hDialog, &msg));
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
}

// The points where two pictures of one size differ.
std::vector<POINT> Differences(const CHImage& a, const CHImage& b)
{
    std::vector<POINT> points;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (PixelAt(a, x, y) != PixelAt(b, x, y))
                points.push_back(POINT{x, y});
    return points;
}
}  // namespace

TEST_F(CAccessibilityTest, EachControlTellsItsNameRoleAndState)
{
    // One dialog: each case finds it as the cases before left it. A null
    // name is not the control's own (a list's is its label's on Windows).
    struct CCase
    {
        const char* pszName;
        int nId;
        std::function<void(HWND)> prepare;
        const wchar_t* pszText;
        LONG nRole, nHas, nLacks;
    };
    auto check = [](WPARAM nCheck) { return [=](HWND hWnd) { ::SendMessageW(hWnd, BM_SETCHECK, nCheck, 0); }; };
    const LONG kFocused = STATE_SYSTEM_FOCUSED, kChecked = STATE_SYSTEM_CHECKED, kMixed = STATE_SYSTEM_MIXED;
    const LONG kDefault = STATE_SYSTEM_DEFAULT, kUnavailable = STATE_SYSTEM_UNAVAILABLE;
    CSkinnedDialog dialog;
    Open(dialog);
    const CCase cases[] = {
        {"push", IDC_SKIN_PUSH, nullptr, L"Push", ROLE_SYSTEM_PUSHBUTTON, 0, kDefault | kUnavailable | kChecked},
        {"disabled", IDC_SKIN_PUSH, [](HWND hWnd) { ::EnableWindow(hWnd, FALSE); }, L"Push", ROLE_SYSTEM_PUSHBUTTON,
         kUnavailable, kDefault},
        {"default", IDC_SKIN_DEFPUSH, nullptr, L"Default", ROLE_SYSTEM_PUSHBUTTON, kDefault, kUnavailable},
        {"no longer default", IDC_SKIN_DEFPUSH,
         [](HWND hWnd) { ::SendMessageW(hWnd, BM_SETSTYLE, BS_PUSHBUTTON, TRUE); }, L"Default", ROLE_SYSTEM_PUSHBUTTON,
         0, kDefault},
        {"check box on", IDC_SKIN_CHECK, check(BST_CHECKED), L"Check", ROLE_SYSTEM_CHECKBUTTON, kChecked,
         kMixed | kDefault},
        {"check box off", IDC_SKIN_CHECK, check(BST_UNCHECKED), L"Check", ROLE_SYSTEM_CHECKBUTTON, 0, kChecked},
        {"third state", IDC_SKIN_3STATE, check(BST_INDETERMINATE), L"Three states", ROLE_SYSTEM_CHECKBUTTON, kMixed,
         kChecked},
        {"radio button", IDC_SKIN_RADIO, nullptr, L"Radio", ROLE_SYSTEM_RADIOBUTTON, 0, kChecked | kFocused},
        {"radio button clicked", IDC_SKIN_RADIO,
         [](HWND hWnd) {
             ::SendMessageW(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
             ::SendMessageW(hWnd, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
         },
         L"Radio", ROLE_SYSTEM_RADIOBUTTON, kChecked, kFocused},
        {"radio button focused", IDC_SKIN_RADIO, [&](HWND) { Focus(dialog, IDC_SKIN_RADIO); }, L"Radio",
         ROLE_SYSTEM_RADIOBUTTON, kFocused | kChecked, kDefault},
        {"group box", IDC_SKIN_GROUP, nullptr, L"Group", ROLE_SYSTEM_GROUPING, 0, 0},
        {"static text", IDC_SKIN_LTEXT, nullptr, L"Left", ROLE_SYSTEM_STATICTEXT, 0, 0},
        {"combo box", IDC_SKIN_OWNERCOMBO, nullptr, nullptr, ROLE_SYSTEM_COMBOBOX, 0, 0},
        {"list box", IDC_SKIN_LIST, nullptr, nullptr, ROLE_SYSTEM_LIST, 0, 0},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        if (test.prepare)
            test.prepare(dialog.Item(test.nId));
        const CAccessibleRead read = ReadAccessible(dialog.Item(test.nId));
        ASSERT_EQ(read.hr, S_OK);
        if (test.pszText != nullptr) {
            EXPECT_EQ(read.strName, test.pszText);
        }
        EXPECT_EQ(read.nRole, test.nRole);
        EXPECT_EQ(read.nState & (test.nHas | test.nLacks), test.nHas) << std::hex << read.nState;
    }
}

TEST_F(CAccessibilityTest, TabEnterAndEscapeKeepTheDialogManagersRules)
{
    // Tab and Shift+Tab through the push buttons and the check box; Enter
    // clicks the default button, which stays the default while a check box
    // has the focus and moves to a focused push button; Escape cancels.
    struct CStep
    {
        WPARAM nKey;
        bool bShift;
        int nFocus, nCommand /* 0: none */, nDefault;
    };
    const CStep steps[] = {
        {VK_TAB, false, IDC_SKIN_DEFPUSH, 0, IDC_SKIN_DEFPUSH},
        {VK_TAB, false, IDC_SKIN_CHECK, 0, IDC_SKIN_DEFPUSH},
        {VK_RETURN, false, IDC_SKIN_CHECK, IDC_SKIN_DEFPUSH, IDC_SKIN_DEFPUSH},
        {VK_TAB, true, IDC_SKIN_DEFPUSH, 0, IDC_SKIN_DEFPUSH},
        {VK_TAB, true, IDC_SKIN_PUSH, 0, IDC_SKIN_PUSH},
        {VK_RETURN, false, IDC_SKIN_PUSH, IDC_SKIN_PUSH, IDC_SKIN_PUSH},
        {VK_ESCAPE, false, IDC_SKIN_PUSH, IDCANCEL, IDC_SKIN_PUSH},
    };
    CSkinnedDialog dialog;
    Open(dialog);
    Focus(dialog, IDC_SKIN_PUSH);
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        dialog.m_commands.clear();
        Key(dialog, steps[i].nKey, steps[i].bShift);
        EXPECT_EQ(::GetFocus(), dialog.Item(steps[i].nFocus));
        EXPECT_EQ(dialog.m_commands, steps[i].nCommand ? std::vector<int>{steps[i].nCommand} : std::vector<int>{});
        for (int nId : {IDC_SKIN_PUSH, IDC_SKIN_DEFPUSH, IDC_SKIN_CHECK}) {
            const LRESULT nCode = ::SendMessageW(dialog.Item(nId), WM_GETDLGCODE, 0, 0);
            EXPECT_EQ((nCode & DLGC_DEFPUSHBUTTON) != 0, nId == steps[i].nDefault) << nId;
        }
    }
    EXPECT_EQ(::SendMessageW(dialog.Item(IDC_SKIN_CHECK), WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
    EXPECT_EQ(::SendMessageW(dialog.Item(IDC_SKIN_RADIO), WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_RADIOBUTTON);
}

TEST_F(CAccessibilityTest, AFocusCueShowsOnlyWhileTheKeyboardCuesDo)
{
    for (const int nId : {IDC_SKIN_PUSH, IDC_SKIN_CHECK}) {
        SCOPED_TRACE(nId);
        CSkinnedDialog dialog;
        Open(dialog);
        HWND hButton = dialog.Item(nId);
        // To the button itself: Wine's dialog passes no UI state on to its
        // children (Windows' does, with the same message).
        auto cues = [&](WORD nAction) {
            ::SendMessageW(hButton, WM_UPDATEUISTATE, MAKEWPARAM(nAction, UISF_HIDEFOCUS), 0);
        };
        ::SendMessageW(hButton, WM_SETFOCUS, 0, 0);
        cues(UIS_SET);  // as after a click
        const CHImage hidden = CaptureClient(hButton);
        cues(UIS_CLEAR);  // as after Tab: the button repaints itself
        const std::vector<POINT> cue = Differences(hidden, CaptureClient(hButton, false));
        cues(UIS_SET);
        EXPECT_TRUE(Differences(hidden, CaptureClient(hButton, false)).empty()) << "hidden again";
        cues(UIS_CLEAR);
        ::SendMessageW(hButton, WM_KILLFOCUS, 0, 0);
        const CHImage unfocused = CaptureClient(hButton);
        cues(UIS_SET);
        EXPECT_TRUE(Differences(unfocused, CaptureClient(hButton)).empty()) << "no cue without the focus";

        // The cue's bounding box: inset in a push button, around a check box's caption.
        ASSERT_FALSE(cue.empty());
        RECT rc{cue[0].x, cue[0].y, cue[0].x + 1, cue[0].y + 1};
        for (const POINT& pt : cue)
            rc = RECT{std::min(rc.left, pt.x), std::min(rc.top, pt.y), std::max(rc.right, pt.x + 1),
                      std::max(rc.bottom, pt.y + 1)};
        RECT rcInset{};
        ::GetClientRect(hButton, &rcInset);
        const LONG nClientWidth = rcInset.right;
        ::InflateRect(&rcInset, -CHTransparentButton::kFocusCueInset, -CHTransparentButton::kFocusCueInset);
        if (nId == IDC_SKIN_PUSH) {
            EXPECT_TRUE(::EqualRect(&rc, &rcInset)) << rc.left << "," << rc.top << " " << rc.right << "," << rc.bottom;
        } else {
            // Beside the box's image (the first of the dialog's check boxes).
            CHTransparentButton& box = *dialog.GetSkinnedControls().m_buttons.at(2);
            ASSERT_EQ(box.GetHandle(), hButton);
            EXPECT_GE(rc.left, box.GetStateImage(stateNormal).GetWidth() - 1);
            EXPECT_LT(rc.right, nClientWidth) << "the caption is narrower than the box";
        }
    }
}
