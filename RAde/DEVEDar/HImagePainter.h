// Puts an image into a rectangle by one of seven layouts, and maps a point of
// that rectangle back to the image pixel under it (hit tests of skinned controls).
//
//   0 natural size at the top-left corner, cut to the rectangle
//   1 the whole image stretched over the rectangle
//   2 three horizontal slices: caps at natural width, middle stretched; centred vertically
//   3 three vertical slices: caps at natural height, middle stretched; centred horizontally
//   4 nine slices without the centre piece
//   5 nine slices
//   6 natural size, centred in the rectangle and not cut to it
//
// Caps are m_dCapRatio of the image's width (height), rounded. Modes 4 and 5
// lay their pieces into (0, 0, width, height) of the device context, whatever
// the rectangle's left and top: the shadow window and the frames paint their
// whole surface that way, with the device context's origin where they want it.
#pragma once

#include <windows.h>

class CHImage;

class CHImagePainter
{
public:
    CHImagePainter() noexcept = default;
    CHImagePainter(int nMode, double dCapRatio) noexcept : m_nMode(nMode), m_dCapRatio(dCapRatio) {}
    virtual ~CHImagePainter() = default;

    // Nothing for an empty image. With bAlpha every piece is alpha-blended,
    // otherwise copied (stretched where the piece changes size).
    void PaintImage(HDC hDC, const RECT& rcDest, const CHImage& image, bool bAlpha) const;
    // The image pixel under pt, or (-1, -1) when pt is on no pixel.
    POINT CoordScreenToImage(POINT pt, const RECT& rcDest, const CHImage& image) const;

    int m_nMode = 0;
    double m_dCapRatio = 0.25;
};
