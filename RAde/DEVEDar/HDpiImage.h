// Skin images that are drawn at their own size (spinner frames, caption
// buttons, check and radio images, frame edges, sliced images whose caps keep
// their size), made ready for the screen's DPI scale once, when they are
// loaded: above a scale of 1 an image is resampled to its size times the
// scale. A skin may ship a larger picture beside the plain one, named with
// "@2x" before ".png" ("anim_wait_1@2x.png"); from a scale of 1.5 on that one
// is resampled instead of the plain one, so fine lines stay sharp. Either way
// the result is the plain image's size times the scale, so a layout never
// depends on which file was there. At a scale of 1 nothing changes.
#pragma once

#include <string>

class CHImage;

class CHDpiImage
{
public:
    // Scales from which the larger picture is used.
    static constexpr float kLargeImageFrom = 1.5f;

    // The larger picture's path: "@2x" put before a final ".png" (any case);
    // empty for a name without it.
    static std::wstring LargeImagePath(const std::wstring& strPath);
    // Whether a larger picture is about twice the plain one (one pixel either way).
    static bool IsAboutTwice(const CHImage& large, const CHImage& plain) noexcept;
    // Resamples the image to its size times fScale when fScale is above 1.
    static void ScaleForDpi(CHImage& image, float fScale, bool bPremultiplied);
    // Loads the file (premultiplied on request) and scales it for fScale, from
    // the larger picture when there is one and fScale is 1.5 or more. A larger
    // picture that cannot be decoded throws as the plain one would; one of
    // another size than twice the plain one is logged at WARNING and used.
    static void Load(CHImage& image, const std::wstring& strPath, float fScale, bool bPremultiply);
};
