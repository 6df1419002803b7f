#include <gtest/gtest.h>

#include "AnimationTestSupport.h"
#include "RAde/DEVEDar/HBackBuffer.h"

using namespace AnimationTest;

namespace {
constexpr DWORD kMarker = Bgra(1, 2, 3, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A 64 x 48 target image, filled with the marker, with its device context.
class CTarget
{
public:
    CTarget() : m_image(SolidImage(64, 48, kMarker)), m_hDC(m_image.GetDC()) {}
    ~CTarget() { m_image.ReleaseDC(); }
    CTarget(const CTarget&) = delete;
    CTarget& operator=(const CTarget&) = delete;

    CHImage m_image;
    HDC m_hDC;
};

void FillSolid(HDC hDC, const RECT& rc, COLORREF cr)
{
    HBRUSH hBrush = ::CreateSolidBrush(cr);
    ::FillRect(hDC, &rc, hBrush);
    ::DeleteObject(hBrush);
}
}  // namespace

TEST(CHBackBuffer, DisabledDrawsStraightIntoTheTarget)
{
    CTarget target;
    CHBackBuffer buffer;
    EXPECT_FALSE(buffer.IsEnabled());
    const RECT rc{0, 0, 20, 20};
    EXPECT_EQ(buffer.Begin(target.m_hDC, rc), target.m_hDC);
    EXPECT_FALSE(buffer.IsInUse());
    buffer.End();
    EXPECT_TRUE(buffer.GetImage().IsNull());
}

TEST(CHBackBuffer, DrawsOffScreenWithTheTargetsCoordinatesAndCopiesOnTheOutermostEnd)
{
    CTarget target;
    CHBackBuffer buffer;
    buffer.Enable(true);
    const RECT rc{10, 20, 50, 40};
    HDC hDC = buffer.Begin(target.m_hDC, rc);
    ASSERT_NE(hDC, target.m_hDC);
    EXPECT_EQ(buffer.GetImage().GetWidth(), 40);
    EXPECT_EQ(buffer.GetImage().GetHeight(), 20);
    FillSolid(hDC, rc, RGB(255, 0, 0));
    FillSolid(hDC, RECT{30, 30, 31, 31}, kBlue);

    // A nested Begin shares the buffer; its End copies nothing yet.
    EXPECT_EQ(buffer.Begin(nullptr, RECT{0, 0, 5, 5}), hDC);
    buffer.End();
    EXPECT_TRUE(buffer.IsInUse());
    EXPECT_EQ(PixelAt(target.m_image, 30, 30), kMarker);

    buffer.End();
    EXPECT_FALSE(buffer.IsInUse());
    EXPECT_TRUE(ColourNear(PixelAt(target.m_image, 10, 20), PixelOf(RGB(255, 0, 0))));
    EXPECT_TRUE(ColourNear(PixelAt(target.m_image, 49, 39), PixelOf(RGB(255, 0, 0))));
    EXPECT_TRUE(ColourNear(PixelAt(target.m_image, 30, 30), PixelOf(kBlue)));
    // Outside the rectangle the target is untouched.
    EXPECT_EQ(PixelAt(target.m_image, 9, 20), kMarker);
    EXPECT_EQ(PixelAt(target.m_image, 10, 19), kMarker);
    EXPECT_EQ(PixelAt(target.m_image, 50, 39), kMarker);
    EXPECT_EQ(PixelAt(target.m_image, 49, 40), kMarker);
}

TEST(CHBackBuffer, KeepsItsImageWhileTheSizeStaysAndUndoesThePaintersChanges)
{
    CTarget target;
    ::SetBrushOrgEx(target.m_hDC, 3, 5, nullptr);
    CHBackBuffer buffer;
    buffer.Enable(true);

    HDC hDC = buffer.Begin(target.m_hDC, RECT{0, 0, 16, 16});
    const HBITMAP hFirst = buffer.GetImage().GetHBITMAP();
    POINT ptBrush{};
    ::GetBrushOrgEx(hDC, &ptBrush);
    EXPECT_EQ(ptBrush.x, 3);
    EXPECT_EQ(ptBrush.y, 5);
    ::SetTextColor(hDC, kBlue);
    ::SetViewportOrgEx(hDC, 7, 7, nullptr);
    buffer.End();

    // Another rectangle of the same size: the same image, a clean device context.
    hDC = buffer.Begin(target.m_hDC, RECT{4, 2, 20, 18});
    EXPECT_EQ(buffer.GetImage().GetHBITMAP(), hFirst);
    EXPECT_EQ(::GetTextColor(hDC), RGB(0, 0, 0));
    POINT ptViewport{};
    ::GetViewportOrgEx(hDC, &ptViewport);
    EXPECT_EQ(ptViewport.x, -4);
    EXPECT_EQ(ptViewport.y, -2);
    buffer.End();

    buffer.Begin(target.m_hDC, RECT{0, 0, 30, 16});
    EXPECT_EQ(buffer.GetImage().GetWidth(), 30);
    buffer.End();

    // An empty rectangle is never buffered.
    EXPECT_EQ(buffer.Begin(target.m_hDC, RECT{5, 5, 5, 9}), target.m_hDC);
    EXPECT_FALSE(buffer.IsInUse());
    buffer.End();
}
