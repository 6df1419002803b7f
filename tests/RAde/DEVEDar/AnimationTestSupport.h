// Helpers of the animation, frame and back-buffer tests: solid test images,
// pixel reads, and a message pump that waits for a condition.
#pragma once

#include "WindowTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "PixelTestSupport.h"
#include "RAde/DEVEDar/HImage.h"

namespace AnimationTest {
using ::PixelAt;
using ::SetPixel;

// A pixel as the DWORD the bytes blue, green, red, alpha make.
constexpr DWORD Bgra(BYTE b, BYTE g, BYTE r, BYTE a)
{
    return static_cast<DWORD>(a) << 24 | static_cast<DWORD>(r) << 16 | static_cast<DWORD>(g) << 8 | b;
}

// The pixel GDI writes for a COLORREF (alpha left 0).
constexpr DWORD PixelOf(COLORREF cr)
{
    return Bgra(GetBValue(cr), GetGValue(cr), GetRValue(cr), 0);
}

inline void Fill(CHImage& image, DWORD dwPixel)
{
    ::GdiFlush();
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            std::memcpy(image.GetPixelAddress(x, y), &dwPixel, 4);
}

inline CHImage SolidImage(int nWidth, int nHeight, DWORD dwPixel)
{
    CHImage image;
    image.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
    Fill(image, dwPixel);
    return image;
}

// Colour channels equal within nTolerance each (alpha ignored).
inline ::testing::AssertionResult ColourNear(DWORD dwActual, DWORD dwExpected, int nTolerance = 0)
{
    for (int nShift = 0; nShift < 24; nShift += 8) {
        const int nA = static_cast<int>(dwActual >> nShift & 0xFF);
        const int nE = static_cast<int>(dwExpected >> nShift & 0xFF);
        if (std::abs(nA - nE) > nTolerance)
            return ::testing::AssertionFailure() << std::hex << "pixel 0x" << dwActual << " is not 0x" << dwExpected
                                                 << " (colour, tolerance " << std::dec << nTolerance << ")";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace AnimationTest
