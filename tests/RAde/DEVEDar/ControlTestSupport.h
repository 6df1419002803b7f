// The dialog the skinned-control tests run in, and pixel reads of its controls.
//
// CControlsDialog is a modeless dialog from a test template, shown without
// activation at a fixed place. Its background is one solid colour; it answers
// its controls' colour messages with that brush and kText, passes owner-draw
// messages on to the controls, sets the control cursors and records the
// commands it gets. The process-wide default control images are saved when a
// test begins and restored when it ends (CDefaultImagesScope).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "AnimationTestSupport.h"
#include "DEVEDarTestResources.h"
#include "RAde/DEVEDar/HControlCursors.h"
#include "RAde/DEVEDar/HDialogImpl.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"
#include "RAde/DEVEDar/HOwnerDrawReflection.h"
#include "RAde/DEVEDar/HImage.h"

namespace ControlTest {
using namespace AnimationTest;

constexpr COLORREF kBackground = RGB(40, 90, 160);
constexpr COLORREF kText = RGB(250, 250, 0);

class CControlsDialog : public CHDialogImpl
{
public:
    explicit CControlsDialog(UINT nTemplate) : CHDialogImpl(nTemplate), m_brush(::CreateSolidBrush(kBackground)) {}
    ~CControlsDialog() override
    {
        if (m_hWnd != nullptr)
            DestroyWindow();
    }

    // Creates the dialog and shows it, topmost, at (x, y) of the screen.
    void Open(int x = 60, int y = 60)
    {
        Create(nullptr);
        ::SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::UpdateWindow(m_hWnd);
    }

    HWND Item(int nId) const { return ::GetDlgItem(m_hWnd, nId); }

    // Places a control at (x, y) of the dialog's client area, nWidth by nHeight pixels.
    void Place(int nId, int x, int y, int nWidth, int nHeight) const
    {
        ::MoveWindow(Item(nId), x, y, nWidth, nHeight, TRUE);
    }

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override
    {
        if (ReflectOwnerDrawMessage(m_hWnd, uMsg, wParam, lParam, lResult) ||
            m_cursors.OnMessage(uMsg, wParam, lParam, lResult))
            return TRUE;
        switch (uMsg) {
        case WM_INITDIALOG:
            // No focus: a dialog that takes it activates itself, and Wine
            // waits for a window manager when an activated window goes.
            lResult = FALSE;
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORDLG:  // which also paints the dialog's background
            ::SetTextColor(reinterpret_cast<HDC>(wParam), kText);
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            lResult = reinterpret_cast<LRESULT>(m_brush.Get());
            return TRUE;
        case WM_COMMAND:
            m_commands.push_back(wParam);
            lResult = 0;
            return TRUE;
        case WM_LBUTTONDOWN:
            ++m_nClicks;
            return FALSE;
        default:
            return FALSE;
        }
    }

    CHControlCursors m_cursors;
    std::vector<WPARAM> m_commands;
    int m_nClicks = 0;

private:
    CHBrushHandle m_brush;
};

// The client area of a window as it shows now, repainted first with its
// children (or as the window left it, to see what it repainted itself);
// opaque (the window's pixels carry no alpha).
inline CHImage CaptureClient(HWND hWnd, bool bRepaintFirst = true)
{
    if (bRepaintFirst)
        ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT rc{};
    ::GetClientRect(hWnd, &rc);
    CHImage image = SolidImage(rc.right, rc.bottom, Bgra(0, 0, 0, 255));
    HDC hWindowDC = ::GetDC(hWnd);
    ::BitBlt(image.GetDC(), 0, 0, rc.right, rc.bottom, hWindowDC, 0, 0, SRCCOPY);
    image.ReleaseDC();
    ::ReleaseDC(hWnd, hWindowDC);
    MakeOpaque(image);
    return image;
}

// The first and last columns (rows with bRows) holding a pixel of dwInk
// within nTolerance, looking at the first nLimit rows (columns) only;
// (-1, -1) when there is none.
inline std::pair<int, int> InkSpan(const CHImage& image, DWORD dwInk, bool bRows = false, int nTolerance = 40,
                                   int nLimit = INT_MAX)
{
    std::pair<int, int> span{-1, -1};
    const int nOuter = bRows ? image.GetHeight() : image.GetWidth();
    const int nInner = std::min(nLimit, bRows ? image.GetWidth() : image.GetHeight());
    for (int i = 0; i < nOuter; ++i)
        for (int j = 0; j < nInner; ++j)
            if (ColourNear(bRows ? PixelAt(image, j, i) : PixelAt(image, i, j), dwInk, nTolerance)) {
                if (span.first < 0)
                    span.first = i;
                span.second = i;
                break;
            }
    return span;
}

// The skin's default control images for one test, restored afterwards.
class CDefaultImagesScope
{
public:
    CDefaultImagesScope() : m_saved(CHDialogSkinXmlConfig::DefaultControlImages()) {}
    ~CDefaultImagesScope() { CHDialogSkinXmlConfig::DefaultControlImages() = m_saved; }
    CHDefaultControlImages& operator*() const { return CHDialogSkinXmlConfig::DefaultControlImages(); }

private:
    CHDefaultControlImages m_saved;
};
}  // namespace ControlTest
