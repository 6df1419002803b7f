// The skinned group box, static text, list and combo boxes, the control
// cursors, the child repaint and the skinning pass of a dialog, read back as
// pixels from real dialogs.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ControlTestSupport.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HSkinnedControls.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "SkinTestSupport.h"
#include "TestSupport.h"

using namespace ControlTest;

namespace {
constexpr COLORREF kDark = RGB(200, 0, 0);
constexpr COLORREF kLight = RGB(0, 200, 0);
constexpr COLORREF kSelection = RGB(0, 160, 0);
constexpr COLORREF kSelectedText = RGB(255, 0, 255);

// Pixels of the colour (within a tolerance) inside rc of the image.
int CountInk(const CHImage& image, const RECT& rc, COLORREF crInk, int nTolerance = 60)
{
    int nCount = 0;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x)
            nCount += ColourNear(PixelAt(image, x, y), PixelOf(crInk), nTolerance) ? 1 : 0;
    return nCount;
}

// The runs of one colour along a row: where each starts and how long it is.
std::vector<std::pair<int, int>> RunsOf(const CHImage& image, int y, COLORREF cr)
{
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < image.GetWidth(); ++x) {
        if (!ColourNear(PixelAt(image, x, y), PixelOf(cr), 8))
            continue;
        if (!runs.empty() && runs.back().first + runs.back().second == x)
            ++runs.back().second;
        else
            runs.push_back({x, 1});
    }
    return runs;
}

CHAppearanceOptions Options(bool bButtons, bool bButtonOption, bool bOthers)
{
    CHAppearanceOptions options;
    options.m_bSkinPushButtons = bButtons;
    options.m_bButtonOption = bButtonOption;
    options.m_bSkinGroupBoxes = options.m_bSkinStaticText = options.m_bSkinComboBoxes = bOthers;
    options.m_bSkinListBoxes = bOthers;
    return options;
}

// A reflected WM_DRAWITEM for one item, drawn into an image of 100 x 20 pixels.
CHImage DrawItemInto(HWND hDialog, HWND hControl, UINT nItem, UINT nState, UINT nType = ODT_LISTBOX)
{
    CHImage image = SolidImage(100, 20, Bgra(1, 2, 3, 0));
    DRAWITEMSTRUCT item{nType,
                        static_cast<UINT>(::GetDlgCtrlID(hControl)),
                        nItem,
                        ODA_DRAWENTIRE,
                        nState,
                        hControl,
                        image.GetDC(),
                        RECT{0, 0, 100, 20},
                        0};
    EXPECT_EQ(::SendMessageW(hDialog, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item)), TRUE);
    image.ReleaseDC();
    return image;
}

class CStaticsFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dialog.Open();
        for (int nId : {IDC_STATICS_GROUP, IDC_STATICS_GROUP_RTL}) {
            m_groups.push_back(std::make_unique<CHGroupBox>());
            ASSERT_TRUE(m_groups.back()->SubclassWindow(m_dialog.Item(nId)));
            m_groups.back()->SetLineColors(kDark, kLight);
        }
        for (int nId : {IDC_STATICS_LEFT, IDC_STATICS_CENTRE, IDC_STATICS_RIGHT}) {
            m_texts.push_back(std::make_unique<CHStaticTextCtrl>());
            ASSERT_TRUE(m_texts.back()->SubclassWindow(m_dialog.Item(nId)));
        }
    }

    CControlsDialog m_dialog{IDD_SKIN_STATICS};
    std::vector<std::unique_ptr<CHGroupBox>> m_groups;
    std::vector<std::unique_ptr<CHStaticTextCtrl>> m_texts;
};

class CListsFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dialog.Open();
        for (int nId : {IDC_LISTS_LEFT, IDC_LISTS_RIGHT, IDC_LISTS_EMPTY}) {
            m_lists.push_back(std::make_unique<CHListBox>());
            ASSERT_TRUE(m_lists.back()->SubclassWindow(m_dialog.Item(nId)));
            m_lists.back()->SetSelectionColors(kSelection, kSelectedText);
        }
        ASSERT_TRUE(m_combo.SubclassWindow(m_dialog.Item(IDC_LISTS_COMBO)));
        m_combo.SetSelectionColors(kSelection, kSelectedText);
        for (const wchar_t* pszItem : {L"Alpha", L"Beta", L"Gamma"}) {
            for (int nId : {IDC_LISTS_LEFT, IDC_LISTS_RIGHT})
                ::SendMessageW(m_dialog.Item(nId), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszItem));
            ::SendMessageW(m_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszItem));
        }
        for (int nId : {IDC_LISTS_LEFT, IDC_LISTS_RIGHT})
            ::SendMessageW(m_dialog.Item(nId), LB_SETCURSEL, 1, 0);
    }

    RECT ItemRect(int nId, int nItem)
    {
        RECT rc{};
        ::SendMessageW(m_dialog.Item(nId), LB_GETITEMRECT, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(&rc));
        return rc;
    }

    CControlsDialog m_dialog{IDD_SKIN_LISTS};
    std::vector<std::unique_ptr<CHListBox>> m_lists;
    CHComboBox m_combo;
};
}  // namespace

