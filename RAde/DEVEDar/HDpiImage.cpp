#include "RAde/DEVEDar/HDpiImage.h"

#include <cstdlib>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImageProcessor.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {
constexpr wchar_t kPngSuffix[] = L".png";
constexpr size_t kPngSuffixLength = 4;

// Scales so close to 1 that no pixel would move count as 1.
bool NeedsScaling(float fScale)
{
    return fScale > 1.001f;
}
}  // namespace

std::wstring CHDpiImage::LargeImagePath(const std::wstring& strPath)
{
    if (strPath.size() <= kPngSuffixLength ||
        !CHStringHelper::EqualsNoCase(strPath.substr(strPath.size() - kPngSuffixLength), kPngSuffix))
        return std::wstring();
    return strPath.substr(0, strPath.size() - kPngSuffixLength) + L"@2x" +
           strPath.substr(strPath.size() - kPngSuffixLength);
}

bool CHDpiImage::IsAboutTwice(const CHImage& large, const CHImage& plain) noexcept
{
    return std::abs(large.GetWidth() - 2 * plain.GetWidth()) <= 1 &&
           std::abs(large.GetHeight() - 2 * plain.GetHeight()) <= 1;
}

void CHDpiImage::ScaleForDpi(CHImage& image, float fScale, bool bPremultiplied)
{
    HTRY {
        if (image.IsNull() || !NeedsScaling(fScale))
            return;
        const SIZE size = CHImageProcessor::ScaledSize(image, fScale);
        CHImageProcessor::Resample(image, size.cx, size.cy, image, bPremultiplied);
    } HCATCH
}

void CHDpiImage::Load(CHImage& image, const std::wstring& strPath, float fScale, bool bPremultiply)
{
    HTRY {
        image.Load(strPath);
        if (bPremultiply)
            PremultiplyAlpha(image);
        if (!NeedsScaling(fScale))
            return;
        const SIZE size = CHImageProcessor::ScaledSize(image, fScale);
        const std::wstring strLarge = LargeImagePath(strPath);
        if (fScale < kLargeImageFrom || strLarge.empty() || !CHFileUtilities::FileExists(strLarge)) {
            CHImageProcessor::Resample(image, size.cx, size.cy, image, bPremultiply);
            return;
        }
        CHImage large;
        large.Load(strLarge);
        if (bPremultiply)
            PremultiplyAlpha(large);
        if (!IsAboutTwice(large, image))
            CHLogging::LogWarning(L"%s is %d x %d pixels, not twice %d x %d: it is scaled to fit\n", strLarge.c_str(),
                                  large.GetWidth(), large.GetHeight(), image.GetWidth(), image.GetHeight());
        if (large.GetWidth() == size.cx && large.GetHeight() == size.cy) {
            image = large;
            return;
        }
        CHImageProcessor::Resample(large, size.cx, size.cy, image, bPremultiply);
    } HCATCH
}
