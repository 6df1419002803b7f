#include "RAde/DEVEDar/HImageProcessor.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"

void CHImageProcessor::WeightedSumImages(const CHImage& first, float fWeight, const CHImage& second, CHImage& result)
{
    HTRY {
        // Each image is read through its own rows; two images that do not
        // match pixel for pixel cannot be blended without reading past one of them.
        if (first.IsNull() || second.IsNull() || second.GetWidth() != first.GetWidth() ||
            second.GetHeight() != first.GetHeight() || second.GetBPP() != first.GetBPP() || first.GetBPP() < 8)
            throw CHException(HError::InvalidParameter, HSITE)
                .AddValue(L"FirstWidth", first.GetWidth(), false)
                .AddValue(L"FirstHeight", first.GetHeight(), false)
                .AddValue(L"SecondWidth", second.GetWidth(), false)
                .AddValue(L"SecondHeight", second.GetHeight(), false);
        const int nWidth = first.GetWidth(), nHeight = first.GetHeight(), nBytesPerPixel = first.GetBPP() / 8;
        if (result.IsNull() || result.GetWidth() != nWidth || result.GetHeight() != nHeight ||
            result.GetBPP() != first.GetBPP())
            result.Create(nWidth, nHeight, first.GetBPP(), HasTransparency(first) ? CHImage::createAlphaChannel : 0);

        ::GdiFlush();
        const float fSecondWeight = 1.0f - fWeight;
        const int nRowBytes = nWidth * nBytesPerPixel;
        for (int y = 0; y < nHeight; ++y) {
            const BYTE* pFirst = first.GetPixelAddress(0, y);
            const BYTE* pSecond = second.GetPixelAddress(0, y);
            BYTE* pResult = result.GetPixelAddress(0, y);
            for (int i = 0; i < nRowBytes; ++i) {
                const float fValue = fSecondWeight * pSecond[i] + fWeight * pFirst[i];
                pResult[i] = static_cast<BYTE>(std::clamp(static_cast<int>(fValue), 0, 255));
            }
        }
    } HCATCH
}

namespace {
// One destination pixel's taps along one axis: the first source index and a
// weight per source pixel from there on (weights sum to 1).
struct CTaps
{
    int nFirst = 0;
    std::vector<float> weights;
};

// Taps of a tent filter centred on each destination pixel's centre, mapped
// into the source. Its half-width is one source pixel when growing and one
// destination pixel (in source pixels) when shrinking.
std::vector<CTaps> TentTaps(int nSource, int nDest)
{
    const double dRatio = static_cast<double>(nSource) / nDest;
    const double dRadius = std::max(1.0, dRatio);
    std::vector<CTaps> taps(static_cast<size_t>(nDest));
    for (int d = 0; d < nDest; ++d) {
        const double dCentre = (d + 0.5) * dRatio - 0.5;
        const int nFirst = std::max(0, static_cast<int>(std::ceil(dCentre - dRadius)));
        const int nLast = std::min(nSource - 1, static_cast<int>(std::floor(dCentre + dRadius)));
        CTaps& tap = taps[static_cast<size_t>(d)];
        tap.nFirst = nFirst;
        double dSum = 0.0;
        for (int s = nFirst; s <= nLast; ++s) {
            const double dWeight = std::max(0.0, 1.0 - std::abs(s - dCentre) / dRadius);
            tap.weights.push_back(static_cast<float>(dWeight));
            dSum += dWeight;
        }
        if (dSum <= 0.0) {  // a centre past the last pixel: take the nearest one
            tap.nFirst = std::clamp(static_cast<int>(std::lround(dCentre)), 0, nSource - 1);
            tap.weights.assign(1, 1.0f);
            continue;
        }
        for (float& fWeight : tap.weights)
            fWeight = static_cast<float>(fWeight / dSum);
    }
    return taps;
}

// Premultiplied blue, green, red, alpha as floats (0..255).
using CPixel = std::array<float, 4>;

std::vector<CPixel> ReadPremultiplied(const CHImage& image, bool bPremultiplied)
{
    std::vector<CPixel> pixels(static_cast<size_t>(image.GetWidth()) * image.GetHeight());
    for (int y = 0; y < image.GetHeight(); ++y) {
        const BYTE* pRow = image.GetPixelAddress(0, y);
        for (int x = 0; x < image.GetWidth(); ++x) {
            const BYTE* p = pRow + x * 4;
            const float fAlpha = image.HasAlphaChannel() ? p[3] : 255.0f;
            const float fFactor = bPremultiplied ? 1.0f : fAlpha / 255.0f;
            pixels[static_cast<size_t>(y) * image.GetWidth() + x] = {p[0] * fFactor, p[1] * fFactor, p[2] * fFactor,
                                                                     fAlpha};
        }
    }
    return pixels;
}

BYTE ToByte(float fValue)
{
    return static_cast<BYTE>(std::clamp(static_cast<int>(std::lround(fValue)), 0, 255));
}
}  // namespace

