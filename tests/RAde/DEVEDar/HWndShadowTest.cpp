#include <gtest/gtest.h>

#include <algorithm>

#include "RAde/DEVEDar/HWndShadow.h"
#include "ShadowTestSupport.h"
#include "TestSupport.h"

using namespace shadowtest;

namespace {
// A popup standing in for a skinned dialog: every message passes the shadow's hook first.
class CShadowedDialog : public CHWindowImpl
{
public:
    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT&) override
    {
        m_shadow.OnDialogMessage(uMsg, wParam, lParam);
        return FALSE;
    }

    CHWndShadow m_shadow;
};

RECT WindowRectOf(HWND hWnd)
{
    RECT rc{};
    EXPECT_TRUE(::GetWindowRect(hWnd, &rc));
    return rc;
}

testing::AssertionResult RectIs(const RECT& rc, int nLeft, int nTop, int nRight, int nBottom)
{
    if (rc.left == nLeft && rc.top == nTop && rc.right == nRight && rc.bottom == nBottom)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "rectangle is " << rc.left << ", " << rc.top << ", " << rc.right << ", "
                                       << rc.bottom << "; expected " << nLeft << ", " << nTop << ", " << nRight << ", "
                                       << nBottom;
}

// The next visible window below hWnd in the z-order. Wine keeps the thread's
// hidden default IME window near its active window; hidden windows change
// nothing on the screen, so they are passed over.
HWND NextVisibleWindowBelow(HWND hWnd)
{
    HWND hNext = ::GetWindow(hWnd, GW_HWNDNEXT);
    while (hNext != nullptr && !::IsWindowVisible(hNext))
        hNext = ::GetWindow(hNext, GW_HWNDNEXT);
    return hNext;
}

// The shadow window's region (a copy, owned by the caller).
CHRegionHandle ShadowRegionOf(HWND hWnd)
{
    CHRegionHandle region(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_NE(::GetWindowRgn(hWnd, region.Get()), ERROR);
    return region;
}

bool InRegion(const CHRegionHandle& region, int x, int y)
{
    return ::PtInRegion(region.Get(), x, y) != FALSE;
}

// Puts the process-wide shadow image back to empty when the test ends.
struct CDefaultImageReset
{
    ~CDefaultImageReset() { CHWndShadow::SetDefaultImage(CHImage()); }
};

class CHWndShadowTest : public testing::Test
{
protected:
    // The dialog at 100, 100, 400, 300 (hidden), its shadow initialised with a zoned image.
    void CreateShadowedDialog(HWND hWndOwner = nullptr, int nPainterMode = 4)
    {
        CHImage image;
        MakeZonedImage(image, 36, 36, 9);
        m_dialog.m_shadow.SetImage(image);
        m_dialog.m_shadow.GetShadowWindow().m_nMode = nPainterMode;
        RECT rc{100, 100, 400, 300};
        ASSERT_NE(m_dialog.Create(hWndOwner, &rc, L"dialog", WS_POPUP, 0), nullptr);
        m_dialog.m_shadow.Initialize(m_dialog);
        m_hWndShadow = m_dialog.m_shadow.GetShadowWindow();
        ASSERT_NE(m_hWndShadow, nullptr);
    }

    CShadowedDialog m_dialog;
    HWND m_hWndShadow = nullptr;
};
}  // namespace

