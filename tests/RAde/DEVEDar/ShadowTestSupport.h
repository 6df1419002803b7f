// Images and pixel checks shared by the blended-window, shadow and screenshot tests.
#pragma once

#include "WindowTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>

#include "PixelTestSupport.h"
#include "RAde/DEVEDar/HImage.h"

namespace shadowtest {
using Bgra = std::array<BYTE, 4>;

// The zone (0, 1 or 2) a coordinate of an image of that size falls into when
// the image is cut into nine slices with caps of nCap pixels.
inline int ZoneOf(int nCoord, int nSize, int nCap)
{
    return nCoord < nCap ? 0 : nCoord < nSize - nCap ? 1 : 2;
}

// The straight-alpha colour of zone (zx, zy) of a zoned image: every one of the
// nine slices has its own colour and its own alpha.
inline Bgra ZoneColour(int zx, int zy)
{
    return Bgra{static_cast<BYTE>(40 + 90 * zx), static_cast<BYTE>(30 + 100 * zy), 220,
                static_cast<BYTE>(90 + 40 * zx + 20 * zy)};
}

// What premultiplying makes of a straight-alpha pixel.
inline Bgra Premultiplied(const Bgra& pixel)
{
    return Bgra{static_cast<BYTE>(pixel[0] * pixel[3] / 255), static_cast<BYTE>(pixel[1] * pixel[3] / 255),
                static_cast<BYTE>(pixel[2] * pixel[3] / 255), pixel[3]};
}

// A pixel as its bytes, read and written through PixelAt and SetPixel.
inline Bgra BytesAt(const CHImage& image, int x, int y)
{
    const DWORD dwPixel = PixelAt(image, x, y);
    return Bgra{BYTE(dwPixel), BYTE(dwPixel >> 8), BYTE(dwPixel >> 16), BYTE(dwPixel >> 24)};
}
inline void SetPixel(CHImage& image, int x, int y, const Bgra& pixel)
{
    ::SetPixel(image, x, y, pixel[0] | pixel[1] << 8 | pixel[2] << 16 | static_cast<DWORD>(pixel[3]) << 24);
}

// A straight-alpha 32-bit image whose nine slices (caps nCap pixels) each have
// one colour of ZoneColour.
inline void MakeZonedImage(CHImage& image, int nWidth, int nHeight, int nCap)
{
    image.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x)
            SetPixel(image, x, y, ZoneColour(ZoneOf(x, nWidth, nCap), ZoneOf(y, nHeight, nCap)));
}

inline testing::AssertionResult PixelNear(const CHImage& image, int x, int y, const Bgra& expected, int nTolerance)
{
    const Bgra actual = BytesAt(image, x, y);
    for (int i = 0; i < 4; ++i)
        if (std::abs(actual[i] - expected[i]) > nTolerance)
            return testing::AssertionFailure()
                   << "pixel (" << x << ", " << y << ") is BGRA " << int(actual[0]) << "," << int(actual[1]) << ","
                   << int(actual[2]) << "," << int(actual[3]) << ", expected " << int(expected[0]) << ","
                   << int(expected[1]) << "," << int(expected[2]) << "," << int(expected[3]);
    return testing::AssertionSuccess();
}

}  // namespace shadowtest