TEST_F(CStaticsFixture, GroupBoxLinesLeaveAGapForTheCaptionMirroredRightToLeft)
{
    for (size_t i = 0; i < m_groups.size(); ++i) {
        const bool bRightToLeft = i == 1;
        SCOPED_TRACE(bRightToLeft ? "right to left" : "left to right");
        const CHImage image = CaptureClient(*m_groups[i]);
        const int nWidth = image.GetWidth(), nHeight = image.GetHeight();
        // The top line lies where the left line begins.
        int m = 0;
        while (m < nHeight && !ColourNear(PixelAt(image, 0, m), PixelOf(kDark), 8))
            ++m;
        ASSERT_LT(m, nHeight / 2);
        const auto runs = RunsOf(image, m, kDark);
        ASSERT_EQ(runs.size(), 2u) << "the caption interrupts the top line";
        const int nShort = bRightToLeft ? runs[1].second : runs[0].second;
        const int nLong = bRightToLeft ? runs[0].second : runs[1].second;
        EXPECT_GT(nShort, 2);
        EXPECT_LT(nShort, 12) << "half the caption's height, plus the corner";
        EXPECT_GT(nLong, nWidth / 2);
        EXPECT_EQ(runs[0].first, 0);
        EXPECT_EQ(runs[1].first + runs[1].second, nWidth);
        const int nGap = runs[1].first - (runs[0].first + runs[0].second);
        EXPECT_GT(CountInk(image, RECT{runs[0].second, 0, runs[1].first, m + 6}, kText), 10) << "caption in the gap";
        EXPECT_GT(nGap, 15);
        // Dark left, right and bottom lines; light lines inside the left and top ones.
        EXPECT_TRUE(ColourNear(PixelAt(image, nWidth - 1, m + 6), PixelOf(kDark), 8));
        EXPECT_TRUE(ColourNear(PixelAt(image, 6, nHeight - 1), PixelOf(kDark), 8));
        EXPECT_TRUE(ColourNear(PixelAt(image, 1, m + 6), PixelOf(kLight), 8));
        const int xLightTop = bRightToLeft ? 3 : nWidth - 4;
        EXPECT_TRUE(ColourNear(PixelAt(image, xLightTop, m + 1), PixelOf(kLight), 8));
        EXPECT_TRUE(ColourNear(PixelAt(image, nWidth / 2, nHeight / 2), PixelOf(kBackground), 8)) << "no fill";
    }
}

TEST_F(CStaticsFixture, StaticTextFollowsItsStyleAndCentresSeveralLines)
{
    // Left, centre, right: where one word's ink lies.
    std::pair<int, int> spans[3];
    for (int i = 0; i < 3; ++i) {
        spans[i] = InkSpan(CaptureClient(*m_texts[i]), PixelOf(kText));
        ASSERT_GE(spans[i].first, 0) << "no text in " << i;
    }
    RECT rc{};
    ::GetClientRect(*m_texts[0], &rc);
    const int nWordWidth = spans[0].second - spans[0].first;
    EXPECT_LT(spans[0].first, 3);
    EXPECT_NEAR(spans[1].first, (rc.right - nWordWidth) / 2, 2);
    EXPECT_GT(spans[2].second, rc.right - 4);
    EXPECT_TRUE(ColourNear(PixelAt(CaptureClient(*m_texts[0]), rc.right - 2, 2), PixelOf(kBackground)));

    // Two lines centred vertically as one block, in a colour of its own.
    CHStaticTextCtrl& centre = *m_texts[1];
    centre.SetExtraFormat(DT_VCENTER);
    centre.SetTextColor(kSelectedText);
    ::SetWindowTextW(centre, L"Wide wide wide wide wide wide wide wide");
    EXPECT_TRUE(::IsWindowVisible(centre)) << "visible again after the text changed";
    const CHImage image = CaptureClient(centre);
    const auto rows = InkSpan(image, PixelOf(kSelectedText), true);
    ASSERT_GE(rows.first, 0);
    EXPECT_GT(rows.second - rows.first, 16) << "two lines";
    EXPECT_NEAR(rows.first, image.GetHeight() - 1 - rows.second, 3);
    EXPECT_EQ(InkSpan(image, PixelOf(kText)).first, -1) << "no trace of the dialog's colour";
}

