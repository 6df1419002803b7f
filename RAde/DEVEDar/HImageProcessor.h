// Pixel arithmetic on whole images.
#pragma once

class CHImage;

class CHImageProcessor
{
public:
    // result = (1 - fWeight) * second + fWeight * first, byte by byte (truncated).
    // result is (re)created with first's size and depth when it is empty or of
    // another size. first and second must have the same size.
    static void WeightedSumImages(const CHImage& first, float fWeight, const CHImage& second, CHImage& result);
};