TEST_F(CHWndShadowTest, GrowsNinePixelsAroundTheDialogDirectlyBehindItAndStaysHidden)
{
    CHWindowImpl owner;
    RECT rcOwner{20, 20, 60, 60};
    ASSERT_NE(owner.Create(nullptr, &rcOwner, L"owner", WS_POPUP, 0), nullptr);
    CreateShadowedDialog(owner);

    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 91, 91, 409, 309));
    EXPECT_EQ(::GetWindow(m_dialog, GW_HWNDNEXT), m_hWndShadow);
    EXPECT_EQ(::GetWindow(m_hWndShadow, GW_OWNER), owner.GetHandle());
    EXPECT_FALSE(::IsWindowVisible(m_hWndShadow));
    EXPECT_EQ(::GetWindowLongPtrW(m_hWndShadow, GWL_EXSTYLE) & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT),
              WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT);
    EXPECT_EQ(::SendMessageW(m_hWndShadow, WM_NCHITTEST, 0, MAKELPARAM(95, 95)), HTTRANSPARENT);

    // It shows its own image (premultiplied) in nine slices around a transparent middle.
    CHImage surface;
    m_dialog.m_shadow.GetShadowWindow().RenderSurface(surface);
    ASSERT_EQ(surface.GetWidth(), 318);
    ASSERT_EQ(surface.GetHeight(), 218);
    EXPECT_TRUE(PixelNear(surface, 0, 0, Premultiplied(ZoneColour(0, 0)), 1));
    EXPECT_TRUE(PixelNear(surface, 317, 217, Premultiplied(ZoneColour(2, 2)), 1));
    EXPECT_TRUE(PixelNear(surface, 150, 4, Premultiplied(ZoneColour(1, 0)), 1));
    EXPECT_TRUE(PixelNear(surface, 4, 100, Premultiplied(ZoneColour(0, 1)), 1));
    EXPECT_TRUE(PixelNear(surface, 150, 100, Bgra{0, 0, 0, 0}, 0));
}

TEST_F(CHWndShadowTest, ShowsWithTheDialogWithoutTakingTheActivationAndHidesWithIt)
{
    CreateShadowedDialog();

    // Checked before any message is pumped. Wine handles an X expose event by
    // raising the exposed window above the windows that cover the exposed
    // rectangle, and it handles them late: the exposure of the shadow's middle
    // while the dialog was not yet mapped (or was hidden) arrives after the
    // dialog is back, and lifts the shadow above it in Wine's own z-order (the
    // X stacking, and so the screen, stays right). The shadow's next
    // positioning puts it back (the end of this test).
    ::ShowWindow(m_dialog, SW_SHOW);
    EXPECT_TRUE(::IsWindowVisible(m_hWndShadow));
    // The active window of this thread (the foreground window is shared with
    // the tests that other processes run at the same time).
    EXPECT_EQ(::GetActiveWindow(), m_dialog.GetHandle());
    EXPECT_EQ(NextVisibleWindowBelow(m_dialog), m_hWndShadow);
    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 91, 91, 409, 309));

    ::ShowWindow(m_dialog, SW_HIDE);
    EXPECT_FALSE(::IsWindowVisible(m_hWndShadow));

    // Shown through SetWindowPos as well.
    ::SetWindowPos(m_dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    EXPECT_TRUE(::IsWindowVisible(m_hWndShadow));
    EXPECT_EQ(NextVisibleWindowBelow(m_dialog), m_hWndShadow);
    EXPECT_EQ(::GetActiveWindow(), m_dialog.GetHandle());

    PumpMessagesFor(200);
    ::SetWindowPos(m_dialog, nullptr, 120, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(NextVisibleWindowBelow(m_dialog), m_hWndShadow);
    // While messages were pumped, a test of another process may have taken the
    // foreground (and so this thread's activation); the shadow never takes it.
    EXPECT_NE(::GetActiveWindow(), m_hWndShadow);
    DWORD dwForegroundProcess = 0;
    ::GetWindowThreadProcessId(::GetForegroundWindow(), &dwForegroundProcess);
    if (dwForegroundProcess == ::GetCurrentProcessId()) {
        EXPECT_EQ(::GetActiveWindow(), m_dialog.GetHandle());
    }
    EXPECT_TRUE(::IsWindowVisible(m_hWndShadow));
}

TEST_F(CHWndShadowTest, FollowsTheDialogsMovesAndResizes)
{
    CreateShadowedDialog();
    ::ShowWindow(m_dialog, SW_SHOWNA);

    // A move alone: SetWindowPos passes no size (0, 0) with SWP_NOSIZE.
    ::SetWindowPos(m_dialog, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 191, 141, 509, 359));
    RECT rcBox{};
    ::GetRgnBox(ShadowRegionOf(m_hWndShadow).Get(), &rcBox);
    EXPECT_TRUE(RectIs(rcBox, 0, 0, 318, 218));
    EXPECT_EQ(NextVisibleWindowBelow(m_dialog), m_hWndShadow);

    // A resize alone.
    ::SetWindowPos(m_dialog, nullptr, 0, 0, 500, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 191, 141, 709, 259));
    ::GetRgnBox(ShadowRegionOf(m_hWndShadow).Get(), &rcBox);
    EXPECT_TRUE(RectIs(rcBox, 0, 0, 518, 118));

    // A WINDOWPOS that leaves the size to SWP_NOSIZE, as any caller of
    // SetWindowPos may deliver it (Wine fills in the size, Windows need not):
    // the shadow keeps the dialog's size.
    WINDOWPOS pos{m_dialog, nullptr, 150, 160, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE};
    m_dialog.m_shadow.OnDialogMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 141, 151, 659, 269));
    ::GetRgnBox(ShadowRegionOf(m_hWndShadow).Get(), &rcBox);
    EXPECT_TRUE(RectIs(rcBox, 0, 0, 518, 118));

    // Stray position messages without their WINDOWPOS change nothing.
    m_dialog.m_shadow.OnDialogMessage(WM_WINDOWPOSCHANGING, 0, 0);
    m_dialog.m_shadow.OnDialogMessage(WM_WINDOWPOSCHANGED, 0, 0);
    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 141, 151, 659, 269));

    // Both at once, while hidden.
    ::ShowWindow(m_dialog, SW_HIDE);
    ::MoveWindow(m_dialog, 10, 20, 100, 50, FALSE);
    EXPECT_TRUE(RectIs(WindowRectOf(m_hWndShadow), 1, 11, 119, 79));
    EXPECT_FALSE(::IsWindowVisible(m_hWndShadow));
}

