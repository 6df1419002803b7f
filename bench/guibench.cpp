// Painting costs of the skinned GUI, per frame, each next to a plain BitBlt of
// the same 400 x 300 pixels between two memory device contexts:
//   - a nine-slice background (painter mode 5, alpha-blended) from a 64 x 64
//     skin image with transparent corners;
//   - one cross-fade step of an animation ticking every 50 ms: Step (called
//     directly, no timer), GetImage (which blends the two 400 x 300 frames once
//     per tick) and the alpha-blended paint of the result; the paint alone is
//     measured too, to tell it from the blend.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "BenchMain.h"
#include "BenchSupport.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HImagePainter.h"
#include "RAde/HException.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

// A 32-bit image with a soft pattern; the alpha falls off towards the
// corners when bRoundCorners is set. Premultiplied, as skin images are.
CHImage PatternImage(int nWidth, int nHeight, BYTE nTint, bool bRoundCorners)
{
    CHImage image;
    image.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
    ::GdiFlush();
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x) {
            const int nDx = std::min(x, nWidth - 1 - x), nDy = std::min(y, nHeight - 1 - y);
            const BYTE nAlpha = bRoundCorners && nDx + nDy < 8 ? static_cast<BYTE>(nDx * nDy * 8) : 255;
            BYTE* p = image.GetPixelAddress(x, y);
            p[0] = static_cast<BYTE>((x * 3 + nTint) & 0xFF);
            p[1] = static_cast<BYTE>((y * 5) & 0xFF);
            p[2] = nTint;
            p[3] = nAlpha;
        }
    PremultiplyAlpha(image);
    return image;
}

void Run()
{
    CHImage target;
    target.Create(kWidth, kHeight, 32, CHImage::createAlphaChannel);
    CHImage source = PatternImage(kWidth, kHeight, 0x30, false);
    HDC hTarget = target.GetDC();
    const RECT rcTarget{0, 0, kWidth, kHeight};

    // The reference, measured next to each case: one plain copy of the frame.
    auto measureBitBlt = [&] {
        HDC hSource = source.GetDC();
        const double dMicroseconds =
            MicrosecondsPerFrame([&] { ::BitBlt(hTarget, 0, 0, kWidth, kHeight, hSource, 0, 0, SRCCOPY); });
        source.ReleaseDC();
        return dMicroseconds;
    };

    const double dBitBltNineSlices = measureBitBlt();
    const CHImage skin = PatternImage(64, 64, 0x90, true);
    const CHImagePainter nineSlices(5, 0.25);
    const double dNineSlices = MicrosecondsPerFrame([&] { nineSlices.PaintImage(hTarget, rcTarget, skin, true); });

    // Two full-size frames, one delay of 500 ms: ten ticks of 50 ms per cycle,
    // nine of them cross-fades (the tick that ends the cycle shows a frame as is).
    // What the cross-fade's paint alone costs, to tell it from the blend.
    const double dBitBltPaint = measureBitBlt();
    const CHImagePainter natural(0, 0.25);
    const double dPaint = MicrosecondsPerFrame([&] { natural.PaintImage(hTarget, rcTarget, source, true); });

    const double dBitBltCrossFade = measureBitBlt();
    const CHImage first = PatternImage(kWidth, kHeight, 0x20, false);
    const CHImage second = PatternImage(kWidth, kHeight, 0xC0, false);
    CHImageAnimationSet set;
    set.m_nFixedPeriod = 50;
    set.m_delays = {500};
    set.CreateAnim(0).m_frames = {&first, &second};
    set.Start();
    const double dCrossFade = MicrosecondsPerFrame([&] {
        set.Step();
        if (const CHImage* pImage = set.GetImage(0))
            natural.PaintImage(hTarget, rcTarget, *pImage, true);
    });
    set.Stop();
    target.ReleaseDC();

    std::printf("painting %d x %d pixels into a 32-bit memory device context\n", kWidth, kHeight);
    Report("nine-slice background (mode 5, 64x64 skin)", dNineSlices, dBitBltNineSlices);
    Report("cross-fade step at 50 ms ticks", dCrossFade, dBitBltCrossFade);
    Report("(of which alpha-blended paint, mode 0)", dPaint, dBitBltPaint);
    std::printf("ratios: nine-slice / BitBlt = %.2f, cross-fade step / BitBlt = %.2f\n",
                dNineSlices / dBitBltNineSlices, dCrossFade / dBitBltCrossFade);
}

}  // namespace

int wmain()
{
    return RunBenchmark(&Run);
}
