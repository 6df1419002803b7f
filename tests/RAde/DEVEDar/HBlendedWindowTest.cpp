#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "RAde/DEVEDar/HBlendedWindow.h"
#include "ShadowTestSupport.h"
#include "TestSupport.h"

using namespace shadowtest;

namespace {
// Records every PaintWindow call (and still paints).
class CCountingBlendedWindow : public CHBlendedWindow
{
public:
    void PaintWindow(HDC hDC, const RECT& rcPaint) override
    {
        m_paints.push_back(rcPaint);
        CHBlendedWindow::PaintWindow(hDC, rcPaint);
    }
    size_t TakePaintCount()
    {
        size_t nCount = m_paints.size();
        m_paints.clear();
        return nCount;
    }
    std::vector<RECT> m_paints;
};

LRESULT SendWindowPosChanged(HWND hWnd, UINT nFlags)
{
    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    WINDOWPOS pos{hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, nFlags};
    return ::SendMessageW(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
}

struct CPointHit
{
    HWND hWndFound = nullptr;
    HWND hWndBlended = nullptr;
};

// What WindowFromPoint finds at pt while a blended window with the given
// extended style, run by a thread of its own, covers pt. WindowFromPoint sends
// no WM_NCHITTEST to another thread's window, so only the window's styles
// decide whether it is passed over.
CPointHit WindowFromPointOverBlendedWindowOfOtherThread(POINT pt, const RECT& rc, DWORD dwExStyle)
{
    std::promise<HWND> created;
    std::future<HWND> createdFuture = created.get_future();
    DWORD dwThreadId = 0;
    std::thread thread([&] {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's message queue
        dwThreadId = ::GetCurrentThreadId();
        CHBlendedWindow window;
        HWND hWnd = nullptr;
        try {
            hWnd = window.Create(nullptr, &rc, nullptr, CHBlendedWindow::kStyle, dwExStyle);
            ::ShowWindow(hWnd, SW_SHOWNA);
        } catch (...) {
        }
        created.set_value(hWnd);
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageW(&msg);
    });
    CPointHit hit;
    hit.hWndBlended = createdFuture.get();
    hit.hWndFound = ::WindowFromPoint(pt);
    ::PostThreadMessageW(dwThreadId, WM_QUIT, 0, 0);
    thread.join();
    EXPECT_NE(hit.hWndBlended, nullptr);
    return hit;
}
}  // namespace

TEST(CHBlendedWindow, IsALayeredToolPopupOfItsOwnClassThatTheMouseNeverHits)
{
    CHBlendedWindow window;
    RECT rc{50, 60, 150, 120};
    HWND hWnd = window.Create(nullptr, &rc);
    ASSERT_NE(hWnd, nullptr);

    LONG_PTR nStyle = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
    LONG_PTR nExStyle = ::GetWindowLongPtrW(hWnd, GWL_EXSTYLE);
    EXPECT_EQ(nStyle & (WS_POPUP | WS_CHILD | WS_CAPTION | WS_VISIBLE), WS_POPUP);
    EXPECT_EQ(nExStyle & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT),
              WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT);
    wchar_t szClass[64] = {};
    ::GetClassNameW(hWnd, szClass, 64);
    EXPECT_STREQ(szClass, L"DEVEDar.BlendedWindow");
    EXPECT_EQ(::SendMessageW(hWnd, WM_NCHITTEST, 0, MAKELPARAM(100, 90)), HTTRANSPARENT);
}

TEST(CHBlendedWindow, AClickOnItReachesTheWindowBelowWhicheverThreadOwnsIt)
{
    CHWindowImpl below;  // a plain opaque popup
    // Away from where other tests' windows and message boxes appear.
    RECT rcBelow{60, 620, 460, 920};
    ASSERT_NE(below.Create(nullptr, &rcBelow, L"below", WS_POPUP, 0), nullptr);
    ::ShowWindow(below, SW_SHOWNA);
    RECT rcBlended{110, 670, 410, 870};
    POINT pt{260, 770};

    EXPECT_EQ(WindowFromPointOverBlendedWindowOfOtherThread(pt, rcBlended, CHBlendedWindow::kExStyle).hWndFound,
              below.GetHandle());
    // Without WS_EX_TRANSPARENT the blended window takes the click, although it
    // answers HTTRANSPARENT: that alone is not enough across threads.
    CPointHit hit = WindowFromPointOverBlendedWindowOfOtherThread(pt, rcBlended, WS_EX_LAYERED | WS_EX_TOOLWINDOW);
    EXPECT_EQ(hit.hWndFound, hit.hWndBlended);
}

TEST(CHBlendedWindow, InitPremultipliesACopyAndLeavesTheCallersImage)
{
    CHImage image;
    image.Create(2, 1, 32, CHImage::createAlphaChannel);
    SetPixel(image, 0, 0, Bgra{200, 100, 50, 128});
    SetPixel(image, 1, 0, Bgra{10, 20, 30, 255});

    CHBlendedWindow window;
    window.Init(image);

    EXPECT_TRUE(PixelNear(window.GetImage(), 0, 0, Bgra{100, 50, 25, 128}, 0));
    EXPECT_TRUE(PixelNear(window.GetImage(), 1, 0, Bgra{10, 20, 30, 255}, 0));
    EXPECT_TRUE(PixelNear(image, 0, 0, Bgra{200, 100, 50, 128}, 0));
}