TEST_F(CStaticsFixture, CursorsByWindowAndByIdAndChildrenRepaintedInARectangle)
{
    HCURSOR hHand = ::LoadCursorW(nullptr, IDC_HAND), hCross = ::LoadCursorW(nullptr, IDC_CROSS);
    m_dialog.m_cursors.SetWindowCursor(*m_texts[0], hHand);
    m_dialog.m_cursors.SetIdCursor(IDC_STATICS_CENTRE, hCross);
    m_dialog.m_cursors.SetIdCursor(IDC_STATICS_LEFT, hCross);  // the window's cursor wins
    auto setCursor = [&](HWND hWnd) {
        ::SetCursor(nullptr);
        // A control's default handling asks its parent first.
        return ::SendMessageW(hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    };
    EXPECT_TRUE(setCursor(*m_texts[0]) && ::GetCursor() == hHand);
    EXPECT_TRUE(setCursor(*m_texts[1]) && ::GetCursor() == hCross);
    setCursor(m_dialog.Item(IDC_STATICS_EDIT));
    EXPECT_TRUE(::GetCursor() != hHand && ::GetCursor() != hCross) << "the edit control's own";

    // Paint over the whole dialog, then let the children under the left text repaint.
    ::UpdateWindow(m_dialog);
    CHWindowDC dc(CHWindowDCTraits::Handle{m_dialog, ::GetDC(m_dialog)});
    RECT rcDialog{};
    ::GetClientRect(m_dialog, &rcDialog);
    ::FillRect(dc.Get().hDC, &rcDialog, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    RECT rcLeftText{};
    ::GetWindowRect(*m_texts[0], &rcLeftText);
    RedrawChildrenInRect(m_dialog, rcLeftText);
    auto inkOf = [&](HWND hChild) {
        RECT rc{};
        ::GetWindowRect(hChild, &rc);
        ::MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&rc), 2);
        CHImage image = SolidImage(rcDialog.right, rcDialog.bottom, 0);
        ::BitBlt(image.GetDC(), 0, 0, rcDialog.right, rcDialog.bottom, dc.Get().hDC, 0, 0, SRCCOPY);
        image.ReleaseDC();
        return CountInk(image, rc, kText);
    };
    EXPECT_GT(inkOf(*m_texts[0]), 10) << "repainted";
    EXPECT_EQ(inkOf(*m_texts[1]), 0) << "elsewhere: left black";
}

TEST_F(CListsFixture, ItemsDrawTheSelectionIndentsAndAlignment)
{
    HWND hLeft = m_dialog.Item(IDC_LISTS_LEFT);
    auto itemInk = [&](HWND hList, int nItem, COLORREF cr) {
        return CountInk(CaptureClient(hList), ItemRect(::GetDlgCtrlID(hList), nItem), cr);
    };
    const RECT rcSelected = ItemRect(IDC_LISTS_LEFT, 1);
    const CHImage image = CaptureClient(hLeft);
    EXPECT_TRUE(ColourNear(PixelAt(image, rcSelected.right - 3, rcSelected.top + 2), PixelOf(kSelection)));
    EXPECT_TRUE(
        ColourNear(PixelAt(image, rcSelected.right - 3, ItemRect(IDC_LISTS_LEFT, 0).top + 2), PixelOf(kBackground)));
    EXPECT_GT(itemInk(hLeft, 1, kSelectedText), 10);
    EXPECT_GT(itemInk(hLeft, 0, kText), 10);
    EXPECT_EQ(itemInk(hLeft, 0, kSelectedText), 0);

    // Where item 0's text begins and ends, by alignment and indents.
    auto textSpan = [&](int nId) {
        const RECT rc = ItemRect(nId, 0);
        return InkSpan(CaptureClient(m_dialog.Item(nId)), PixelOf(kText), false, 40, rc.bottom);
    };
    const int nRight = ItemRect(IDC_LISTS_RIGHT, 0).right;
    EXPECT_LT(textSpan(IDC_LISTS_LEFT).first, 5);
    EXPECT_GT(textSpan(IDC_LISTS_RIGHT).second, nRight - 5);
    m_lists[0]->SetIndents(30, 0);
    m_lists[1]->SetIndents(0, 20);
    EXPECT_GE(textSpan(IDC_LISTS_LEFT).first, 31);
    EXPECT_LE(textSpan(IDC_LISTS_RIGHT).second, nRight - 20);

    // A selection image instead of the colour.
    const CHImage selection = SolidImage(8, 8, Bgra(0, 0, 250, 255));
    m_lists[0]->SetSelectionImage(&selection);
    EXPECT_TRUE(
        ColourNear(PixelAt(CaptureClient(hLeft), rcSelected.right - 3, rcSelected.top + 2), Bgra(0, 0, 250, 0), 1));
}

