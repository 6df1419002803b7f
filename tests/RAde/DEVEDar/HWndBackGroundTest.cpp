// Colour sets and the dialog background: fallback chains, brushes owned by
// their set, the colour answers a dialog gives its controls, and the pixels
// of each kind of background.
#include <gtest/gtest.h>

#include "DEVEDarTestResources.h"
#include "RAde/DEVEDar/HCtlColorSet.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "RAde/DEVEDar/HWndBackGround.h"
#include "SkinTestSupport.h"

using AnimationTest::Bgra;
using AnimationTest::ColourNear;
using AnimationTest::PixelAt;
using AnimationTest::PixelOf;

namespace {
std::wstring FlatText(const CHCtlColorSet& set)
{
    std::wstring strText;
    for (const CHColorEntry& entry : set.GetFlatTable())
        strText += std::to_wstring(entry.nKey) + L"=" + std::to_wstring(entry.nValue) + L" ";
    return strText;
}

TEST(CHCtlColorSet, ASetOverridesItsFallbacksAlongAChainOfThree)
{
    CHCtlColorrefSet grandparent, parent, child;
    grandparent.Set(1, 10);
    grandparent.Set(2, 20);
    grandparent.Set(3, 30);
    parent.Set(2, 21);
    child.Set(3, 32);
    child.Set(4, 42);
    child.SetFallback(&parent);
    parent.SetFallback(&grandparent);
    EXPECT_EQ(FlatText(child), L"3=32 4=42 2=21 1=10 ");
    EXPECT_FALSE(child.Lookup(1)) << "Lookup asks the set alone";
    EXPECT_EQ(child.LookupInChain(1), 10);

    grandparent.Set(5, 50);
    parent.Set(1, 11);
    EXPECT_EQ(FlatText(child), L"3=32 4=42 2=21 1=11 5=50 ") << "a change anywhere in the chain shows";
    child.Set(4, 43);
    EXPECT_EQ(FlatText(child), L"3=32 4=43 2=21 1=11 5=50 ") << "a second Set replaces in place";

    grandparent.SetFallback(&child);
    EXPECT_EQ(FlatText(child), L"3=32 4=43 2=21 1=11 5=50 ") << "a loop ends where it closes";
}

TEST(CHCtlColorSet, ABrushSetDeletesReplacedBrushesAndItsOwnOnDestruction)
{
    HBRUSH hFirst = nullptr, hSecond = nullptr;
    {
        CHCtlBkBrushSet brushes;
        brushes.Set(WM_CTLCOLORSTATIC, RGB(1, 2, 3));
        hFirst = brushes.LookupBrush(WM_CTLCOLORSTATIC);
        ASSERT_EQ(::GetObjectType(hFirst), static_cast<DWORD>(OBJ_BRUSH));
        brushes.Set(WM_CTLCOLORSTATIC, RGB(4, 5, 6));
        hSecond = brushes.LookupBrush(WM_CTLCOLORSTATIC);
        EXPECT_EQ(::GetObjectType(hFirst), 0u) << "the first brush is deleted";
        LOGBRUSH brush = {};
        ASSERT_TRUE(::GetObjectW(hSecond, sizeof(brush), &brush));
        EXPECT_EQ(brush.lbColor, RGB(4, 5, 6));
    }
    EXPECT_EQ(::GetObjectType(hSecond), 0u) << "the set's brushes go with it";
}

// A real dialog whose messages pass through a background first.
class CBackgroundDialog : public CHWindowImpl, public CHWndBackGround::CClient
{
public:
    CBackgroundDialog()
    {
        m_hDialog.Reset(::CreateDialogParamW(
            ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SKIN_CONTROLS), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0));
        EXPECT_TRUE(SubclassWindow(m_hDialog.Get()));
        m_background.Attach(m_hDialog.Get(), this);
    }
    ~CBackgroundDialog() override { UnsubclassWindow(); }

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        return m_background.OnMessage(uMsg, wParam, lParam, lResult);
    }
    void PaintBackground(HDC hDC, const RECT& rc) override
    {
        CHBrushHandle hBrush(::CreateSolidBrush(RGB(0, 200, 0)));
        ::FillRect(hDC, &rc, hBrush.Get());
        m_rcPainted = rc;
    }
    RECT GetBackgroundRect(HWND) override { return m_rcBackground; }

    // What the dialog answers a control's colour message, and the text state it leaves.
    struct CAnswer
    {
        HBRUSH hBrush;
        COLORREF crText;
        int nBkMode;
        POINT brushOrigin;
    };
    CAnswer Answer(UINT uMsg, int nControl)
    {
        CHMemoryDC hDC(::CreateCompatibleDC(nullptr));
        CAnswer answer;
        answer.hBrush = reinterpret_cast<HBRUSH>(::SendMessageW(
            m_hDialog.Get(), uMsg, reinterpret_cast<WPARAM>(hDC.Get()), reinterpret_cast<LPARAM>(Control(nControl))));
        answer.crText = ::GetTextColor(hDC.Get());
        answer.nBkMode = ::GetBkMode(hDC.Get());
        ::GetBrushOrgEx(hDC.Get(), &answer.brushOrigin);
        return answer;
    }
    HWND Control(int nId) const { return ::GetDlgItem(m_hDialog.Get(), nId); }

    CHWindowHandle m_hDialog;
    CHWndBackGround m_background;
    RECT m_rcBackground = {0, 0, 100, 50};
    RECT m_rcPainted = {};
};