TEST_F(CHWndShadowTest, CutsTheDialogsWindowRegionOutOfTheShadow)
{
    CreateShadowedDialog();
    // Setting a window region moves the dialog's frame, which the shadow follows.
    ASSERT_TRUE(::SetWindowRgn(m_dialog, ::CreateEllipticRgn(0, 0, 300, 200), TRUE));

    CHRegionHandle region = ShadowRegionOf(m_hWndShadow);
    EXPECT_FALSE(InRegion(region, 9 + 150, 9 + 100));  // the dialog's middle
    EXPECT_FALSE(InRegion(region, 9 + 5, 9 + 100));    // inside the ellipse, near its left end
    EXPECT_TRUE(InRegion(region, 9 + 2, 9 + 2));       // the dialog's corner, outside its ellipse
    EXPECT_TRUE(InRegion(region, 4, 100));             // the shadow's own border
    EXPECT_TRUE(InRegion(region, 0, 0));
    EXPECT_TRUE(InRegion(region, 317, 217));
    EXPECT_FALSE(InRegion(region, 318, 100));  // past the shadow

    // The cut follows the dialog when it moves.
    ::SetWindowPos(m_dialog, nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    region = ShadowRegionOf(m_hWndShadow);
    EXPECT_FALSE(InRegion(region, 9 + 150, 9 + 100));
    EXPECT_TRUE(InRegion(region, 9 + 2, 9 + 2));
}

TEST_F(CHWndShadowTest, WithoutAWindowRegionOnlyTheDialogsTopLeftPixelIsCutOut)
{
    CreateShadowedDialog();

    CHRegionHandle region = ShadowRegionOf(m_hWndShadow);
    EXPECT_FALSE(InRegion(region, 9, 9));
    EXPECT_TRUE(InRegion(region, 10, 9));
    EXPECT_TRUE(InRegion(region, 9, 10));
    EXPECT_TRUE(InRegion(region, 8, 8));
    EXPECT_TRUE(InRegion(region, 159, 109));
}

TEST_F(CHWndShadowTest, PainterModeZeroCentresTheImagesNaturalSizeOnTheDialog)
{
    CDefaultImageReset reset;
    CHImage wide;
    MakeZonedImage(wide, 340, 260, 85);
    CHWndShadow::SetDefaultImage(wide);
    CShadowedDialog dialog;
    dialog.m_shadow.GetShadowWindow().m_nMode = 0;
    RECT rc{100, 100, 400, 300};
    ASSERT_NE(dialog.Create(nullptr, &rc, L"dialog", WS_POPUP, 0), nullptr);
    dialog.m_shadow.Initialize(dialog);

    // (340 - 300) / 2 = 20 and (260 - 200) / 2 = 30 past the dialog, from the default image.
    EXPECT_TRUE(RectIs(WindowRectOf(dialog.m_shadow.GetShadowWindow()), 80, 70, 420, 330));

    // An image smaller than the dialog gives a shadow inside it: -10 and -5.
    CHImage small;
    MakeZonedImage(small, 280, 190, 70);
    CShadowedDialog other;
    other.m_shadow.SetImage(small);  // its own image wins over the default one
    other.m_shadow.GetShadowWindow().m_nMode = 0;
    ASSERT_NE(other.Create(nullptr, &rc, L"dialog", WS_POPUP, 0), nullptr);
    other.m_shadow.Initialize(other);
    EXPECT_TRUE(RectIs(WindowRectOf(other.m_shadow.GetShadowWindow()), 110, 105, 390, 295));
}

TEST_F(CHWndShadowTest, IsDestroyedWithTheDialog)
{
    CreateShadowedDialog();
    ::ShowWindow(m_dialog, SW_SHOWNA);

    ASSERT_TRUE(m_dialog.DestroyWindow());
    EXPECT_FALSE(::IsWindow(m_hWndShadow));
    EXPECT_FALSE(m_dialog.m_shadow.GetShadowWindow().IsWindow());
    // Nothing to position any more.
    EXPECT_NO_THROW(m_dialog.m_shadow.PositionShading(0));
}

TEST(CHWndShadow, RefusesToShadeWhatIsNoWindowAndDoesNothingBeforeItIsInitialised)
{
    CHWndShadow shadow;
    EXPECT_NO_THROW(shadow.PositionShading(10, 10, 100, 100, 0));
    shadow.OnDialogMessage(WM_SHOWWINDOW, TRUE, 0);
    EXPECT_EQ(shadow.GetShadowWindow().GetHandle(), nullptr);

    CHException e = CatchThrown([&] { shadow.Initialize(nullptr); });
    EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HError::InvalidParameter));
    std::vector<std::wstring> functions = ErrorFunctionsOf(e);
    EXPECT_NE(std::find(functions.begin(), functions.end(), L"CHWndShadow::Initialize"), functions.end());
    EXPECT_EQ(shadow.GetShadowWindow().GetHandle(), nullptr);
}

