// Images made ready for the screen's DPI scale: the resampler's filter, and
// which file an image is scaled from.
#include <gtest/gtest.h>

#include <string>

#include "AnimationTestSupport.h"
#include "RAde/DEVEDar/HDpiImage.h"
#include "RAde/DEVEDar/HImageProcessor.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"

using namespace AnimationTest;

namespace {
constexpr DWORD kOpaqueRed = Bgra(0, 0, 255, 255);
constexpr DWORD kClearBlue = Bgra(255, 0, 0, 0);

// Left half one pixel value, right half another.
CHImage Halves(int nWidth, int nHeight, DWORD dwLeft, DWORD dwRight)
{
    CHImage image = SolidImage(nWidth, nHeight, dwRight);
    for (int y = 0; y < nHeight; ++y)
        for (int x = 0; x < nWidth / 2; ++x)
            std::memcpy(image.GetPixelAddress(x, y), &dwLeft, 4);
    return image;
}

int Channel(DWORD dwPixel, int nShift)
{
    return static_cast<int>(dwPixel >> nShift & 0xFF);
}
}  // namespace

TEST(CHImageProcessor, ResampleGrowsSmoothlyAndShrinksByAveraging)
{
    // Growing: a black and a white pixel give a ramp, not two blocks.
    CHImage result;
    CHImageProcessor::Resample(Halves(2, 1, Bgra(0, 0, 0, 255), Bgra(255, 255, 255, 255)), 4, 1, result, true);
    int nLast = -1;
    for (int x = 0; x < 4; ++x) {
        const int nBlue = Channel(PixelAt(result, x, 0), 0);
        EXPECT_GT(nBlue, nLast) << "at " << x;
        nLast = nBlue;
    }
    EXPECT_LT(Channel(PixelAt(result, 1, 0), 0), 128);
    EXPECT_GT(Channel(PixelAt(result, 2, 0), 0), 128);

    // Shrinking: every source pixel counts (the tent weighs the middle ones
    // more), so fine stripes come near their mean instead of one stripe's colour.
    CHImage stripes = SolidImage(8, 8, Bgra(0, 0, 0, 255));
    for (int y = 0; y < 8; ++y)
        for (int x = 1; x < 8; x += 2)
            std::memcpy(stripes.GetPixelAddress(x, y), &kOpaqueRed, 4);
    CHImageProcessor::Resample(stripes, 2, 2, result, true);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_NEAR(Channel(PixelAt(result, x, y), 16), 128, 16) << x << ", " << y;
}

TEST(CHImageProcessor, ResampleLendsNoColourFromTransparentPixels)
{
    // Straight pixels keep the opaque side's colour wherever they show at all;
    // premultiplied pixels never hold more colour than alpha.
    for (bool bPremultiplied : {false, true}) {
        CHImage source = Halves(4, 2, kOpaqueRed, bPremultiplied ? Bgra(0, 0, 0, 0) : kClearBlue);
        CHImage result;
        CHImageProcessor::Resample(source, 8, 4, result, bPremultiplied);
        bool bSawEdge = false;
        for (int x = 0; x < 8; ++x) {
            const DWORD dwPixel = PixelAt(result, x, 1);
            const int nAlpha = Channel(dwPixel, 24);
            bSawEdge = bSawEdge || (nAlpha > 0 && nAlpha < 255);
            if (nAlpha == 0)
                continue;
            EXPECT_EQ(Channel(dwPixel, 0), 0) << "blue at " << x << (bPremultiplied ? " (premultiplied)" : "");
            if (bPremultiplied)
                EXPECT_NEAR(Channel(dwPixel, 16), nAlpha, 1) << "at " << x;
            else
                EXPECT_EQ(Channel(dwPixel, 16), 255) << "at " << x;
        }
        EXPECT_TRUE(bSawEdge) << "the edge is blended";
    }
}

// A plain 10 x 6 picture of one colour and, as a case asks, a larger one of another beside it.
class CHDpiImageLoad : public testing::Test
{
protected:
    static constexpr DWORD kPlain = Bgra(200, 100, 50, 255);
    static constexpr DWORD kLarge = Bgra(20, 220, 90, 255);

    CTempFolder m_folder{L"dpi"};
    std::wstring m_strPlain = m_folder / L"frame.png";
    std::wstring m_strLarge = m_folder / L"frame@2x.png";

    void SetUp() override { SavePng(SolidImage(10, 6, kPlain), m_strPlain); }
};

TEST_F(CHDpiImageLoad, ScalesFromTheLargerPictureFromOneAndAHalfOn)
{
    constexpr SIZE kNone{0, 0}, kBroken{-1, -1};  // no larger picture; one that does not decode
    const struct
    {
        float fScale;
        SIZE large;
        SIZE expected;  // {0, 0}: the load fails, naming the larger picture
        DWORD dwColour;
    } cases[] = {
        {1.0f, {20, 12}, {10, 6}, kPlain},
        {1.25f, {20, 12}, {13, 8}, kPlain},
        {1.5f, {20, 12}, {15, 9}, kLarge},
        {2.0f, {20, 12}, {20, 12}, kLarge},
        {2.0f, kNone, {20, 12}, kPlain},
        {3.0f, {20, 12}, {30, 18}, kLarge},
        // Not twice the plain one: still the plain one's size at the scale (and a warning).
        {2.0f, {33, 9}, {20, 12}, kLarge},
        {0.75f, {20, 12}, {10, 6}, kPlain},
        // A broken larger picture fails like a broken plain one, and only where it is used.
        {2.0f, kBroken, {0, 0}, 0},
        {1.25f, kBroken, {13, 8}, kPlain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fScale << " with " << c.large.cx);
        ::DeleteFileW(m_strLarge.c_str());
        if (c.large.cx > 0)
            SavePng(SolidImage(c.large.cx, c.large.cy, kLarge), m_strLarge);
        else if (c.large.cx < 0)
            WriteFileBytes(m_strLarge, "\x89PNG not really");
        CHImage image;
        if (c.expected.cx == 0) {
            CHException e = CatchThrown([&] { CHDpiImage::Load(image, m_strPlain, c.fScale, true); });
            EXPECT_EQ(ValuesNamed(e, L"file"), std::vector<std::wstring>{m_strLarge});
            continue;
        }
        CHDpiImage::Load(image, m_strPlain, c.fScale, true);
        EXPECT_EQ(image.GetWidth(), c.expected.cx);
        EXPECT_EQ(image.GetHeight(), c.expected.cy);
        EXPECT_EQ(PixelAt(image, image.GetWidth() / 2, image.GetHeight() / 2), c.dwColour);
    }
}
