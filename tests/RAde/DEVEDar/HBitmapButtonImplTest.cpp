#include <gtest/gtest.h>

#include <vector>

#include "RAde/DEVEDar/HBitmapButtonImpl.h"
#include "RAde/DEVEDar/HImage.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"

// The mouse is driven by messages sent to the button: without a window manager
// Xvfb gives SendInput no reliable target.

namespace {
constexpr int kButtonId = 1234;
constexpr int kButtonWidth = 100, kButtonHeight = 30;
constexpr POINT kPointerAway{1270, 1015};

// What the button looked like each time it painted.
struct CPaintRecord
{
    HDC hDC;
    bool bMouseOver, bFocus, bPressed, bEnabled;
};

class CTestButton : public CHBitmapButtonImpl
{
public:
    using CHBitmapButtonImpl::CHBitmapButtonImpl;

    bool MouseOver() const { return m_fMouseOver; }
    bool Focus() const { return m_fFocus; }
    bool Pressed() const { return m_fPressed; }
    const CPaintRecord& LastPaint() const { return m_paints.back(); }

    std::vector<CPaintRecord> m_paints;

    // The colour DoPaint fills the button with.
    static constexpr COLORREF kFill = RGB(10, 200, 30);

protected:
    void DoPaint(HDC hDC) override
    {
        m_paints.push_back({hDC, m_fMouseOver != 0, m_fFocus != 0, m_fPressed != 0, ::IsWindowEnabled(m_hWnd) != 0});
        RECT rc{};
        ::GetClientRect(m_hWnd, &rc);
        HBRUSH hBrush = ::CreateSolidBrush(kFill);
        ::FillRect(hDC, &rc, hBrush);
        ::DeleteObject(hBrush);
    }
};

// A parent window that records the commands its children send.
class CParentWindow : public CHWindowImpl
{
public:
    struct CCommand
    {
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<CCommand> m_commands;

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (uMsg != WM_COMMAND)
            return FALSE;
        m_commands.push_back({wParam, lParam});
        lResult = 0;
        return TRUE;
    }
};

class CHBitmapButtonImplTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // Topmost in a corner of the screen where other tests' windows are
        // unlikely to lie: one test moves the real pointer over the button.
        RECT rc{1000, 850, 1200, 950};
        m_parent.Create(nullptr, &rc, L"button parent", WS_POPUP, WS_EX_TOOLWINDOW);
        // Shown without activation: Wine waits for a window manager when an
        // activated window goes, and Xvfb has none.
        ::SetWindowPos(m_parent, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        m_hButton = ::CreateWindowExW(
            0, L"BUTTON", L"Press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, kButtonWidth, kButtonHeight,
            m_parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_hButton, nullptr);
        // The pointer away from the button, where no real mouse event comes from.
        ::SetCursorPos(kPointerAway.x, kPointerAway.y);
    }

    void TearDown() override
    {
        if (::GetCapture() != nullptr)
            ::ReleaseCapture();
    }

    LRESULT Send(UINT uMsg, int x = 5, int y = 5)
    {
        return ::SendMessageW(m_hButton, uMsg, uMsg == WM_MOUSEMOVE ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    }

    // The tooltips owned by a window. A popup created for a child window is
    // owned by the child's top-level window.
    std::vector<HWND> ToolTipsOf(HWND hOwner)
    {
        std::vector<HWND> found;
        struct CSearch
        {
            HWND hOwner;
            std::vector<HWND>* pFound;
        } search{hOwner, &found};
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND hWnd, LPARAM lParam) -> BOOL {
                auto* pSearch = reinterpret_cast<CSearch*>(lParam);
                wchar_t szClass[64] = {};
                ::GetClassNameW(hWnd, szClass, 64);
                if (::lstrcmpiW(szClass, L"tooltips_class32") == 0 && ::GetWindow(hWnd, GW_OWNER) == pSearch->hOwner)
                    pSearch->pFound->push_back(hWnd);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return found;
    }

    CParentWindow m_parent;
    HWND m_hButton = nullptr;
};
}  // namespace