TEST(CHWndBackGround, AnswersColourMessagesByWindowThenIdThenMessage)
{
    CBackgroundDialog dialog;
    CHCtlColorrefSet byId, byMessage;
    CHCtlBkBrushSet brushes;
    byId.Set(IDC_SKIN_LTEXT, RGB(1, 0, 0));
    byMessage.Set(WM_CTLCOLORSTATIC, RGB(2, 0, 0));
    byMessage.Set(WM_CTLCOLOREDIT, RGB(3, 0, 0));
    brushes.Set(WM_CTLCOLOREDIT, RGB(9, 9, 9));
    CHWndBackGround& background = dialog.m_background;
    background.SetControlTextColors(&byId);
    background.SetClassTextColors(&byMessage);
    background.SetClassBrushes(&brushes);
    background.SetDefaultTextColor(RGB(4, 0, 0));
    background.SetSolidColor(RGB(5, 6, 7));
    background.SetWindowTextColor(dialog.Control(IDC_SKIN_CTEXT), RGB(6, 0, 0));
    background.SetNoBackground(dialog.Control(IDC_SKIN_SIMPLE));
    background.SetNoBackgroundForId(IDC_SKIN_FRAME);
    byId.Set(IDC_SKIN_CTEXT, RGB(7, 0, 0));

    const struct
    {
        UINT uMsg;
        int nControl;
        int nRed;
        int nBkMode;
        const char* pszBrush;
    } cases[] = {
        {WM_CTLCOLORSTATIC, IDC_SKIN_CTEXT, 6, TRANSPARENT, "background"},
        {WM_CTLCOLORSTATIC, IDC_SKIN_LTEXT, 1, TRANSPARENT, "background"},
        {WM_CTLCOLORSTATIC, IDC_SKIN_ETCHED, 2, TRANSPARENT, "background"},
        {WM_CTLCOLOREDIT, IDC_SKIN_EDIT, 3, OPAQUE, "message"},
        {WM_CTLCOLORBTN, IDC_SKIN_PUSH, 4, TRANSPARENT, "background"},
        {WM_CTLCOLORSTATIC, IDC_SKIN_SIMPLE, 2, TRANSPARENT, "null"},
        {WM_CTLCOLORSTATIC, IDC_SKIN_FRAME, 2, TRANSPARENT, "null"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.nControl);
        const CBackgroundDialog::CAnswer answer = dialog.Answer(test.uMsg, test.nControl);
        EXPECT_EQ(GetRValue(answer.crText), test.nRed);
        EXPECT_EQ(answer.nBkMode, test.nBkMode);
        const HBRUSH hExpected = std::string(test.pszBrush) == "null"
                                     ? static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH))
                                 : std::string(test.pszBrush) == "message" ? brushes.LookupBrush(WM_CTLCOLOREDIT)
                                                                           : background.GetBackgroundBrush();
        EXPECT_EQ(answer.hBrush, hExpected);
    }

    // The brush's origin lies where the dialog's origin is, seen from the control.
    POINT ptControl = {0, 0};
    ::MapWindowPoints(dialog.Control(IDC_SKIN_EDIT), dialog.m_hDialog.Get(), &ptControl, 1);
    const POINT origin = dialog.Answer(WM_CTLCOLOREDIT, IDC_SKIN_EDIT).brushOrigin;
    EXPECT_EQ(origin.x, -ptControl.x);
    EXPECT_EQ(origin.y, -ptControl.y);
}

