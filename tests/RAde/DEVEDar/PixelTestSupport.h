// One pixel of a 32-bit image read and written as the DWORD its bytes blue,
// green, red, alpha make, after GDI has finished what it was drawing.
#pragma once

#include <windows.h>

#include <cstring>

#include "RAde/DEVEDar/HImage.h"

inline DWORD PixelAt(const CHImage& image, int x, int y)
{
    ::GdiFlush();
    DWORD dwPixel = 0;
    std::memcpy(&dwPixel, image.GetPixelAddress(x, y), 4);
    return dwPixel;
}

inline void SetPixel(CHImage& image, int x, int y, DWORD dwPixel)
{
    ::GdiFlush();
    std::memcpy(image.GetPixelAddress(x, y), &dwPixel, 4);
}