TEST_F(CHBitmapButtonImplTest, SubclassingMakesTheButtonOwnerDrawnWithATooltipThatGoesWithIt)
{
    const LONG_PTR pfnOwnProc = ::GetWindowLongPtrW(m_hButton, GWLP_WNDPROC);
    {
        CTestButton button;
        ASSERT_TRUE(button.SubclassWindow(m_hButton));
        EXPECT_EQ(::GetWindowLongPtrW(m_hButton, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
        std::vector<HWND> toolTips = ToolTipsOf(m_parent);
        ASSERT_EQ(toolTips.size(), 1u);
        EXPECT_EQ(button.GetToolTipCtrl(), toolTips[0]);

        // Taken already: refused, and no second tooltip.
        CTestButton second;
        EXPECT_FALSE(second.SubclassWindow(m_hButton));
        EXPECT_EQ(second.GetToolTipCtrl(), nullptr);
        EXPECT_EQ(ToolTipsOf(m_parent).size(), 1u);
    }
    EXPECT_TRUE(::IsWindow(m_hButton));
    EXPECT_TRUE(ToolTipsOf(m_parent).empty());
    EXPECT_EQ(::GetWindowLongPtrW(m_hButton, GWLP_WNDPROC), pfnOwnProc);

    CTestButton button;
    ASSERT_TRUE(button.SubclassWindow(m_hButton));
    HWND hToolTip = button.GetToolTipCtrl();
    EXPECT_EQ(button.UnsubclassWindow(), m_hButton);
    EXPECT_FALSE(::IsWindow(hToolTip));
    EXPECT_EQ(button.GetToolTipCtrl(), nullptr);

    ASSERT_TRUE(button.SubclassWindow(m_hButton));
    hToolTip = button.GetToolTipCtrl();
    ::DestroyWindow(m_hButton);
    EXPECT_FALSE(::IsWindow(hToolTip));
    EXPECT_EQ(button.GetToolTipCtrl(), nullptr);
}

TEST_F(CHBitmapButtonImplTest, PaintingGoesToDoPaintWithTheRightDeviceContext)
{
    CTestButton button;
    ASSERT_TRUE(button.SubclassWindow(m_hButton));

    ::InvalidateRect(m_hButton, nullptr, TRUE);
    ::UpdateWindow(m_hButton);
    ASSERT_EQ(button.m_paints.size(), 1u);
    RECT rcUpdate{};
    EXPECT_FALSE(::GetUpdateRect(m_hButton, &rcUpdate, FALSE));  // validated by the paint

    // WM_PRINTCLIENT and WM_PAINT with a device context draw into the one given.
    CHMemoryDC memoryDC(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kButtonWidth;
    info.bmiHeader.biHeight = -kButtonHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* pBits = nullptr;
    CHBitmapHandle bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pBits, nullptr, 0));
    ASSERT_TRUE(bitmap);
    HGDIOBJ hOld = ::SelectObject(memoryDC.Get(), bitmap.Get());
    ::SendMessageW(m_hButton, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memoryDC.Get()), PRF_CLIENT);
    ASSERT_EQ(button.m_paints.size(), 2u);
    EXPECT_EQ(button.LastPaint().hDC, memoryDC.Get());
    ::GdiFlush();
    const auto* pPixels = static_cast<const DWORD*>(pBits);
    const DWORD dwExpected = RGB(30, 200, 10);  // the fill colour as blue, green, red bytes
    EXPECT_EQ(pPixels[0] & 0xFFFFFF, dwExpected);
    EXPECT_EQ(pPixels[kButtonWidth * kButtonHeight - 1] & 0xFFFFFF, dwExpected);

    ::SendMessageW(m_hButton, WM_PAINT, reinterpret_cast<WPARAM>(memoryDC.Get()), 0);
    ASSERT_EQ(button.m_paints.size(), 3u);
    EXPECT_EQ(button.LastPaint().hDC, memoryDC.Get());
    ::SelectObject(memoryDC.Get(), hOld);
}

TEST_F(CHBitmapButtonImplTest, HoverStyleFollowsThePointerAndRepaints)
{
    CTestButton button(CHBitmapButtonImpl::BMPBTN_HOVER);
    ASSERT_TRUE(button.SubclassWindow(m_hButton));
    ASSERT_TRUE(button.IsHoverMode());

    Send(WM_MOUSEMOVE);
    EXPECT_TRUE(button.MouseOver());
    ASSERT_EQ(button.m_paints.size(), 1u);
    EXPECT_TRUE(button.LastPaint().bMouseOver);
    Send(WM_MOUSEMOVE, 6, 6);  // still over it: nothing to repaint
    EXPECT_EQ(button.m_paints.size(), 1u);

    Send(WM_MOUSELEAVE);
    EXPECT_FALSE(button.MouseOver());
    ASSERT_EQ(button.m_paints.size(), 2u);
    EXPECT_FALSE(button.LastPaint().bMouseOver);

    // The button asked the system for WM_MOUSELEAVE: with the real pointer
    // over the button first and then far away, the system sends it on its own.
    RECT rcButton{};
    ::GetWindowRect(m_hButton, &rcButton);
    ASSERT_TRUE(::SetCursorPos(rcButton.left + 5, rcButton.top + 5));
    POINT ptCursor{};
    ::GetCursorPos(&ptCursor);
    ASSERT_EQ(::WindowFromPoint(ptCursor), m_hButton);
    Send(WM_MOUSEMOVE);
    EXPECT_TRUE(button.MouseOver());
    ::SetCursorPos(kPointerAway.x, kPointerAway.y);
    EXPECT_TRUE(PumpMessagesUntil([&] { return !button.MouseOver(); }, 3000));

    // Without the hover style the pointer is not followed.
    EXPECT_EQ(button.SetBitmapButtonExtendedStyle(0, CHBitmapButtonImpl::BMPBTN_HOVER),
              CHBitmapButtonImpl::BMPBTN_HOVER);
    EXPECT_FALSE(button.IsHoverMode());
    Send(WM_MOUSEMOVE);
    EXPECT_FALSE(button.MouseOver());
}

