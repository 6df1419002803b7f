#include <gtest/gtest.h>

#include <cstring>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImageProcessor.h"
#include "TestSupport.h"

namespace {
// Every byte of the image's pixels (padding left alone) set to nValue.
CHImage Filled(int nWidth, int nHeight, int nBPP, BYTE nValue)
{
    CHImage image;
    image.Create(nWidth, nHeight, nBPP, nBPP == 32 ? CHImage::createAlphaChannel : 0);
    for (int y = 0; y < nHeight; ++y)
        std::memset(image.GetPixelAddress(0, y), nValue, static_cast<size_t>(nWidth) * nBPP / 8);
    return image;
}

// The one value all pixel bytes of the image hold, or -1 when they differ.
int CommonByte(const CHImage& image)
{
    const int nRowBytes = image.GetWidth() * image.GetBPP() / 8;
    const int nFirst = image.GetPixelAddress(0, 0)[0];
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int i = 0; i < nRowBytes; ++i)
            if (image.GetPixelAddress(0, y)[i] != nFirst)
                return -1;
    return nFirst;
}
}  // namespace

TEST(CHImageProcessor, WeightsBlendSecondIntoFirstTruncated)
{
    // first 255, second 0 shows truncation; first 200, second 100 the direction of the weight.
    struct
    {
        float fWeight;
        int nFromExtremes, nFromMiddle;
    } cases[] = {{0.0f, 0, 100}, {0.25f, 63, 125}, {0.5f, 127, 150}, {1.0f, 255, 200}};
    for (int nBPP : {32, 24}) {
        // Three pixels of 24 bits leave three bytes of padding per row: rows must be found by the pitch.
        const CHImage white = Filled(3, 2, nBPP, 255), black = Filled(3, 2, nBPP, 0);
        const CHImage light = Filled(3, 2, nBPP, 200), dark = Filled(3, 2, nBPP, 100);
        for (const auto& c : cases) {
            CHImage result;
            CHImageProcessor::WeightedSumImages(white, c.fWeight, black, result);
            EXPECT_EQ(CommonByte(result), c.nFromExtremes) << nBPP << " bits, weight " << c.fWeight;
            CHImageProcessor::WeightedSumImages(light, c.fWeight, dark, result);
            EXPECT_EQ(CommonByte(result), c.nFromMiddle) << nBPP << " bits, weight " << c.fWeight;
            EXPECT_EQ(result.GetBPP(), nBPP);
        }
    }
}

TEST(CHImageProcessor, ResultIsRecreatedOnlyWhenItDoesNotFit)
{
    const CHImage first = Filled(4, 3, 32, 0x80), second = Filled(4, 3, 32, 0x40);
    CHImage result;
    result.Create(5, 5, 24);
    CHImageProcessor::WeightedSumImages(first, 0.5f, second, result);
    EXPECT_EQ(result.GetWidth(), 4);
    EXPECT_EQ(result.GetHeight(), 3);
    EXPECT_EQ(result.GetBPP(), 32);
    EXPECT_TRUE(result.HasAlphaChannel()) << "first has transparency (alpha 0x80)";
    EXPECT_EQ(CommonByte(result), 0x60);

    // A result of the right size is written in place.
    const HBITMAP hBefore = result.GetHBITMAP();
    CHImageProcessor::WeightedSumImages(first, 1.0f, second, result);
    EXPECT_EQ(result.GetHBITMAP(), hBefore);
    EXPECT_EQ(CommonByte(result), 0x80);

    // An opaque first gives a result without an alpha channel.
    const CHImage opaque = Filled(4, 3, 32, 0xFF);
    CHImage fresh;
    CHImageProcessor::WeightedSumImages(opaque, 0.5f, second, fresh);
    EXPECT_FALSE(fresh.HasAlphaChannel());
}

TEST(CHImageProcessor, ImagesThatDoNotMatchAreRefused)
{
    const CHImage first = Filled(4, 3, 32, 0x80);
    const CHImage narrower = Filled(3, 3, 32, 0), lower = Filled(4, 2, 32, 0), rgb = Filled(4, 3, 24, 0);
    for (const CHImage* pSecond : {&narrower, &lower, &rgb, static_cast<const CHImage*>(nullptr)}) {
        CHImage empty;
        CHImage result = Filled(2, 2, 32, 7);
        CHException e =
            CatchThrown([&] { CHImageProcessor::WeightedSumImages(first, 0.5f, pSecond ? *pSecond : empty, result); });
        EXPECT_EQ(ErrorCodesOf(e).front(), 1010);
        EXPECT_EQ(ErrorFunctionsOf(e).back(), L"CHImageProcessor::WeightedSumImages");
        EXPECT_EQ(result.GetWidth(), 2) << "the result is left alone";
        EXPECT_EQ(CommonByte(result), 7);
    }
}
