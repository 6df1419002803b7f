#include <gtest/gtest.h>

#include <ole2.h>

#include <algorithm>

#include "AnimationTestSupport.h"
#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HTransparentFrame.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "TestSupport.h"

using namespace AnimationTest;

namespace {
constexpr COLORREF kParentBrush = RGB(255, 0, 0);
constexpr DWORD kGreen = Bgra(0, 255, 0, 255);
constexpr DWORD kBlue = Bgra(255, 0, 0, 255);
constexpr DWORD kMarker = Bgra(1, 2, 3, 0);

// A visible top-level window whose static controls get a red brush.
class CParent : public CHWindowImpl
{
public:
    CParent() : m_hBrush(::CreateSolidBrush(kParentBrush))
    {
        RECT rc{40, 40, 340, 240};
        Create(nullptr, &rc, L"frame parent", WS_POPUP, WS_EX_TOOLWINDOW);
        // Shown without activation: activating a window under Xvfb without a
        // window manager makes Wine wait for a focus change that never comes.
        ::ShowWindow(m_hWnd, SW_SHOWNA);
    }

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM, LPARAM, LRESULT& lResult) override
    {
        if (uMsg != WM_CTLCOLORSTATIC)
            return FALSE;
        lResult = reinterpret_cast<LRESULT>(m_hBrush.Get());
        return TRUE;
    }

    CHBrushHandle m_hBrush;
};

// A static control of the parent, subclassed by a frame.
class CFrameFixture : public ::testing::Test
{
protected:
    void MakeFrame(int x, int y, int nWidth, int nHeight, DWORD dwStyle = SS_LEFT)
    {
        m_hStatic = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | dwStyle, x, y, nWidth, nHeight,
                                      m_parent, nullptr, nullptr, nullptr);
        ASSERT_NE(m_hStatic, nullptr);
        ASSERT_TRUE(m_frame.SubclassWindow(m_hStatic));
    }
    void SetUp() override { MakeFrame(10, 10, 40, 30); }

    // Paints the frame with WM_PAINT into an image of its size (filled with
    // the marker first) and returns the image.
    CHImage PaintIntoImage()
    {
        RECT rc{};
        ::GetClientRect(m_frame, &rc);
        CHImage target = SolidImage(rc.right, rc.bottom, kMarker);
        ::InvalidateRect(m_frame, nullptr, FALSE);
        ::SendMessageW(m_frame, WM_PAINT, reinterpret_cast<WPARAM>(target.GetDC()), 0);
        target.ReleaseDC();
        return target;
    }

    CParent m_parent;
    HWND m_hStatic = nullptr;
    CHTransparentFrame m_frame;
};

// An image of the frame's size: the left half opaque green, columns 20..29
// white at half alpha, columns 30..39 fully transparent (straight alpha).
CHImage HalvesImage()
{
    CHImage image = SolidImage(40, 30, kGreen);
    for (int y = 0; y < 30; ++y)
        for (int x = 20; x < 40; ++x)
            *reinterpret_cast<DWORD*>(image.GetPixelAddress(x, y)) = x < 30 ? Bgra(255, 255, 255, 128) : 0;
    return image;
}

// The columns in which some pixel differs from dwBackground, as [first, last];
// (-1, -1) when none.
std::pair<int, int> InkColumns(const CHImage& image, DWORD dwBackground)
{
    int nFirst = -1, nLast = -1;
    for (int x = 0; x < image.GetWidth(); ++x)
        for (int y = 0; y < image.GetHeight(); ++y)
            if (!ColourNear(PixelAt(image, x, y), dwBackground, 8)) {
                if (nFirst < 0)
                    nFirst = x;
                nLast = x;
                break;
            }
    return {nFirst, nLast};
}

// An OLE object that only records where it was asked to draw itself.
class CRecordingViewObject : public IViewObject
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IViewObject) {
            *ppv = static_cast<IViewObject*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_nRefs; }
    HRESULT STDMETHODCALLTYPE Draw(DWORD dwAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL prcBounds, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override
    {
        ++m_nDraws;
        m_dwAspect = dwAspect;
        if (prcBounds != nullptr)
            m_rcBounds = RECT{prcBounds->left, prcBounds->top, prcBounds->right, prcBounds->bottom};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD, DWORD, IAdviseSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD*, DWORD*, IAdviseSink**) override { return E_NOTIMPL; }

    ULONG m_nRefs = 1;
    int m_nDraws = 0;
    DWORD m_dwAspect = 0;
    RECT m_rcBounds{};
};

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
}  // namespace