SIZE CHImageProcessor::ScaledSize(const CHImage& image, float fScale) noexcept
{
    return SIZE{std::max(1L, std::lround(image.GetWidth() * fScale)),
                std::max(1L, std::lround(image.GetHeight() * fScale))};
}

void CHImageProcessor::Resample(const CHImage& source, int nWidth, int nHeight, CHImage& result, bool bPremultiplied)
{
    HTRY {
        if (source.IsNull() || source.GetBPP() != 32 || nWidth < 1 || nHeight < 1)
            throw CHException(HError::InvalidParameter, HSITE)
                .AddValue(L"Width", nWidth, false)
                .AddValue(L"Height", nHeight, false);
        ::GdiFlush();
        const int nSourceWidth = source.GetWidth(), nSourceHeight = source.GetHeight();
        const std::vector<CPixel> input = ReadPremultiplied(source, bPremultiplied);
        const bool bAlpha = source.HasAlphaChannel();

        // Rows first, into a buffer of the new width and the old height.
        const std::vector<CTaps> columns = TentTaps(nSourceWidth, nWidth);
        std::vector<CPixel> wide(static_cast<size_t>(nWidth) * nSourceHeight);
        for (int y = 0; y < nSourceHeight; ++y)
            for (int x = 0; x < nWidth; ++x) {
                const CTaps& tap = columns[static_cast<size_t>(x)];
                CPixel sum = {};
                for (size_t i = 0; i < tap.weights.size(); ++i) {
                    const CPixel& in = input[static_cast<size_t>(y) * nSourceWidth + tap.nFirst + i];
                    for (int c = 0; c < 4; ++c)
                        sum[c] += in[c] * tap.weights[i];
                }
                wide[static_cast<size_t>(y) * nWidth + x] = sum;
            }

        CHImage scaled;
        scaled.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
        scaled.SetHasAlphaChannel(bAlpha);
        const std::vector<CTaps> rows = TentTaps(nSourceHeight, nHeight);
        for (int y = 0; y < nHeight; ++y) {
            const CTaps& tap = rows[static_cast<size_t>(y)];
            BYTE* pRow = scaled.GetPixelAddress(0, y);
            for (int x = 0; x < nWidth; ++x) {
                CPixel sum = {};
                for (size_t i = 0; i < tap.weights.size(); ++i) {
                    const CPixel& in = wide[(tap.nFirst + i) * static_cast<size_t>(nWidth) + x];
                    for (int c = 0; c < 4; ++c)
                        sum[c] += in[c] * tap.weights[i];
                }
                const float fAlpha = bAlpha ? sum[3] : 255.0f;
                // Straight pixels get their colour back from the alpha-weighted average.
                const float fFactor = bPremultiplied || fAlpha <= 0.0f ? 1.0f : 255.0f / fAlpha;
                BYTE* p = pRow + x * 4;
                const BYTE nAlpha = ToByte(fAlpha);
                for (int c = 0; c < 3; ++c)
                    p[c] = bPremultiplied ? std::min(ToByte(sum[c] * fFactor), nAlpha) : ToByte(sum[c] * fFactor);
                p[3] = nAlpha;
            }
        }
        result = scaled;
    } HCATCH
}
