#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImagePainter.h"

namespace {
constexpr int kSide = 8;  // test images are 8 x 8, caps (ratio 0.25) 2 pixels
constexpr DWORD kUntouched = 0x00FF00FF;

// Every pixel tells where in the image it came from: blue = 16 x + 8,
// green = 16 y + 8, red 0x40, opaque. Stretching by nearest pixel keeps that exact.
CHImage PositionImage(int nWidth = kSide, int nHeight = kSide)
{
    CHImage image;
    image.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth; ++x) {
            const DWORD dwPixel = 0xFF400000u | (16u * y + 8) << 8 | (16u * x + 8);
            std::memcpy(image.GetPixelAddress(x, y), &dwPixel, 4);
        }
    return image;
}

class CTarget
{
public:
    CTarget(int nWidth, int nHeight)
    {
        m_image.Create(nWidth, nHeight, 32);
        for (int y = 0; y < nHeight; ++y)
            for (int x = 0; x < nWidth; ++x)
                std::memcpy(m_image.GetPixelAddress(x, y), &kUntouched, 4);
    }

    void Paint(const CHImagePainter& painter, const RECT& rc, const CHImage& image, bool bAlpha)
    {
        HDC hDC = m_image.GetDC();
        painter.PaintImage(hDC, rc, image, bAlpha);
        m_image.ReleaseDC();
    }

    DWORD Pixel(int x, int y) const
    {
        DWORD dwPixel = 0;
        std::memcpy(&dwPixel, m_image.GetPixelAddress(x, y), 4);
        return dwPixel & 0xFFFFFF;
    }
    // The image position a pixel came from, or (-1, -1) when it was not painted.
    POINT Source(int x, int y) const
    {
        const DWORD dwPixel = Pixel(x, y);
        if (dwPixel == kUntouched || (dwPixel >> 16) != 0x40)
            return POINT{-1, -1};
        return POINT{static_cast<LONG>((dwPixel & 0xFF) / 16), static_cast<LONG>(((dwPixel >> 8) & 0xFF) / 16)};
    }
    int Width() const { return m_image.GetWidth(); }
    int Height() const { return m_image.GetHeight(); }

private:
    CHImage m_image;
};

// The destination pixels (x, y, w, h) show the image part (sx, sy, sw, sh):
// one to one where the sizes agree, otherwise by nearest pixel within one.
void ExpectPiece(const CTarget& target, RECT dest, RECT source, const std::string& strWhat)
{
    const int nDestW = dest.right - dest.left, nDestH = dest.bottom - dest.top;
    const int nSrcW = source.right - source.left, nSrcH = source.bottom - source.top;
    for (int y = dest.top; y < dest.bottom; ++y)
        for (int x = dest.left; x < dest.right; ++x) {
            const POINT pt = target.Source(x, y);
            const double dExpectX = source.left + (x - dest.left + 0.5) * nSrcW / nDestW - 0.5;
            const double dExpectY = source.top + (y - dest.top + 0.5) * nSrcH / nDestH - 0.5;
            const bool bExact = nDestW == nSrcW && nDestH == nSrcH;
            const double dTolerance = bExact ? 0.0 : 1.0;
            const bool bInside =
                pt.x >= source.left && pt.x < source.right && pt.y >= source.top && pt.y < source.bottom;
            if (!bInside || std::abs(pt.x - dExpectX) > dTolerance || std::abs(pt.y - dExpectY) > dTolerance) {
                ADD_FAILURE() << strWhat << ": pixel (" << x << ", " << y << ") shows image (" << pt.x << ", " << pt.y
                              << "), expected about (" << dExpectX << ", " << dExpectY << ")";
                return;
            }
        }
}

// Nothing else than the pieces was painted: every pixel outside them is untouched.
void ExpectOnlyPainted(const CTarget& target, std::initializer_list<RECT> painted, const std::string& strWhat)
{
    for (int y = 0; y < target.Height(); ++y)
        for (int x = 0; x < target.Width(); ++x) {
            bool bInPiece = false;
            for (const RECT& rc : painted)
                bInPiece = bInPiece || (x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom);
            if (!bInPiece && target.Pixel(x, y) != kUntouched) {
                ADD_FAILURE() << strWhat << ": pixel (" << x << ", " << y << ") painted outside the layout";
                return;
            }
        }
}