TEST_F(CFrameFixture, PaintsItsOwnPremultipliedImageOverTheParentsStaticBrush)
{
    m_frame.m_nMode = 0;
    m_frame.LoadImageW(HalvesImage());
    // Loading premultiplies: white at half alpha becomes grey.
    EXPECT_TRUE(ColourNear(PixelAt(m_frame.GetOwnImage(), 25, 5), Bgra(128, 128, 128, 128), 1));

    CHImage painted = PaintIntoImage();
    EXPECT_FALSE(::GetUpdateRect(m_frame, nullptr, FALSE)) << "painting left the frame invalid";
    EXPECT_TRUE(ColourNear(PixelAt(painted, 0, 0), kGreen));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 19, 29), kGreen));
    // Half alpha over red: the premultiplied grey plus half of the red.
    EXPECT_TRUE(ColourNear(PixelAt(painted, 25, 15), Bgra(128, 128, 255, 0), 2));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 35, 15), PixelOf(kParentBrush)));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 39, 29), PixelOf(kParentBrush)));

    // Without an update region WM_PAINT paints nothing.
    CHImage untouched = SolidImage(40, 30, kMarker);
    ::SendMessageW(m_frame, WM_PAINT, reinterpret_cast<WPARAM>(untouched.GetDC()), 0);
    untouched.ReleaseDC();
    EXPECT_EQ(PixelAt(untouched, 0, 0), kMarker);

    // WM_PRINTCLIENT paints whatever the update region.
    CHImage printed = SolidImage(40, 30, kMarker);
    ::SendMessageW(m_frame, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(printed.GetDC()), PRF_CLIENT);
    printed.ReleaseDC();
    EXPECT_TRUE(ColourNear(PixelAt(printed, 0, 0), kGreen));
    EXPECT_TRUE(ColourNear(PixelAt(printed, 35, 15), PixelOf(kParentBrush)));
}

TEST_F(CFrameFixture, DefaultNineSlicesLeaveTheCentreToTheParentsBrush)
{
    EXPECT_EQ(m_frame.m_nMode, 4);
    EXPECT_EQ(m_frame.m_dCapRatio, 0.25);
    m_frame.LoadImageW(SolidImage(8, 8, kBlue));
    CHImage painted = PaintIntoImage();
    // Caps of 2 pixels at the corners, edges stretched along the border.
    EXPECT_TRUE(ColourNear(PixelAt(painted, 0, 0), kBlue));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 39, 29), kBlue));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 20, 1), kBlue));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 1, 15), kBlue));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 20, 15), PixelOf(kParentBrush)));
    EXPECT_TRUE(ColourNear(PixelAt(painted, 2, 2), PixelOf(kParentBrush)));
}

TEST_F(CFrameFixture, BackgroundBrushFillsUnderTheImageWhenAsked)
{
    m_frame.m_nMode = 0;
    m_frame.LoadImageW(HalvesImage());
    m_frame.SetBackgroundBrush(CHBrushHandle(::CreateSolidBrush(RGB(0, 0, 255))), false);
    EXPECT_TRUE(ColourNear(PixelAt(PaintIntoImage(), 35, 15), PixelOf(kParentBrush)));
    m_frame.SetBackgroundBrush(CHBrushHandle(::CreateSolidBrush(RGB(0, 0, 255))), true);
    EXPECT_TRUE(ColourNear(PixelAt(PaintIntoImage(), 35, 15), PixelOf(RGB(0, 0, 255))));
}

TEST_F(CFrameFixture, ShowsTheSetsImageWhileItRunsAndItsOwnImageOtherwise)
{
    m_frame.m_nMode = 0;
    m_frame.LoadImageW(SolidImage(40, 30, kGreen));
    CHImage blue = SolidImage(40, 30, kBlue);
    CHImageAnimationSet set;
    set.CreateAnim(0).m_frames = {&blue};
    set.m_delays = {1000};

    m_frame.SetAnimation(&set, false);
    EXPECT_TRUE(m_frame.HasAnimation());
    ASSERT_EQ(set.m_clients.size(), 1u);
    EXPECT_EQ(set.m_clients[0], m_hStatic);
    EXPECT_EQ(set.GetOwner(), nullptr);

    EXPECT_TRUE(ColourNear(PixelAt(PaintIntoImage(), 5, 5), kGreen)) << "stopped set";
    set.Start();
    EXPECT_TRUE(ColourNear(PixelAt(PaintIntoImage(), 5, 5), kBlue)) << "running set";
    set.Stop();
    EXPECT_TRUE(ColourNear(PixelAt(PaintIntoImage(), 5, 5), kGreen)) << "stopped again";

    m_frame.SetAnimation(nullptr, false);
    EXPECT_FALSE(m_frame.HasAnimation());
    EXPECT_TRUE(set.m_clients.empty());
}