TEST_F(CListsFixture, ReflectedItemsOfTheComboAndAnEmptyListAndLongTexts)
{
    // The dialog passes WM_DRAWITEM on to the combo box, which draws the item.
    const CHImage selected = DrawItemInto(m_dialog, m_combo, 1, ODS_SELECTED, ODT_COMBOBOX);
    EXPECT_TRUE(ColourNear(PixelAt(selected, 95, 3), PixelOf(kSelection)));
    EXPECT_GT(CountInk(selected, RECT{1, 1, 99, 19}, kSelectedText), 10);
    EXPECT_EQ(PixelAt(selected, 0, 0), Bgra(1, 2, 3, 0)) << "the item's rectangle less one pixel";

    // Item -1, an empty list with the focus: only the background.
    const CHImage empty =
        DrawItemInto(m_dialog, m_dialog.Item(IDC_LISTS_EMPTY), static_cast<UINT>(-1), ODS_FOCUS | ODS_SELECTED);
    EXPECT_EQ(CountInk(empty, RECT{1, 1, 99, 19}, kBackground, 0), 98 * 18);

    // Texts are read at their real length.
    const std::wstring strLong(3000, L'x');
    const auto nItem =
        ::SendMessageW(m_lists[2]->GetHandle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strLong.c_str()));
    EXPECT_EQ(m_lists[2]->GetItemText(static_cast<int>(nItem)), strLong);
}

TEST(SkinChildControls, SubclassesTheKindsTheOptionsNameAndAppliesColoursAndTexts)
{
    CSkinFolder folder(
        L"<colors><color id=\"c1\" value=\"#010101\"/><color id=\"c2\" value=\"#020202\"/></colors>"
        L"<forms><form id=\"general\"><classes><class id=\"list\" selcolor=\"c2\"/>"
        L"<class id=\"button\" color=\"c1\"/><class id=\"static\" color=\"c2\"/></classes></form>"
        L"<form id=\"f\"><controls><control id=\"push\" color=\"c1\" text=\"ids-push\"/></controls></form></forms>"
        L"<strings><string id=\"ids-push\" lang=\"en\" text=\"Pushed\"/></strings>");
    CHDialogAppeareaceDef appearance;
    LoadSkin(appearance, folder.Path(), L"en");
    const CTestNameMap nameMap(L"f", {{IDC_SKIN_PUSH, L"push"}});

    struct CCase
    {
        const char* pszName;
        bool bButtons, bButtonOption, bOthers;
        size_t nButtons, nOthers;
    };
    const CCase cases[] = {
        {"everything", true, true, true, 5, 1},
        {"push buttons only", true, false, false, 2, 0},
        {"nothing", false, false, false, 0, 0},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        CControlsDialog dialog(IDD_SKIN_CONTROLS);
        dialog.Create(nullptr);
        CHSkinnedControls controls;
        SkinChildControls(dialog, controls, Options(test.bButtons, test.bButtonOption, test.bOthers), &nameMap,
                          appearance);
        EXPECT_EQ(controls.m_buttons.size(), test.nButtons);
        EXPECT_EQ(controls.m_groupBoxes.size(), test.nOthers);
        EXPECT_EQ(controls.m_staticTexts.size(), test.nOthers * 3) << "left, centred and simple";
        EXPECT_EQ(controls.m_comboBoxes.size(), test.nOthers) << "the owner-drawn one";
        EXPECT_EQ(controls.m_listBoxes.size(), test.nOthers);
        EXPECT_EQ(GetWindowTextOf(dialog.Item(IDC_SKIN_PUSH)), L"Pushed");
        if (test.nButtons == 0)
            continue;
        auto* pPush = dynamic_cast<CHTransparentButton*>(CHWindowImpl::FromHandle(dialog.Item(IDC_SKIN_PUSH)));
        ASSERT_NE(pPush, nullptr);
        EXPECT_EQ(pPush->GetTextColors()[stateNormal], RGB(1, 1, 1)) << "the form's colour for the control";
        EXPECT_EQ(pPush->GetTextColors()[stateHover], RGB(1, 1, 1));
        if (test.nOthers == 0)
            continue;
        EXPECT_EQ(controls.m_listBoxes[0]->GetLook().m_crSelection, RGB(2, 2, 2)) << "the general form's";
        EXPECT_EQ(controls.m_comboBoxes[0]->GetLook().m_crSelectedText, 0xFFFFFFu) << "the default";
        EXPECT_EQ(controls.m_buttons[2]->GetHandle(), dialog.Item(IDC_SKIN_CHECK));
        EXPECT_EQ(controls.m_buttons[2]->GetTextColors()[stateNormal], RGB(2, 2, 2))
            << "a check box takes the static class's colour, not the push button's";
        RECT rc{};
        ::GetWindowRect(dialog.Item(IDC_SKIN_CHECK), &rc);
        EXPECT_EQ(::SendMessageW(dialog.Item(IDC_SKIN_CHECK), WM_NCHITTEST, 0, MAKELPARAM(rc.left, rc.top)), HTCLIENT);
    }
}