TEST(CHWndBackGround, PaintsEachKindOfBackgroundIntoTheEraseRectangle)
{
    CBackgroundDialog dialog;
    CHWndBackGround& background = dialog.m_background;
    CHImage target;
    target.Create(120, 60, 32);
    auto erase = [&] {
        AnimationTest::Fill(target, Bgra(1, 1, 1, 0));
        CHImageDC hDC(target);
        LRESULT lResult = 0;
        EXPECT_TRUE(background.OnMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hDC.Get()), 0, lResult));
        EXPECT_EQ(lResult, 1);
    };

    background.SetSolidColor(RGB(5, 6, 7));
    erase();
    EXPECT_TRUE(ColourNear(PixelAt(target, 99, 49), PixelOf(RGB(5, 6, 7))));
    EXPECT_TRUE(ColourNear(PixelAt(target, 100, 50), Bgra(1, 1, 1, 0))) << "outside the background rectangle";

    // Left half red, right half blue, stretched over 100 x 50.
    CHImage image = AnimationTest::SolidImage(2, 1, Bgra(0, 0, 255, 255));
    std::memcpy(image.GetPixelAddress(1, 0), "\xFF\x00\x00\xFF", 4);
    background.SetStretchedImage(image);
    erase();
    EXPECT_TRUE(ColourNear(PixelAt(target, 10, 25), PixelOf(RGB(255, 0, 0))));
    EXPECT_TRUE(ColourNear(PixelAt(target, 90, 25), PixelOf(RGB(0, 0, 255))));
    const HBRUSH hMade = background.GetBackgroundBrush();
    EXPECT_EQ(background.GetBackgroundBrush(), hMade) << "reused while the size stays";
    dialog.m_rcBackground = {0, 0, 80, 40};
    EXPECT_NE(background.GetBackgroundBrush(), hMade) << "remade for a new size";
    EXPECT_EQ(::GetObjectType(hMade), 0u) << "and the old one deleted";

    background.SetOwnerPainted();
    dialog.m_rcBackground = {10, 5, 60, 45};
    erase();
    EXPECT_EQ(dialog.m_rcPainted.left, 10) << "the owner paints in the dialog's coordinates";
    EXPECT_TRUE(ColourNear(PixelAt(target, 10, 5), PixelOf(RGB(0, 200, 0))));
    EXPECT_TRUE(ColourNear(PixelAt(target, 59, 44), PixelOf(RGB(0, 200, 0))));
    EXPECT_TRUE(ColourNear(PixelAt(target, 9, 5), Bgra(1, 1, 1, 0)));
}

TEST(CHWndBackGround, AStretchedBackgroundIsRepaintedWhenTheDialogIsResized)
{
    CBackgroundDialog dialog;
    CHImage image = AnimationTest::SolidImage(2, 2, Bgra(0, 0, 255, 255));
    dialog.m_background.SetStretchedImage(image);
    ::ShowWindow(dialog.m_hDialog.Get(), SW_SHOWNA);
    ::UpdateWindow(dialog.m_hDialog.Get());
    ::ValidateRect(dialog.m_hDialog.Get(), nullptr);
    LRESULT lResult = 0;
    EXPECT_FALSE(dialog.m_background.OnMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(100, 50), lResult))
        << "the dialog's own handling goes on";
    RECT rcUpdate = {};
    EXPECT_TRUE(::GetUpdateRect(dialog.m_hDialog.Get(), &rcUpdate, FALSE));
    EXPECT_EQ(rcUpdate.right, 100);
}
}  // namespace