TEST_F(CFrameFixture, AnEmptyFrameOfARunningSetLetsTheOleObjectShowInsteadOfTheOwnImage)
{
    m_frame.m_nMode = 0;
    m_frame.LoadImageW(SolidImage(40, 30, kGreen));
    CRecordingViewObject object;
    m_frame.SetOleObject(&object, 0.0f);
    CHImage empty;
    CHImageAnimationSet set;
    set.CreateAnim(0).m_frames = {&empty};
    set.m_delays = {1000};
    m_frame.SetAnimation(&set, false);

    set.Start();
    EXPECT_EQ(m_frame.GetImg(), &empty);
    CHImage painted = PaintIntoImage();
    EXPECT_TRUE(ColourNear(PixelAt(painted, 5, 5), PixelOf(kParentBrush))) << "the frame's own image showed";
    EXPECT_EQ(object.m_nDraws, 1);

    set.Stop();
    EXPECT_EQ(m_frame.GetImg(), &m_frame.GetOwnImage());
    m_frame.SetAnimation(nullptr, false);
    m_frame.ClearImage();  // the object dies before the frame
    EXPECT_EQ(object.m_nRefs, 1u);
}

TEST_F(CFrameFixture, AsTimerOwnerStepsTheSetOnTimer21AndGivesTheTimerUpWhenDetached)
{
    CHImage green = SolidImage(40, 30, kGreen);
    CHImage blue = SolidImage(40, 30, kBlue);
    CHImageAnimationSet set;
    set.CreateAnim(0).m_frames = {&green, &blue};
    set.m_delays = {20, 20};
    m_frame.SetAnimation(&set, true);
    EXPECT_EQ(set.GetOwner(), m_hStatic);

    set.Start();
    ASSERT_TRUE(PumpMessagesUntil([&] { return set.GetCycles() >= 1; }));
    // A timer of another id is the control's business, not the set's.
    const int nFrame = set.GetFrameIndex();
    ::SendMessageW(m_frame, WM_TIMER, 7, 0);
    EXPECT_EQ(set.GetFrameIndex(), nFrame);

    m_frame.SetAnimation(nullptr, false);
    EXPECT_EQ(set.GetOwner(), nullptr);
    EXPECT_EQ(set.GetTimerId(), 0u);
    EXPECT_TRUE(set.IsRunning());

    // Destroying the window detaches it as well.
    m_frame.SetAnimation(&set, true);
    ::DestroyWindow(m_hStatic);
    EXPECT_EQ(set.GetOwner(), nullptr);
    EXPECT_TRUE(set.m_clients.empty());
    EXPECT_FALSE(m_frame.HasAnimation());
}

TEST_F(CFrameFixture, PaintsAtItsPlaceInAnExternalDeviceContext)
{
    m_frame.m_nMode = 0;
    m_frame.LoadImageW(SolidImage(40, 30, kGreen));
    CHImage parentImage = SolidImage(100, 60, kMarker);
    m_frame.SetExternalDC(parentImage.GetDC());
    ::InvalidateRect(m_frame, nullptr, FALSE);
    ::SendMessageW(m_frame, WM_PAINT, 0, 0);
    m_frame.SetExternalDC(nullptr);
    parentImage.ReleaseDC();

    EXPECT_FALSE(::GetUpdateRect(m_frame, nullptr, FALSE));
    EXPECT_TRUE(ColourNear(PixelAt(parentImage, 10, 10), kGreen));
    EXPECT_TRUE(ColourNear(PixelAt(parentImage, 49, 39), kGreen));
    EXPECT_EQ(PixelAt(parentImage, 9, 10), kMarker);
    EXPECT_EQ(PixelAt(parentImage, 50, 39), kMarker);
    EXPECT_EQ(PixelAt(parentImage, 49, 40), kMarker);
}

