#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "RAde/DEVEDar/HFont.h"

namespace {
LOGFONTW LogFontOf(const CHFont& font)
{
    LOGFONTW logFont = {};
    EXPECT_EQ(::GetObjectW(font.GetHandle(), sizeof(logFont), &logFont), static_cast<int>(sizeof(logFont)));
    return logFont;
}
}  // namespace

TEST(CHFont, PointSizeWithoutDeviceContextAt96DotsPerInch)
{
    CHFont font;
    EXPECT_TRUE(font.IsNull());
    font.CreatePt(9, L"Tahoma");
    ASSERT_FALSE(font.IsNull());
    EXPECT_EQ(static_cast<HFONT>(font), font.GetHandle());
    const LOGFONTW logFont = LogFontOf(font);
    EXPECT_EQ(logFont.lfHeight, -12);
    EXPECT_EQ(logFont.lfWidth, 0);
    EXPECT_EQ(logFont.lfEscapement, 0);
    EXPECT_EQ(logFont.lfWeight, 400);
    EXPECT_EQ(logFont.lfItalic, 0);
    EXPECT_EQ(logFont.lfUnderline, 0);
    EXPECT_EQ(logFont.lfStrikeOut, 0);
    EXPECT_EQ(logFont.lfCharSet, 1);
    EXPECT_EQ(logFont.lfOutPrecision, 2);
    EXPECT_EQ(logFont.lfClipPrecision, 0);
    EXPECT_EQ(logFont.lfQuality, 5);
    EXPECT_EQ(logFont.lfPitchAndFamily, 0);
    EXPECT_STREQ(logFont.lfFaceName, L"Tahoma");

    // Rounded to the nearest pixel: 10 pt is 13.33, 11 pt 14.67.
    font.CreatePt(10, L"Tahoma");
    EXPECT_EQ(LogFontOf(font).lfHeight, -13);
    font.CreatePt(11, L"Tahoma");
    EXPECT_EQ(LogFontOf(font).lfHeight, -15);
}

TEST(CHFont, FlagsAndQuality)
{
    struct
    {
        DWORD dwFlags;
        LONG nWeight;
        BYTE nItalic, nUnderline, nQuality;
    } cases[] = {
        {CHFont::fontBold, 700, 0, 0, 5},
        {CHFont::fontItalic, 400, 1, 0, 5},
        {CHFont::fontUnderline, 400, 0, 1, 5},
        {CHFont::fontDraftQuality, 400, 0, 0, 1},
        {0x0F, 700, 1, 1, 1},
    };
    for (const auto& c : cases) {
        CHFont font;
        font.CreatePt(9, L"Arial", nullptr, c.dwFlags);
        const LOGFONTW logFont = LogFontOf(font);
        EXPECT_EQ(logFont.lfWeight, c.nWeight) << c.dwFlags;
        EXPECT_EQ(logFont.lfItalic, c.nItalic) << c.dwFlags;
        EXPECT_EQ(logFont.lfUnderline, c.nUnderline) << c.dwFlags;
        EXPECT_EQ(logFont.lfQuality, c.nQuality) << c.dwFlags;
        EXPECT_EQ(logFont.lfStrikeOut, 0) << c.dwFlags;
    }

    CHFont font;
    font.m_nQuality = ANTIALIASED_QUALITY;
    font.CreatePt(9, L"Arial");
    EXPECT_EQ(LogFontOf(font).lfQuality, ANTIALIASED_QUALITY);
    const HFONT hOld = font.GetHandle();
    font.CreatePt(12, L"Arial");
    EXPECT_NE(font.GetHandle(), hOld);
    EXPECT_EQ(::GetObjectType(hOld), 0u) << "the old font is deleted";
}

TEST(CHFont, DeviceContextResolutionAndMappingMode)
{
    HDC hDC = ::CreateCompatibleDC(nullptr);
    ASSERT_NE(hDC, nullptr);
    const int nDpi = ::GetDeviceCaps(hDC, LOGPIXELSY);
    auto expected = [&](double dScale, int nPoints) {
        return -static_cast<LONG>(std::floor(nDpi * dScale * nPoints / 72.0 + 0.5));
    };
    CHFont font;
    font.CreatePt(9, L"Arial", hDC);
    EXPECT_EQ(LogFontOf(font).lfHeight, expected(1.0, 9));

    // Three logical units for every two device pixels: the font grows by 3 / 2.
    ::SetMapMode(hDC, MM_ANISOTROPIC);
    ::SetWindowExtEx(hDC, 1, 3, nullptr);
    ::SetViewportExtEx(hDC, 1, 2, nullptr);
    font.CreatePt(9, L"Arial", hDC);
    EXPECT_EQ(LogFontOf(font).lfHeight, expected(1.5, 9));
    EXPECT_EQ(LogFontOf(font).lfHeight, -18) << "at 96 dots per inch";

    // A y axis pointing up still asks for the character height.
    ::SetViewportExtEx(hDC, 1, -2, nullptr);
    font.CreatePt(9, L"Arial", hDC);
    EXPECT_EQ(LogFontOf(font).lfHeight, expected(1.5, 9));
    ::DeleteDC(hDC);
}

TEST(CHFont, SizesNoFontHeightCanHoldLeaveTheHandleEmpty)
{
    CHFont font;
    font.CreatePt(9, L"Arial");
    ASSERT_FALSE(font.IsNull());
    // About 2.9e9 pixels at 96 dots per inch, either way round.
    for (int nPoints : {INT_MAX, INT_MIN}) {
        font.CreatePt(nPoints, L"Arial");
        EXPECT_TRUE(font.IsNull()) << nPoints;
    }

    // A mapping mode that magnifies the page takes an ordinary size out of range too.
    HDC hDC = ::CreateCompatibleDC(nullptr);
    ASSERT_NE(hDC, nullptr);
    ::SetMapMode(hDC, MM_ANISOTROPIC);
    ::SetWindowExtEx(hDC, 1, 100000, nullptr);
    ::SetViewportExtEx(hDC, 1, 1, nullptr);
    font.CreatePt(9, L"Arial", hDC);
    EXPECT_EQ(LogFontOf(font).lfHeight, -static_cast<LONG>(::GetDeviceCaps(hDC, LOGPIXELSY)) * 100000 * 9 / 72);
    font.CreatePt(30000, L"Arial", hDC);
    EXPECT_TRUE(font.IsNull());
    ::DeleteDC(hDC);

    font.CreatePt(9, L"Arial");
    EXPECT_EQ(LogFontOf(font).lfHeight, -12) << "the next font is made as usual";
}