std::string What(const char* pszCase, bool bAlpha)
{
    return std::string(pszCase) + (bAlpha ? " (alpha)" : " (copy)");
}

bool operator==(POINT a, POINT b)
{
    return a.x == b.x && a.y == b.y;
}
}  // namespace

// Both drawing paths give the same pixels for an opaque image.
class CHImagePainterLayout : public testing::TestWithParam<bool>
{
protected:
    const CHImage m_image = PositionImage();
    bool Alpha() const { return GetParam(); }
};

TEST_P(CHImagePainterLayout, Mode0NaturalSizeCutToTheRectangle)
{
    CTarget large(24, 24);
    large.Paint(CHImagePainter(0, 0.25), RECT{2, 3, 20, 20}, m_image, Alpha());
    ExpectPiece(large, {2, 3, 10, 11}, {0, 0, 8, 8}, What("larger", Alpha()));
    ExpectOnlyPainted(large, {{2, 3, 10, 11}}, What("larger", Alpha()));

    CTarget small(24, 24);
    small.Paint(CHImagePainter(0, 0.25), RECT{2, 3, 7, 5}, m_image, Alpha());
    ExpectPiece(small, {2, 3, 7, 5}, {0, 0, 5, 2}, What("smaller", Alpha()));
    ExpectOnlyPainted(small, {{2, 3, 7, 5}}, What("smaller", Alpha()));
}

TEST_P(CHImagePainterLayout, Mode1StretchesOverTheWholeRectangle)
{
    CTarget large(24, 24);
    large.Paint(CHImagePainter(1, 0.25), RECT{1, 1, 17, 21}, m_image, Alpha());
    ExpectPiece(large, {1, 1, 17, 21}, {0, 0, 8, 8}, What("larger", Alpha()));
    ExpectOnlyPainted(large, {{1, 1, 17, 21}}, What("larger", Alpha()));

    CTarget small(24, 24);
    small.Paint(CHImagePainter(1, 0.25), RECT{3, 3, 7, 7}, m_image, Alpha());
    ExpectPiece(small, {3, 3, 7, 7}, {0, 0, 8, 8}, What("smaller", Alpha()));
    ExpectOnlyPainted(small, {{3, 3, 7, 7}}, What("smaller", Alpha()));
}

TEST_P(CHImagePainterLayout, Mode2CapsAtNaturalWidthMiddleStretchedCentredVertically)
{
    CTarget wide(24, 16);
    wide.Paint(CHImagePainter(2, 0.25), RECT{1, 1, 21, 13}, m_image, Alpha());  // y0 = 1 + (12 - 8) / 2 = 3
    ExpectPiece(wide, {1, 3, 3, 11}, {0, 0, 2, 8}, What("left cap", Alpha()));
    ExpectPiece(wide, {3, 3, 19, 11}, {2, 0, 6, 8}, What("middle", Alpha()));
    ExpectPiece(wide, {19, 3, 21, 11}, {6, 0, 8, 8}, What("right cap", Alpha()));
    ExpectOnlyPainted(wide, {{1, 3, 21, 11}}, What("wide", Alpha()));

    // Lower than the image: starts at the rectangle's top and is not cut; narrower: the middle shrinks.
    CTarget low(24, 16);
    low.Paint(CHImagePainter(2, 0.25), RECT{2, 4, 8, 9}, m_image, Alpha());
    ExpectPiece(low, {2, 4, 4, 12}, {0, 0, 2, 8}, What("low left cap", Alpha()));
    ExpectPiece(low, {4, 4, 6, 12}, {2, 0, 6, 8}, What("low middle", Alpha()));
    ExpectPiece(low, {6, 4, 8, 12}, {6, 0, 8, 8}, What("low right cap", Alpha()));
    ExpectOnlyPainted(low, {{2, 4, 8, 12}}, What("low", Alpha()));
}

