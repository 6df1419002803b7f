#include "RAde/DEVEDar/HImagePainter.h"

#include <algorithm>
#include <cmath>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"

namespace {
// A rectangle by position and size, as the drawing calls take it.
struct CPiece
{
    int x, y, nWidth, nHeight;
};

// Draws one piece of the image. Pieces that come out empty or negative (a
// rectangle smaller than the caps) are left out: a negative size would mirror.
void DrawPiece(HDC hDC, const CHImage& image, bool bAlpha, const CPiece& source, const CPiece& dest)
{
    if (source.nWidth <= 0 || source.nHeight <= 0 || dest.nWidth <= 0 || dest.nHeight <= 0)
        return;
    if (bAlpha)
        image.AlphaBlend(hDC, dest.x, dest.y, dest.nWidth, dest.nHeight, source.x, source.y, source.nWidth,
                         source.nHeight);
    else if (source.nWidth == dest.nWidth && source.nHeight == dest.nHeight)
        image.BitBlt(hDC, dest.x, dest.y, dest.nWidth, dest.nHeight, source.x, source.y);
    else
        image.StretchBlt(hDC, dest.x, dest.y, dest.nWidth, dest.nHeight, source.x, source.y, source.nWidth,
                         source.nHeight);
}

int CapSize(double dCapRatio, int nSide)
{
    return static_cast<int>(std::floor(dCapRatio * nSide + 0.5));
}

// Where an image of nSide pixels starts when centred in [nStart, nEnd):
// never before nStart.
int CentredStart(int nStart, int nEnd, int nSide)
{
    return nStart + std::max(0, (nEnd - nStart - nSide) / 2);
}

// A coordinate along a three-slice axis: the far cap maps to the image's far
// cap; the near cap and the stretched middle map to the distance from the start.
int SliceCoordinate(int nPoint, int nStart, int nEnd, int nCap, int nImageSide)
{
    const int nOffset = nPoint - nStart;
    if (nOffset >= nCap && nPoint >= nEnd - nCap)
        return nImageSide - nCap + (nPoint - (nEnd - nCap));
    return nOffset;
}
}  // namespace

void CHImagePainter::PaintImage(HDC hDC, const RECT& rcDest, const CHImage& image, bool bAlpha) const
{
    HTRY {
        if (image.IsNull())
            return;
        const int W = image.GetWidth(), H = image.GetHeight();
        const int nCapW = CapSize(m_dCapRatio, W), nCapH = CapSize(m_dCapRatio, H);
        const int left = rcDest.left, top = rcDest.top, right = rcDest.right, bottom = rcDest.bottom;

        // One device context for all pieces of the image.
        CHImageDC imageDC(image);
        auto draw = [&](const CPiece& source, const CPiece& dest) { DrawPiece(hDC, image, bAlpha, source, dest); };

        switch (m_nMode) {
        case 0: {
            const int w = std::min(right - left, W), h = std::min(bottom - top, H);
            draw({0, 0, w, h}, {left, top, w, h});
            break;
        }
        case 1:
            draw({0, 0, W, H}, {left, top, right - left, bottom - top});
            break;
        case 2: {
            const int y0 = CentredStart(top, bottom, H);
            draw({0, 0, nCapW, H}, {left, y0, nCapW, H});
            draw({nCapW, 0, W - 2 * nCapW, H}, {left + nCapW, y0, right - left - 2 * nCapW, H});
            draw({W - nCapW, 0, nCapW, H}, {right - nCapW, y0, nCapW, H});
            break;
        }
        case 3: {
            const int x0 = CentredStart(left, right, W);
            draw({0, 0, W, nCapH}, {x0, top, W, nCapH});
            draw({0, nCapH, W, H - 2 * nCapH}, {x0, top + nCapH, W, bottom - top - 2 * nCapH});
            draw({0, H - nCapH, W, nCapH}, {x0, bottom - nCapH, W, nCapH});
            break;
        }
        case 4:
        case 5: {
            // Laid into (0, 0, w, h) of the device context: the shadow and the
            // frames move the origin to where their surface starts.
            const int w = right - left, h = bottom - top;
            const int nMidW = W - 2 * nCapW, nMidH = H - 2 * nCapH;
            const int nDestMidW = w - 2 * nCapW, nDestMidH = h - 2 * nCapH;
            draw({0, 0, nCapW, nCapH}, {0, 0, nCapW, nCapH});
            draw({nCapW, 0, nMidW, nCapH}, {nCapW, 0, nDestMidW, nCapH});
            draw({W - nCapW, 0, nCapW, nCapH}, {w - nCapW, 0, nCapW, nCapH});
            draw({0, nCapH, nCapW, nMidH}, {0, nCapH, nCapW, nDestMidH});
            if (m_nMode == 5)
                draw({nCapW, nCapH, nMidW, nMidH}, {nCapW, nCapH, nDestMidW, nDestMidH});
            draw({W - nCapW, nCapH, nCapW, nMidH}, {w - nCapW, nCapH, nCapW, nDestMidH});
            draw({0, H - nCapH, nCapW, nCapH}, {0, h - nCapH, nCapW, nCapH});
            draw({nCapW, H - nCapH, nMidW, nCapH}, {nCapW, h - nCapH, nDestMidW, nCapH});
            draw({W - nCapW, H - nCapH, nCapW, nCapH}, {w - nCapW, h - nCapH, nCapW, nCapH});
            break;
        }
        case 6:
            // Not cut: an image larger than the rectangle reaches past it.
            draw({0, 0, W, H}, {(left + right) / 2 - W / 2, (top + bottom) / 2 - H / 2, W, H});
            break;
        default:
            break;
        }
    } HCATCH
}

POINT CHImagePainter::CoordScreenToImage(POINT pt, const RECT& rcDest, const CHImage& image) const
{
    HTRY {
        const POINT none = {-1, -1};
        const int W = image.GetWidth(), H = image.GetHeight();
        const int nCapW = CapSize(m_dCapRatio, W), nCapH = CapSize(m_dCapRatio, H);
        const int left = rcDest.left, top = rcDest.top, right = rcDest.right, bottom = rcDest.bottom;
        long long x = -1, y = -1;

        switch (m_nMode) {
        case 0:
            x = pt.x - left;
            y = pt.y - top;
            break;
        case 1:
            if (!::PtInRect(&rcDest, pt))
                return none;
            x = static_cast<long long>(W) * (pt.x - left) / (right - left);
            y = static_cast<long long>(pt.y - top) * H / (bottom - top);
            break;
        case 2:
            x = SliceCoordinate(pt.x, left, right, nCapW, W);
            y = pt.y - CentredStart(top, bottom, H);
            break;
        case 3:
            x = pt.x - CentredStart(left, right, W);
            y = SliceCoordinate(pt.y, top, bottom, nCapH, H);
            break;
        case 4:
        case 5:
            x = pt.x - CentredStart(left, right, W);
            y = SliceCoordinate(pt.y, top, bottom, nCapH, H);
            break;
        default:
            return none;
        }
        if (x < 0 || y < 0 || x >= W || y >= H)
            return none;
        return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
    } HCATCH
}