TEST_F(CHBitmapButtonImplTest, FocusAndEnablingRepaint)
{
    CTestButton button;
    ASSERT_TRUE(button.SubclassWindow(m_hButton));
    ::SendMessageW(m_hButton, WM_SETFOCUS, 0, 0);
    EXPECT_TRUE(button.Focus());
    ASSERT_FALSE(button.m_paints.empty());
    EXPECT_TRUE(button.LastPaint().bFocus);
    ::SendMessageW(m_hButton, WM_KILLFOCUS, 0, 0);
    EXPECT_FALSE(button.Focus());
    EXPECT_FALSE(button.LastPaint().bFocus);

    const size_t nPaints = button.m_paints.size();
    ::EnableWindow(m_hButton, FALSE);
    ASSERT_EQ(button.m_paints.size(), nPaints + 1);
    EXPECT_FALSE(button.LastPaint().bEnabled);
    ::EnableWindow(m_hButton, TRUE);
    ASSERT_EQ(button.m_paints.size(), nPaints + 2);
    EXPECT_TRUE(button.LastPaint().bEnabled);
}

TEST_F(CHBitmapButtonImplTest, HoverClickInsideSendsTheParentBnClicked)
{
    CTestButton button(CHBitmapButtonImpl::BMPBTN_HOVER);
    ASSERT_TRUE(button.SubclassWindow(m_hButton));

    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(::GetCapture(), m_hButton);
    EXPECT_TRUE(button.Pressed());
    EXPECT_TRUE(button.LastPaint().bPressed);
    EXPECT_TRUE(m_parent.m_commands.empty());

    Send(WM_LBUTTONUP, 7, 7);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_FALSE(button.Pressed());
    EXPECT_FALSE(button.LastPaint().bPressed);
    ASSERT_EQ(m_parent.m_commands.size(), 1u);
    EXPECT_EQ(m_parent.m_commands[0].wParam, MAKEWPARAM(kButtonId, BN_CLICKED));
    EXPECT_EQ(m_parent.m_commands[0].lParam, reinterpret_cast<LPARAM>(m_hButton));

    // A quick second click arrives as a double click: a click as well.
    Send(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(button.Pressed());
    Send(WM_LBUTTONUP);
    EXPECT_EQ(m_parent.m_commands.size(), 2u);
}

TEST_F(CHBitmapButtonImplTest, HoverClickReleasedOutsideIsNoClick)
{
    CTestButton button(CHBitmapButtonImpl::BMPBTN_HOVER);
    ASSERT_TRUE(button.SubclassWindow(m_hButton));

    Send(WM_LBUTTONDOWN);
    Send(WM_MOUSEMOVE, -20, 5);
    EXPECT_FALSE(button.Pressed());
    EXPECT_FALSE(button.LastPaint().bPressed);
    Send(WM_MOUSEMOVE, 5, 5);
    EXPECT_TRUE(button.Pressed());
    Send(WM_MOUSEMOVE, 5, kButtonHeight + 3);
    EXPECT_FALSE(button.Pressed());
    Send(WM_LBUTTONUP, 5, kButtonHeight + 3);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_TRUE(m_parent.m_commands.empty());

    // Released outside without a move in between.
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONUP, kButtonWidth + 50, 5);
    EXPECT_TRUE(m_parent.m_commands.empty());

    // Losing the capture to someone else ends the press.
    Send(WM_LBUTTONDOWN);
    EXPECT_TRUE(button.Pressed());
    ::SetCapture(m_parent);
    EXPECT_FALSE(button.Pressed());
    EXPECT_FALSE(button.LastPaint().bPressed);
    ::ReleaseCapture();
    Send(WM_LBUTTONUP);
    EXPECT_TRUE(m_parent.m_commands.empty());
}

TEST_F(CHBitmapButtonImplTest, WithoutHoverStyleTheSystemHandlesTheClickOnce)
{
    CTestButton button;
    ASSERT_TRUE(button.SubclassWindow(m_hButton));

    Send(WM_LBUTTONDOWN);
    EXPECT_EQ(::GetCapture(), m_hButton);  // taken by the system's button procedure
    EXPECT_TRUE(button.Pressed());
    EXPECT_TRUE(button.Focus());  // which also takes the focus
    Send(WM_LBUTTONUP);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_FALSE(button.Pressed());
    ASSERT_EQ(m_parent.m_commands.size(), 1u);
    EXPECT_EQ(m_parent.m_commands[0].wParam, MAKEWPARAM(kButtonId, BN_CLICKED));
    EXPECT_EQ(m_parent.m_commands[0].lParam, reinterpret_cast<LPARAM>(m_hButton));
}