TEST_P(CHImagePainterLayout, Mode3CapsAtNaturalHeightMiddleStretchedCentredHorizontally)
{
    CTarget tall(16, 24);
    tall.Paint(CHImagePainter(3, 0.25), RECT{1, 1, 14, 21}, m_image, Alpha());  // x0 = 1 + (13 - 8) / 2 = 3
    ExpectPiece(tall, {3, 1, 11, 3}, {0, 0, 8, 2}, What("top cap", Alpha()));
    ExpectPiece(tall, {3, 3, 11, 19}, {0, 2, 8, 6}, What("middle", Alpha()));
    ExpectPiece(tall, {3, 19, 11, 21}, {0, 6, 8, 8}, What("bottom cap", Alpha()));
    ExpectOnlyPainted(tall, {{3, 1, 11, 21}}, What("tall", Alpha()));

    CTarget narrow(16, 24);
    narrow.Paint(CHImagePainter(3, 0.25), RECT{4, 2, 6, 8}, m_image, Alpha());
    ExpectPiece(narrow, {4, 2, 12, 4}, {0, 0, 8, 2}, What("narrow top cap", Alpha()));
    ExpectPiece(narrow, {4, 4, 12, 6}, {0, 2, 8, 6}, What("narrow middle", Alpha()));
    ExpectPiece(narrow, {4, 6, 12, 8}, {0, 6, 8, 8}, What("narrow bottom cap", Alpha()));
    ExpectOnlyPainted(narrow, {{4, 2, 12, 8}}, What("narrow", Alpha()));
}

TEST_P(CHImagePainterLayout, Modes4And5NineSlicesAtTheDeviceContextsOrigin)
{
    for (int nMode : {4, 5}) {
        const std::string strMode = "mode " + std::to_string(nMode);
        // The rectangle's left and top are not used: the pieces fill (0, 0, 20, 16).
        CTarget large(24, 24);
        large.Paint(CHImagePainter(nMode, 0.25), RECT{3, 5, 23, 21}, m_image, Alpha());
        ExpectPiece(large, {0, 0, 2, 2}, {0, 0, 2, 2}, What((strMode + " top-left").c_str(), Alpha()));
        ExpectPiece(large, {2, 0, 18, 2}, {2, 0, 6, 2}, What((strMode + " top").c_str(), Alpha()));
        ExpectPiece(large, {18, 0, 20, 2}, {6, 0, 8, 2}, What((strMode + " top-right").c_str(), Alpha()));
        ExpectPiece(large, {0, 2, 2, 14}, {0, 2, 2, 6}, What((strMode + " left").c_str(), Alpha()));
        ExpectPiece(large, {18, 2, 20, 14}, {6, 2, 8, 6}, What((strMode + " right").c_str(), Alpha()));
        ExpectPiece(large, {0, 14, 2, 16}, {0, 6, 2, 8}, What((strMode + " bottom-left").c_str(), Alpha()));
        ExpectPiece(large, {2, 14, 18, 16}, {2, 6, 6, 8}, What((strMode + " bottom").c_str(), Alpha()));
        ExpectPiece(large, {18, 14, 20, 16}, {6, 6, 8, 8}, What((strMode + " bottom-right").c_str(), Alpha()));
        if (nMode == 5) {
            ExpectPiece(large, {2, 2, 18, 14}, {2, 2, 6, 6}, What("centre", Alpha()));
            ExpectOnlyPainted(large, {{0, 0, 20, 16}}, What(strMode.c_str(), Alpha()));
        } else {
            ExpectOnlyPainted(large, {{0, 0, 20, 2}, {0, 14, 20, 16}, {0, 2, 2, 14}, {18, 2, 20, 14}},
                              What("mode 4 without centre", Alpha()));
        }

        // Smaller than the image: corners keep their size, edges and centre shrink.
        CTarget small(24, 24);
        small.Paint(CHImagePainter(nMode, 0.25), RECT{0, 0, 6, 6}, m_image, Alpha());
        ExpectPiece(small, {0, 0, 2, 2}, {0, 0, 2, 2}, What((strMode + " small top-left").c_str(), Alpha()));
        ExpectPiece(small, {4, 4, 6, 6}, {6, 6, 8, 8}, What((strMode + " small bottom-right").c_str(), Alpha()));
        ExpectPiece(small, {2, 0, 4, 2}, {2, 0, 6, 2}, What((strMode + " small top").c_str(), Alpha()));
        ExpectPiece(small, {0, 2, 2, 4}, {0, 2, 2, 6}, What((strMode + " small left").c_str(), Alpha()));
        if (nMode == 5)
            ExpectPiece(small, {2, 2, 4, 4}, {2, 2, 6, 6}, What("small centre", Alpha()));
        else
            EXPECT_EQ(small.Pixel(3, 3), kUntouched);
        ExpectOnlyPainted(small, {{0, 0, 6, 6}}, What((strMode + " small").c_str(), Alpha()));
    }
}

