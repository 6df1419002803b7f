// Text drawn into a rectangle: right-to-left lines sit where their alignment
// puts them by the width they are drawn with, wrapped to the rectangle.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AnimationTestSupport.h"
#include "RAde/DEVEDar/HFont.h"
#include "RAde/DEVEDar/HGUIHelpers.h"
#include "RAde/DEVEDar/HImage.h"

using namespace AnimationTest;

namespace {
// "Removing the temporary installation files." in Arabic: joined letters,
// drawn far narrower than their separate forms measure.
const std::wstring kArabic = L"\u062C\u0627\u0631\u064D \u062D\u0630\u0641 \u0645\u0644\u0641\u0627\u062A "
                             L"\u0627\u0644\u062A\u062B\u0628\u064A\u062A \u0627\u0644\u0645\u0624\u0642\u062A\u0629.";

// The columns and rows holding ink (black on white) in the image.
struct CInk
{
    int nLeft = -1, nRight = -1, nTop = -1, nBottom = -1;
    int nRows = 0;  // rows of text: runs of inked rows
};

CInk InkOf(const CHImage& image)
{
    CInk ink;
    bool bInRun = false;
    for (int y = 0; y < image.GetHeight(); ++y) {
        bool bRowInked = false;
        for (int x = 0; x < image.GetWidth(); ++x) {
            if ((PixelAt(image, x, y) & 0xFFFFFF) == 0xFFFFFF)
                continue;
            bRowInked = true;
            ink.nLeft = ink.nLeft < 0 ? x : std::min(ink.nLeft, x);
            ink.nRight = std::max(ink.nRight, x + 1);
            ink.nTop = ink.nTop < 0 ? y : ink.nTop;
            ink.nBottom = y + 1;
        }
        ink.nRows += bRowInked && !bInRun ? 1 : 0;
        bInRun = bRowInked;
    }
    return ink;
}

CInk Draw(const std::wstring& strText, const RECT& rc, UINT nFormat)
{
    CHImage image = SolidImage(400, 120, Bgra(255, 255, 255, 255));
    CHFont font;
    font.CreatePt(10, L"MS Shell Dlg 2");
    CHImageDC dc(image);
    ::SelectObject(dc.Get(), font.GetHandle());
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), RGB(0, 0, 0));
    DrawTextInRect(dc.Get(), strText, rc, nFormat);
    ::SelectObject(dc.Get(), ::GetStockObject(SYSTEM_FONT));
    return InkOf(image);
}
}  // namespace

TEST(DrawTextInRect, RightToLeftLinesSitByTheirDrawnWidth)
{
    const RECT rc{20, 10, 380, 110};
    const struct
    {
        const char* pszCase;
        std::wstring strText;
        RECT rc;
        UINT nFormat;
        int nRows;
    } cases[] = {
        {"centred", kArabic, rc, DT_CENTER | DT_WORDBREAK | DT_RTLREADING, 1},
        {"right-aligned", kArabic, rc, DT_RIGHT | DT_WORDBREAK | DT_RTLREADING, 1},
        {"two lines, centred", kArabic + L"\n" + kArabic, rc, DT_CENTER | DT_WORDBREAK | DT_RTLREADING, 2},
        {"wrapped into a narrow place", kArabic, RECT{150, 10, 250, 110}, DT_CENTER | DT_WORDBREAK | DT_RTLREADING, 2},
        {"single line, centred vertically", kArabic, rc, DT_CENTER | DT_SINGLELINE | DT_VCENTER | DT_RTLREADING, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        const CInk ink = Draw(c.strText, c.rc, c.nFormat);
        ASSERT_GE(ink.nLeft, 0) << "no ink";
        EXPECT_GE(ink.nRows, c.nRows);
        EXPECT_GE(ink.nLeft, c.rc.left - 1);
        EXPECT_LE(ink.nRight, c.rc.right + 1);
        if (c.nFormat & DT_RIGHT) {
            EXPECT_NEAR(ink.nRight, c.rc.right, 3);
        } else {
            EXPECT_NEAR((ink.nLeft + ink.nRight) / 2.0, (c.rc.left + c.rc.right) / 2.0, 3.0);
        }
        if (c.nFormat & DT_VCENTER) {
            EXPECT_NEAR((ink.nTop + ink.nBottom) / 2.0, (c.rc.top + c.rc.bottom) / 2.0, 4.0);
        }
    }
}