TEST(CHBlendedWindow, RendersNineSlicesOfThePremultipliedImageAndLeavesTheCentreTransparent)
{
    constexpr int kSide = 8, kCap = 2;  // caps: 0.25 x 8
    constexpr int kWidth = 40, kHeight = 30;
    CHImage image;
    MakeZonedImage(image, kSide, kSide, kCap);
    CHBlendedWindow window;
    window.Init(image);
    RECT rc{200, 100, 200 + kWidth, 100 + kHeight};
    ASSERT_NE(window.Create(nullptr, &rc), nullptr);

    CHImage surface;
    window.RenderSurface(surface);  // hidden windows render too
    ASSERT_EQ(surface.GetWidth(), kWidth);
    ASSERT_EQ(surface.GetHeight(), kHeight);

    // Every pixel outside the centre shows its slice's premultiplied colour:
    // corners at natural size, edges stretched along their length.
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            int zx = ZoneOf(x, kWidth, kCap), zy = ZoneOf(y, kHeight, kCap);
            Bgra expected = zx == 1 && zy == 1 ? Bgra{0, 0, 0, 0} : Premultiplied(ZoneColour(zx, zy));
            ASSERT_TRUE(PixelNear(surface, x, y, expected, 1));
        }
}

TEST(CHBlendedWindow, AnEmptyImageRendersAFullyTransparentSurface)
{
    CHBlendedWindow window;
    window.Init(CHImage());
    RECT rc{200, 100, 230, 120};
    ASSERT_NE(window.Create(nullptr, &rc), nullptr);

    CHImage surface;
    window.RenderSurface(surface);
    ASSERT_EQ(surface.GetWidth(), 30);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_TRUE(PixelNear(surface, x, y, Bgra{0, 0, 0, 0}, 0));
}

TEST(CHBlendedWindow, RendersWhenShownAndAfterWindowChangesOtherThanResizesAlone)
{
    CLogCapture log;
    CHImage image;
    MakeZonedImage(image, 8, 8, 2);
    CCountingBlendedWindow window;
    window.Init(image);
    RECT rc{120, 80, 220, 130};
    HWND hWnd = window.Create(nullptr, &rc);
    ASSERT_NE(hWnd, nullptr);

    // Hidden: nothing to push, whatever the flags say.
    SendWindowPosChanged(hWnd, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER);
    window.UpdateWindow();
    EXPECT_EQ(window.TakePaintCount(), 0u);

    ::ShowWindow(hWnd, SW_SHOWNA);
    ASSERT_GE(window.m_paints.size(), 1u);
    EXPECT_EQ(window.m_paints.back().left, 0);
    EXPECT_EQ(window.m_paints.back().top, 0);
    EXPECT_EQ(window.m_paints.back().right, 100);
    EXPECT_EQ(window.m_paints.back().bottom, 50);
    window.TakePaintCount();

    EXPECT_EQ(SendWindowPosChanged(hWnd, SWP_NOSIZE | SWP_NOOWNERZORDER), 0);
    EXPECT_EQ(SendWindowPosChanged(hWnd, 0), 0);
    EXPECT_EQ(window.TakePaintCount(), 0u);
    SendWindowPosChanged(hWnd, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(window.TakePaintCount(), 1u);
    SendWindowPosChanged(hWnd, SWP_NOSIZE | SWP_SHOWWINDOW);
    EXPECT_EQ(window.TakePaintCount(), 1u);

    ::SetWindowPos(hWnd, nullptr, 140, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_GE(window.TakePaintCount(), 1u);

    // An explicit destination device context serves as well as the window's own.
    HDC hScreenDC = ::GetDC(nullptr);
    EXPECT_NO_THROW(window.UpdateWindow(hScreenDC));
    ::ReleaseDC(nullptr, hScreenDC);
    EXPECT_EQ(window.TakePaintCount(), 1u);

    ::ShowWindow(hWnd, SW_HIDE);
    window.TakePaintCount();
    window.UpdateWindow();
    EXPECT_EQ(window.TakePaintCount(), 0u);
    // A stray WM_WINDOWPOSCHANGED without its WINDOWPOS is ignored.
    EXPECT_EQ(::SendMessageW(hWnd, WM_WINDOWPOSCHANGED, 0, 0), 0);
    EXPECT_TRUE(::IsWindow(hWnd));
    // No handler failed on the way (their failures are only logged).
    EXPECT_TRUE(log.Messages().empty()) << testing::PrintToString(log.Messages());
}

TEST(CHBlendedWindow, AFailedLayeredUpdateIsThrownWithTheMethodsInItsTrail)
{
    // Without WS_EX_LAYERED the system refuses UpdateLayeredWindow.
    CHBlendedWindow window;
    RECT rc{200, 100, 240, 130};
    HWND hWnd = window.Create(nullptr, &rc, nullptr, CHBlendedWindow::kStyle, WS_EX_TOOLWINDOW);
    ASSERT_NE(hWnd, nullptr);
    ::ShowWindow(hWnd, SW_SHOWNA);

    CHException e = CatchThrown([&] { window.UpdateWindow(); });
    std::vector<std::wstring> functions = ErrorFunctionsOf(e);
    EXPECT_NE(std::find(functions.begin(), functions.end(), L"CHBlendedWindow::UpdateWindow"), functions.end());
    // Every entry names a method of the class by its qualified name alone.
    for (const std::wstring& strFunction : functions) {
        EXPECT_EQ(strFunction.rfind(L"CHBlendedWindow::", 0), 0u) << testing::PrintToString(functions);
        EXPECT_EQ(strFunction.find_first_of(L"()<>"), std::wstring::npos) << testing::PrintToString(functions);
    }
}