TEST_P(CHImagePainterLayout, Mode6CentredAndNotCut)
{
    CTarget large(24, 24);
    large.Paint(CHImagePainter(6, 0.25), RECT{4, 4, 24, 15}, m_image, Alpha());  // (14 - 4, 9 - 4)
    ExpectPiece(large, {10, 5, 18, 13}, {0, 0, 8, 8}, What("larger", Alpha()));
    ExpectOnlyPainted(large, {{10, 5, 18, 13}}, What("larger", Alpha()));

    CTarget small(24, 24);
    small.Paint(CHImagePainter(6, 0.25), RECT{5, 6, 9, 9}, m_image, Alpha());  // (7 - 4, 7 - 4)
    ExpectPiece(small, {3, 3, 11, 11}, {0, 0, 8, 8}, What("smaller", Alpha()));
    ExpectOnlyPainted(small, {{3, 3, 11, 11}}, What("smaller", Alpha()));
}

TEST_P(CHImagePainterLayout, UnknownModesAndEmptyImagesPaintNothing)
{
    CTarget target(16, 16);
    target.Paint(CHImagePainter(7, 0.25), RECT{0, 0, 16, 16}, m_image, Alpha());
    target.Paint(CHImagePainter(-1, 0.25), RECT{0, 0, 16, 16}, m_image, Alpha());
    target.Paint(CHImagePainter(1, 0.25), RECT{0, 0, 16, 16}, CHImage(), Alpha());
    ExpectOnlyPainted(target, {}, What("nothing", Alpha()));
}

