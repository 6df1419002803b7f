// Pixel arithmetic on whole images.
#pragma once

#include <windows.h>

class CHImage;

class CHImageProcessor
{
public:
    // result = (1 - fWeight) * second + fWeight * first, byte by byte (truncated).
    // result is (re)created with first's size and depth when it is empty or of
    // another size. first and second must have the same size.
    static void WeightedSumImages(const CHImage& first, float fWeight, const CHImage& second, CHImage& result);

    // result = source resampled to nWidth x nHeight (32 bits, alpha kept) with
    // a tent filter as wide as a source pixel or a destination pixel,
    // whichever is larger: smooth when growing, every source pixel counted
    // when shrinking. Colours are averaged weighted by alpha, so transparent
    // pixels lend no colour to an edge; bPremultiplied says which kind of
    // pixels source holds, and result holds the same kind. source and result
    // may be the same image. Throws for an empty or non-32-bit source or a
    // size below 1.
    static void Resample(const CHImage& source, int nWidth, int nHeight, CHImage& result, bool bPremultiplied);
    // The image's own size times fScale, rounded, never below 1 pixel.
    static SIZE ScaledSize(const CHImage& image, float fScale) noexcept;
};