TEST_F(CFrameFixture, OnScreenPaintShowsTheImage)
{
    m_frame.m_nMode = 0;
    m_frame.LoadImageW(HalvesImage());
    ::UpdateWindow(m_parent);
    ::InvalidateRect(m_frame, nullptr, TRUE);
    ::UpdateWindow(m_frame);
    EXPECT_FALSE(::GetUpdateRect(m_frame, nullptr, FALSE));

    // Read the frame's pixels back from its window device context.
    CHImage screen = SolidImage(40, 30, kMarker);
    HDC hWindowDC = ::GetDC(m_frame);
    ::BitBlt(screen.GetDC(), 0, 0, 40, 30, hWindowDC, 0, 0, SRCCOPY);
    screen.ReleaseDC();
    ::ReleaseDC(m_frame, hWindowDC);
    EXPECT_TRUE(ColourNear(PixelAt(screen, 5, 5), kGreen));
    EXPECT_TRUE(ColourNear(PixelAt(screen, 35, 5), PixelOf(kParentBrush)));
}

TEST_F(CFrameFixture, TextFollowsTheStaticStyleAndTheMargins)
{
    struct CCase
    {
        const char* pszName;
        DWORD dwStyle;
        int nLeftMargin;
    };
    const CCase cases[] = {{"left", SS_LEFT, 0},
                           {"left, margin 60", SS_LEFT, 60},
                           {"centre", SS_CENTER, 0},
                           {"right", SS_RIGHT, 0},
                           {"simple", SS_SIMPLE, 0}};
    std::pair<int, int> ink[5];
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(cases[i].pszName);
        m_frame.DestroyWindow();
        MakeFrame(10, 10, 200, 24, cases[i].dwStyle);
        m_frame.SetText(L"WWW");
        m_frame.SetTextColor(RGB(0, 0, 255));
        m_frame.SetMargins(cases[i].nLeftMargin, 0, 0, 0);
        ink[i] = InkColumns(PaintIntoImage(), PixelOf(kParentBrush));
        ASSERT_GE(ink[i].first, 0) << "no text painted";
    }
    EXPECT_LT(ink[0].first, 10);
    EXPECT_GE(ink[1].first, 60);
    EXPECT_LT(ink[1].first, 70);
    const int nWidth = ink[0].second - ink[0].first;
    EXPECT_NEAR(ink[2].first, (200 - nWidth) / 2, 3);
    EXPECT_GT(ink[3].second, 190);
    EXPECT_NEAR(ink[3].second - ink[3].first, nWidth, 1);
    EXPECT_EQ(ink[4].first, ink[0].first);
}

TEST_F(CFrameFixture, DrawsTheOleObjectOnlyWithoutAnImageAtItsAspectRatio)
{
    CRecordingViewObject object;
    m_frame.SetOleObject(&object, 1.0f);
    EXPECT_EQ(object.m_nRefs, 2u);
    PaintIntoImage();
    ASSERT_EQ(object.m_nDraws, 1);
    EXPECT_EQ(object.m_dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    // 40 x 30 client, square object: 30 x 30, centred.
    EXPECT_TRUE(SameRect(object.m_rcBounds, RECT{5, 0, 35, 30}));

    m_frame.m_nMode = 0;
    m_frame.LoadImageW(SolidImage(40, 30, kGreen));  // releases the object
    EXPECT_EQ(object.m_nRefs, 1u);
    PaintIntoImage();
    EXPECT_EQ(object.m_nDraws, 1);
}

TEST(CHTransparentFrame, OleObjectRectKeepsTheAspectRatioWithinTheClient)
{
    const RECT rcClient{0, 0, 100, 40};
    EXPECT_TRUE(SameRect(CHTransparentFrame::OleObjectRect(rcClient, 0.0f), rcClient));
    // Wide enough to fit: the client's width, centred vertically.
    EXPECT_TRUE(SameRect(CHTransparentFrame::OleObjectRect(rcClient, 4.0f), RECT{0, 8, 100, 33}));
    // Too high: scaled down by 40 / 100.
    EXPECT_TRUE(SameRect(CHTransparentFrame::OleObjectRect(rcClient, 1.0f), RECT{30, 0, 70, 40}));
    EXPECT_TRUE(SameRect(CHTransparentFrame::OleObjectRect(RECT{10, 10, 110, 50}, 0.5f), RECT{50, 10, 70, 50}));
    // Ratios so small that the wanted height is beyond an int, or beyond a
    // float: the client's height and no width, centred.
    EXPECT_TRUE(SameRect(CHTransparentFrame::OleObjectRect(rcClient, 1e-30f), RECT{50, 0, 50, 40}));
    EXPECT_TRUE(SameRect(CHTransparentFrame::OleObjectRect(rcClient, 1e-44f), RECT{50, 0, 50, 40}));
}