INSTANTIATE_TEST_SUITE_P(CopyAndAlpha, CHImagePainterLayout, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Alpha" : "Copy"; });

TEST(CHImagePainter, AlphaBlendsTranslucentPiecesWhereCopyReplaces)
{
    CHImage image;
    image.Create(4, 4, 32, CHImage::createAlphaChannel);
    const DWORD dwHalfBlue = 0x80000080;  // premultiplied blue 128 at alpha 128
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            std::memcpy(image.GetPixelAddress(x, y), &dwHalfBlue, 4);
    for (bool bAlpha : {true, false}) {
        CTarget target(8, 8);
        target.Paint(CHImagePainter(1, 0.25), RECT{0, 0, 8, 8}, image, bAlpha);  // stretched
        const DWORD dwPixel = target.Pixel(5, 5);
        const int nBlue = dwPixel & 0xFF, nGreen = (dwPixel >> 8) & 0xFF, nRed = dwPixel >> 16;
        if (bAlpha) {
            // 128 + (1 - 128 / 255) * 255 over the untouched blue and red; green stays 0.
            EXPECT_NEAR(nBlue, 255, 2);
            EXPECT_NEAR(nRed, 127, 2);
        } else {
            EXPECT_EQ(nBlue, 0x80);
            EXPECT_EQ(nRed, 0);
        }
        EXPECT_EQ(nGreen, 0);
    }
}

TEST(CHImagePainter, CoordScreenToImageModes0And1MatchWhatIsPainted)
{
    const CHImage image = PositionImage();
    const CHImagePainter natural(0, 0.25), stretched(1, 0.25);
    const RECT rcNatural{4, 5, 20, 20}, rcStretched{2, 1, 18, 17};  // stretched twice in both directions
    CTarget naturalTarget(24, 24), stretchedTarget(24, 24);
    naturalTarget.Paint(natural, rcNatural, image, false);
    stretchedTarget.Paint(stretched, rcStretched, image, false);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            const POINT pt{x, y};
            ASSERT_TRUE(natural.CoordScreenToImage(pt, rcNatural, image) == naturalTarget.Source(x, y))
                << x << "," << y;
            ASSERT_TRUE(stretched.CoordScreenToImage(pt, rcStretched, image) == stretchedTarget.Source(x, y))
                << x << "," << y;
        }
    // Mode 1 scales by the rectangle, also when it shrinks the image.
    EXPECT_TRUE(stretched.CoordScreenToImage({5, 6}, RECT{0, 0, 4, 16}, image) == (POINT{-1, -1}));
    EXPECT_TRUE(stretched.CoordScreenToImage({3, 15}, RECT{0, 0, 4, 16}, image) == (POINT{6, 7}));
    EXPECT_TRUE(stretched.CoordScreenToImage({0, 0}, RECT{0, 0, 0, 0}, image) == (POINT{-1, -1}));
    EXPECT_TRUE(natural.CoordScreenToImage({0, 0}, RECT{0, 0, 4, 4}, CHImage()) == (POINT{-1, -1}));
}

TEST(CHImagePainter, CoordScreenToImageModes2To6)
{
    const CHImage image = PositionImage();
    struct
    {
        int nMode;
        RECT rc;
        POINT pt, expected;
    } cases[] = {
        // Mode 2, 20 x 12: image rows start at y 2; caps 2 wide.
        {2, {0, 0, 20, 12}, {1, 3}, {1, 1}},   // left cap
        {2, {0, 0, 20, 12}, {18, 5}, {6, 3}},  // right cap
        {2, {0, 0, 20, 12}, {19, 9}, {7, 7}},
        {2, {0, 0, 20, 12}, {5, 5}, {5, 3}},     // middle: distance from the left edge
        {2, {0, 0, 20, 12}, {12, 5}, {-1, -1}},  // ... which leaves the image
        {2, {0, 0, 20, 12}, {1, 1}, {-1, -1}},   // above the centred image
        {2, {10, 10, 30, 22}, {29, 21}, {-1, -1}},
        {2, {10, 10, 30, 22}, {29, 19}, {7, 7}},
        // Mode 3, 12 x 20: image columns start at x 2.
        {3, {0, 0, 12, 20}, {3, 1}, {1, 1}},
        {3, {0, 0, 12, 20}, {3, 18}, {1, 6}},
        {3, {0, 0, 12, 20}, {9, 5}, {7, 5}},
        {3, {0, 0, 12, 20}, {3, 12}, {-1, -1}},
        {3, {0, 0, 12, 20}, {10, 5}, {-1, -1}},
        // Modes 4 and 5: x less the centring offset, y like mode 3.
        {4, {0, 0, 12, 20}, {3, 19}, {1, 7}},
        {5, {0, 0, 12, 20}, {9, 0}, {7, 0}},
        {5, {0, 0, 12, 20}, {1, 1}, {-1, -1}},
        // Mode 6 and unknown modes map nothing.
        {6, {0, 0, 8, 8}, {1, 1}, {-1, -1}},
        {9, {0, 0, 8, 8}, {1, 1}, {-1, -1}},
    };
    for (const auto& c : cases) {
        const POINT result = CHImagePainter(c.nMode, 0.25).CoordScreenToImage(c.pt, c.rc, image);
        EXPECT_TRUE(result == c.expected) << "mode " << c.nMode << " point (" << c.pt.x << ", " << c.pt.y << ") gave ("
                                          << result.x << ", " << result.y << ")";
    }
}
