// A window with a drop shadow and an animated frame, shown on the screen, run
// on real timer messages, captured from the screen and kept as a PNG beside the
// test program ("artefacts\shadow-and-frame.png") for people to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HTransparentFrame.h"
#include "RAde/DEVEDar/HWndShadow.h"
#include "ShadowTestSupport.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"

using namespace shadowtest;

namespace {
constexpr COLORREF kBackground = RGB(70, 110, 170);
constexpr Bgra kDot{40, 200, 250, 255};  // an opaque orange dot
constexpr int kFrames = 8;
constexpr int kFrameSide = 64;
constexpr int kOrbit = 20;  // distance of the dot from the frame's centre
constexpr int kDotRadius = 7;
constexpr BYTE kRingAlpha = 96;  // a faint white ring along the orbit

// Where the dot of animation frame nFrame lies in the frame: one eighth of a
// turn per frame, clockwise from twelve o'clock.
POINT DotCentre(int nFrame)
{
    const double dAngle = nFrame * 2.0 * 3.14159265358979 / kFrames;
    return POINT{kFrameSide / 2 + static_cast<int>(std::lround(kOrbit * std::sin(dAngle))),
                 kFrameSide / 2 - static_cast<int>(std::lround(kOrbit * std::cos(dAngle)))};
}

// Frame nFrame: transparent, a faint ring along the orbit, the opaque dot at its place.
void MakeSpinnerFrame(CHImage& image, int nFrame)
{
    image.Create(kFrameSide, kFrameSide, 32, CHImage::createAlphaChannel);
    const POINT ptDot = DotCentre(nFrame);
    for (int y = 0; y < kFrameSide; ++y)
        for (int x = 0; x < kFrameSide; ++x) {
            const double dFromDot = std::hypot(x - ptDot.x, y - ptDot.y);
            const double dFromCentre = std::hypot(x - kFrameSide / 2, y - kFrameSide / 2);
            Bgra pixel{0, 0, 0, 0};
            if (dFromDot <= kDotRadius)
                pixel = kDot;
            else if (std::abs(dFromCentre - kOrbit) <= 1.0)
                pixel = Bgra{255, 255, 255, kRingAlpha};
            SetPixel(image, x, y, pixel);
        }
    PremultiplyAlpha(image);
}

// A soft black shadow: the nine-slice caps (9 pixels of a 36-pixel image)
// darken towards the inside.
void MakeShadowImage(CHImage& image)
{
    constexpr int kSide = 36, kCap = 9;
    image.Create(kSide, kSide, 32, CHImage::createAlphaChannel);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int nDepth = std::min({x, y, kSide - 1 - x, kSide - 1 - y, kCap - 1});
            SetPixel(image, x, y, Bgra{0, 0, 0, static_cast<BYTE>(10 + 14 * nDepth)});
        }
}

// The window: a painted background (also behind its static controls), its
// shadow hooked into its messages.
class CTestWindow : public CHWindowImpl
{
public:
    CTestWindow() : m_hBrush(::CreateSolidBrush(kBackground)) {}

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        m_shadow.OnDialogMessage(uMsg, wParam, lParam);
        switch (uMsg) {
        case WM_ERASEBKGND: {
            RECT rc{};
            ::GetClientRect(m_hWnd, &rc);
            ::FillRect(reinterpret_cast<HDC>(wParam), &rc, m_hBrush.Get());
            lResult = 1;
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
            lResult = reinterpret_cast<LRESULT>(m_hBrush.Get());
            return TRUE;
        default:
            return FALSE;
        }
    }

    CHBrushHandle m_hBrush;
    CHWndShadow m_shadow;
};

// The screen's pixels in rc, opaque (a screen copy carries no alpha).
void CaptureScreen(const RECT& rc, CHImage& image)
{
    image.Create(rc.right - rc.left, rc.bottom - rc.top, 32);
    HDC hScreenDC = ::GetDC(nullptr);
    HDC hImageDC = image.GetDC();
    ::BitBlt(hImageDC, 0, 0, image.GetWidth(), image.GetHeight(), hScreenDC, rc.left, rc.top, SRCCOPY);
    image.ReleaseDC();
    ::ReleaseDC(nullptr, hScreenDC);
    ::GdiFlush();
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            image.GetPixelAddress(x, y)[3] = 255;
}

Bgra PixelOfColour(COLORREF cr)
{
    return Bgra{GetBValue(cr), GetGValue(cr), GetRValue(cr), 255};
}

// The ring's premultiplied white over an opaque colour.
Bgra RingOver(COLORREF cr)
{
    const Bgra background = PixelOfColour(cr);
    Bgra pixel{0, 0, 0, 255};
    for (int i = 0; i < 3; ++i)
        pixel[i] = static_cast<BYTE>(kRingAlpha + (255 - kRingAlpha) * background[i] / 255);
    return pixel;
}
}  // namespace

