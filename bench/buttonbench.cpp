// Painting a 120 x 32 skinned push button, per frame, each next to a plain
// BitBlt of the same size between two memory device contexts:
//   - a button whose state images have transparent corners: it paints through
//     its off-screen buffer (the parent's brush, then the image, alpha-blended);
//   - a button with opaque images, drawn straight into the target;
//   - one hover-fade step: timer 21 steps the button's own fade (a new blend
//     of the normal and the mouse-over image) and the button paints it.
// Each button paints as on WM_PRINTCLIENT into a 32-bit memory device context.
// The cost of the message itself is printed too: under Wine a message to a
// subclassed control costs far more than the painting.
#include <windows.h>

#include <cstdio>

#include "BenchMain.h"
#include "BenchSupport.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HTransparentButton.h"
#include "RAde/HException.h"

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 32;

// A 60 x 32 state image in one tint (straight alpha, as a skin file loads),
// its corners transparent when bRoundCorners is set.
CHImage StateImage(BYTE nTint, bool bRoundCorners)
{
    CHImage image;
    image.Create(60, kHeight, 32, CHImage::createAlphaChannel);
    ::GdiFlush();
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < 60; ++x) {
            const int nDx = x < 30 ? x : 59 - x, nDy = y < 16 ? y : kHeight - 1 - y;
            BYTE* p = image.GetPixelAddress(x, y);
            p[0] = nTint;
            p[1] = static_cast<BYTE>(y * 6);
            p[2] = static_cast<BYTE>(255 - nTint);
            p[3] = bRoundCorners && nDx + nDy < 6 ? static_cast<BYTE>(nDx * nDy * 10) : 255;
        }
    return image;
}

// A hidden popup holding one push button, taken over by a skinned button
// whose images are the skin's defaults at the time of its first paint.
class CButtonHost
{
public:
    explicit CButtonHost(bool bRoundCorners)
    {
        auto& defaults = CHDialogSkinXmlConfig::DefaultControlImages().m_button;
        for (int s = 0; s < stateCount; ++s)
            defaults[s] = StateImage(static_cast<BYTE>(40 + 25 * s), bRoundCorners);
        m_hParent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        m_hButton = ::CreateWindowExW(0, L"BUTTON", L"Install", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, kWidth,
                                      kHeight, m_hParent, nullptr, nullptr, nullptr);
        if (!m_hParent || !m_hButton || !m_button.SubclassWindow(m_hButton))
            throw CHException::FromLastError(HSITE);
        m_button.LoadDefaults();
    }
    ~CButtonHost()
    {
        m_button.UnsubclassWindow();
        ::DestroyWindow(m_hParent);
    }

    void Paint(HDC hTarget) { ::SendMessageW(m_hButton, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hTarget), 0); }

    CHTransparentButton m_button;
    HWND m_hParent = nullptr;
    HWND m_hButton = nullptr;
};

void Run()
{
    CHImage target;
    target.Create(kWidth, kHeight, 32, CHImage::createAlphaChannel);
    CHImage source;
    source.Create(kWidth, kHeight, 32, CHImage::createAlphaChannel);
    HDC hTarget = target.GetDC();
    auto measureBitBlt = [&] {
        HDC hSource = source.GetDC();
        const double dMicroseconds =
            MicrosecondsPerFrame([&] { ::BitBlt(hTarget, 0, 0, kWidth, kHeight, hSource, 0, 0, SRCCOPY); });
        source.ReleaseDC();
        return dMicroseconds;
    };

    CButtonHost transparent(true);
    CButtonHost opaque(false);
    std::printf("button with transparent corners: back buffer %s; opaque button: back buffer %s\n",
                transparent.m_button.IsBackBufferEnabled() ? "on" : "off",
                opaque.m_button.IsBackBufferEnabled() ? "on" : "off");

    const double dBitBltTransparent = measureBitBlt();
    const double dTransparent = MicrosecondsPerFrame([&] { transparent.Paint(hTarget); });
    const double dBitBltOpaque = measureBitBlt();
    const double dOpaque = MicrosecondsPerFrame([&] { opaque.Paint(hTarget); });

    // A fade that never ends within the run: every tick is a new blend.
    CHTransparentButton& button = transparent.m_button;
    button.SetFadeTime(1000000000);
    ::SendMessageW(transparent.m_hButton, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    if (!button.GetFadeSet().IsRunning())
        throw CHException(HError::InvalidParameter, HSITE);
    const double dBitBltFade = measureBitBlt();
    const double dFade = MicrosecondsPerFrame([&] {
        ::SendMessageW(transparent.m_hButton, WM_TIMER, CHTransparentButton::kFadeTimerId, 0);
        transparent.Paint(hTarget);
    });
    const double dBitBltMessage = measureBitBlt();
    const double dMessage = MicrosecondsPerFrame([&] { ::SendMessageW(opaque.m_hButton, WM_GETFONT, 0, 0); });
    target.ReleaseDC();

    std::printf("painting a %d x %d skinned push button into a 32-bit memory device context\n", kWidth, kHeight);
    Report("transparent image (through the back buffer)", dTransparent, dBitBltTransparent);
    Report("opaque image (straight)", dOpaque, dBitBltOpaque);
    Report("hover-fade step (timer 21, blend, paint)", dFade, dBitBltFade);
    Report("(one message to the button: WM_GETFONT)", dMessage, dBitBltMessage);
    std::printf("ratios: transparent / BitBlt = %.2f, opaque / BitBlt = %.2f, fade step / BitBlt = %.2f\n",
                dTransparent / dBitBltTransparent, dOpaque / dBitBltOpaque, dFade / dBitBltFade);
}

}  // namespace

int wmain()
{
    return RunBenchmark(&Run);
}
