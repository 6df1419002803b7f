// The base of the library's image-drawn buttons (in place of WTL's
// CBitmapButtonImpl): it takes over an existing button control, makes it
// owner-drawn so that the system's button procedure never paints over it,
// follows the button's states and leaves all drawing to DoPaint.
//
// States, bits 0, 1 and 2 of one state word: m_fMouseOver (the pointer is over
// the button; only followed with the hover style), m_fFocus (the button has the
// keyboard focus) and m_fPressed (the left button went down on it and the
// pointer is still inside). Every change repaints the button at once.
//
// Clicks: with the hover style (BMPBTN_HOVER) the button handles the left mouse
// button itself: down takes the capture, up releases it and, when the pointer
// is still inside, sends the parent WM_COMMAND BN_CLICKED with the control's id.
// Without it, the system's button procedure handles clicks (and sends
// BN_CLICKED itself); this class only follows the states.
//
// Hover: the first WM_MOUSEMOVE sets m_fMouseOver and asks the system for a
// WM_MOUSELEAVE (TrackMouseEvent), which clears it again.
//
// The tooltip control (class "tooltips_class32") is created when the button is
// subclassed and destroyed with the button; it is given no tools here.
//
// Messages this class does not answer fully (focus, capture, enable, mouse
// move, destroy) go on to the control's own procedure after it has looked at
// them; a derived class handles its own messages first and falls back on
// CHBitmapButtonImpl::AnswerMessage.
#pragma once

#include <windows.h>

#include "RAde/DEVEDar/HWindowImpl.h"

class CHBitmapButtonImpl : public CHWindowImpl
{
public:
    // Extended style: track the pointer and handle clicks without the system's help.
    static constexpr DWORD BMPBTN_HOVER = 0x00000001;

    explicit CHBitmapButtonImpl(DWORD dwExtendedStyle = 0) noexcept : m_dwExtendedStyle(dwExtendedStyle) {}

    // Subclasses the button control, adds the owner-draw style and creates the
    // tooltip control. FALSE when the window cannot be subclassed (see
    // CHWindowImpl::SubclassWindow); a tooltip that cannot be created is logged.
    BOOL SubclassWindow(HWND hWnd) noexcept;
    // Destroys the tooltip and gives the control back to its own procedure.
    HWND UnsubclassWindow() noexcept;

    DWORD GetBitmapButtonExtendedStyle() const noexcept { return m_dwExtendedStyle; }
    // Changes the bits of dwMask (all bits when dwMask is 0); returns the old style.
    DWORD SetBitmapButtonExtendedStyle(DWORD dwExtendedStyle, DWORD dwMask = 0) noexcept;
    bool IsHoverMode() const noexcept { return (m_dwExtendedStyle & BMPBTN_HOVER) != 0; }

    HWND GetToolTipCtrl() const noexcept { return m_toolTip.Get(); }

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

protected:
    // Draws the whole button into hDC (the paint DC, or the DC of WM_PAINT's or
    // WM_PRINTCLIENT's wParam). The base draws nothing.
    virtual void DoPaint(HDC hDC);

    // Invalidates the whole button and paints it now.
    void Repaint() noexcept;
    // Asks the system for a WM_MOUSELEAVE when the pointer leaves the button.
    BOOL StartTrackMouseLeave() noexcept;

    // The handlers behind AnswerMessage, for a derived button that
    // handles a message itself and still wants the base's part of it.
    void OnPaint(HDC hDC) noexcept;
    virtual void OnMouseMove(LPARAM lParam) noexcept;
    virtual void OnMouseLeave() noexcept;
    void OnFocus(bool bFocus) noexcept;
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam) noexcept;
    void OnCaptureChanged() noexcept;
    // Whether a point in client coordinates (a mouse message's lParam) lies inside the button.
    bool IsInside(LPARAM lParam) const noexcept;

    DWORD m_dwExtendedStyle;
    CHWindowHandle m_toolTip;
    unsigned m_fMouseOver : 1 = 0;
    unsigned m_fFocus : 1 = 0;
    unsigned m_fPressed : 1 = 0;

private:
    void CreateToolTip();
};