TEST(Screenshot, WindowWithShadowAndAnimatedFrame)
{
    CHImage shadowImage;
    MakeShadowImage(shadowImage);
    std::vector<CHImage> frames(kFrames);
    for (int i = 0; i < kFrames; ++i)
        MakeSpinnerFrame(frames[i], i);

    // A light "desktop" below everything, so that the shadow has something to darken.
    CHWindowImpl desktop;
    RECT rcDesktop{850, 570, 1250, 870};
    ASSERT_NE(desktop.Create(nullptr, &rcDesktop, L"desktop", WS_POPUP, WS_EX_TOOLWINDOW), nullptr);
    ::ShowWindow(desktop, SW_SHOWNA);

    // The window at 900, 620, 1200, 820 (a corner of the screen that other
    // tests, which may run at the same time, leave alone); the frame in its middle.
    CTestWindow window;
    window.m_shadow.SetImage(shadowImage);
    RECT rcWindow{900, 620, 1200, 820};
    ASSERT_NE(window.Create(nullptr, &rcWindow, L"shadow and frame", WS_POPUP, 0), nullptr);
    window.m_shadow.Initialize(window);
    const POINT ptFrame{(300 - kFrameSide) / 2, (200 - kFrameSide) / 2};
    HWND hStatic = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, ptFrame.x, ptFrame.y,
                                     kFrameSide, kFrameSide, window, nullptr, nullptr, nullptr);
    ASSERT_NE(hStatic, nullptr);
    CHTransparentFrame frame;
    ASSERT_TRUE(frame.SubclassWindow(hStatic));
    frame.m_nMode = 0;  // each frame at its natural size

    CHImageAnimationSet spinner;
    spinner.m_delays.assign(kFrames, 60);
    CHImageAnimation& anim = spinner.CreateAnim(0);
    for (const CHImage& image : frames)
        anim.m_frames.push_back(&image);
    frame.SetAnimation(&spinner, true);

    // Shown without activation: under Xvfb without a window manager Wine waits
    // for a focus change that never comes when a window is activated.
    ::ShowWindow(window, SW_SHOWNA);
    spinner.Start(0);
    PumpMessagesFor(700);  // about eleven ticks of 60 ms
    EXPECT_TRUE(spinner.GetCycles() >= 1 || spinner.GetFrameIndex() > 0) << "the animation did not run";
    // Freeze the animation where it is (a set without an owner arms no timer)
    // and let the screen catch up with the last frame.
    spinner.SetOwner(nullptr);
    const int nFrame = spinner.GetFrameIndex();
    ::InvalidateRect(frame, nullptr, FALSE);
    PumpMessagesFor(300);
    ASSERT_EQ(spinner.GetFrameIndex(), nFrame);

    RECT rcCapture{rcWindow.left - 20, rcWindow.top - 20, rcWindow.right + 20, rcWindow.bottom + 20};
    CHImage shot;
    CaptureScreen(rcCapture, shot);
    const std::wstring strFolder = TestProgramFolder() + L"artefacts";
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    const std::wstring strPath = strFolder + L"\\shadow-and-frame.png";
    SavePng(shot, strPath);
    EXPECT_NE(::GetFileAttributesW(strPath.c_str()), INVALID_FILE_ATTRIBUTES);

    // Screen coordinates of a point of the frame, in the capture.
    auto inShot = [&](POINT ptInFrame) {
        return POINT{rcWindow.left + ptFrame.x + ptInFrame.x - rcCapture.left,
                     rcWindow.top + ptFrame.y + ptInFrame.y - rcCapture.top};
    };
    // The current frame's dot is where that frame draws it; at the opposite
    // frame's place only the faint ring lies over the window's background.
    const POINT ptDot = inShot(DotCentre(nFrame));
    EXPECT_TRUE(PixelNear(shot, ptDot.x, ptDot.y, kDot, 2)) << "frame " << nFrame;
    const POINT ptOther = inShot(DotCentre((nFrame + kFrames / 2) % kFrames));
    EXPECT_TRUE(PixelNear(shot, ptOther.x, ptOther.y, RingOver(kBackground), 2)) << "frame " << nFrame;
    // The frame's transparent middle and the window around it show the background.
    const POINT ptMiddle = inShot(POINT{kFrameSide / 2, kFrameSide / 2});
    EXPECT_TRUE(PixelNear(shot, ptMiddle.x, ptMiddle.y, PixelOfColour(kBackground), 2));
    EXPECT_TRUE(PixelNear(shot, 20 + 10, 20 + 10, PixelOfColour(kBackground), 2));

    // The shadow lies on the screen 9 pixels wide around the window and darkens
    // what is below it (how much depends on the screen: without a compositor
    // Wine shows the premultiplied colours as they are); beyond it the desktop shows.
    const Bgra desktopColour = PixelOfColour(::GetSysColor(COLOR_WINDOW));
    auto brightness = [&](int x, int y) {
        const Bgra pixel = BytesAt(shot, x, y);
        return pixel[0] + pixel[1] + pixel[2];
    };
    for (POINT pt : {POINT{20 - 5, 120}, POINT{170, 20 - 5}, POINT{20 + 300 + 4, 60}, POINT{200, 20 + 200 + 4}})
        EXPECT_LT(brightness(pt.x, pt.y), desktopColour[0] + desktopColour[1] + desktopColour[2] - 30)
            << pt.x << ", " << pt.y;
    for (POINT pt : {POINT{20 - 10, 120}, POINT{170, 20 - 10}, POINT{20 + 300 + 9, 60}, POINT{200, 20 + 200 + 9}})
        EXPECT_TRUE(PixelNear(shot, pt.x, pt.y, desktopColour, 2)) << pt.x << ", " << pt.y;

    frame.SetAnimation(nullptr, false);
    std::printf("screenshot: %ls (animation frame %d)\n", strPath.c_str(), nFrame);
}