TEST_F(CHWndShadowTest, ASecondInitialiseIsRefusedAndTheShadowKeepsFollowingItsFirstDialog)
{
    CreateShadowedDialog();
    CHWindowImpl other;
    RECT rcOther{500, 500, 600, 600};
    ASSERT_NE(other.Create(nullptr, &rcOther, L"other", WS_POPUP, 0), nullptr);

    CHException e = CatchThrown([&] { m_dialog.m_shadow.Initialize(other); });
    EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(HError::InvalidParameter));
    EXPECT_EQ(m_dialog.m_shadow.GetDialog(), m_dialog.GetHandle());
    EXPECT_EQ(m_dialog.m_shadow.GetShadowWindow().GetHandle(), m_hWndShadow);

    ::SetWindowPos(m_dialog, nullptr, 150, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rcShadow{};
    ::GetWindowRect(m_hWndShadow, &rcShadow);
    EXPECT_EQ(rcShadow.left, 141);
    EXPECT_EQ(rcShadow.top, 111);
}

TEST_F(CHWndShadowTest, ReachesAsFarPastTheDialogAsTheScaleOfItsDefaultImage)
{
    // The default image for a 200 % screen is twice as large, and so is its reach;
    // below a scale of 1 the shadow never shrinks under its 96-dpi reach.
    CDefaultImageReset reset;
    for (const auto& [fScale, nMargin] : {std::pair{2.0f, 18}, std::pair{1.5f, 14}, std::pair{0.5f, 9}}) {
        CHImage image;
        MakeZonedImage(image, static_cast<int>(36 * fScale), static_cast<int>(36 * fScale), 9);
        CHWndShadow::SetDefaultImage(image, fScale);
        EXPECT_EQ(CHWndShadow::GetMargin(), nMargin) << fScale;
    }
    CShadowedDialog dialog;
    RECT rc{100, 100, 400, 300};
    ASSERT_NE(dialog.Create(nullptr, &rc, L"dialog", WS_POPUP, 0), nullptr);
    CHImage image;
    MakeZonedImage(image, 72, 72, 18);
    CHWndShadow::SetDefaultImage(image, 2.0f);
    dialog.m_shadow.Initialize(dialog);
    EXPECT_TRUE(RectIs(WindowRectOf(dialog.m_shadow.GetShadowWindow()), 82, 82, 418, 318));
}
