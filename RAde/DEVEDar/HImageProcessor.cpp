#include "RAde/DEVEDar/HImageProcessor.h"

#include <algorithm>

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
