// The soft drop shadow of a popup dialog: a layered window (CHBlendedWindow)
// a little larger than the dialog, kept directly behind it in the z-order,
// with the dialog's own shape cut out of it, shown and hidden with the dialog
// and destroyed with it.
//
// Use: the dialog calls Initialize from its WM_INITDIALOG handling, and from
// then on passes EVERY message it receives through OnDialogMessage before its
// own handling (the hook never consumes a message). The shadow follows the
// dialog only through those messages: WM_SHOWWINDOW, WM_WINDOWPOSCHANGING,
// WM_WINDOWPOSCHANGED and WM_DESTROY.
//
// Geometry, for a dialog rectangle L, T, R, B:
//   painter mode 4 (the default): L - m, T - m, R + m, B + m, where m is 9
//   pixels at the default image's DPI scale (GetMargin);
//   painter mode 0: the shadow image's natural size centred on the dialog.
// The dialog's window region, moved into the shadow's coordinates, is cut out
// of the shadow's region; a dialog without a window region cuts out only the
// single pixel at its top-left corner.
//
// Only the dialog's thread touches the shadow.
#pragma once

#include <windows.h>

#include "RAde/DEVEDar/HBlendedWindow.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HUIErrorHandler.h"

class CHWndShadow : public CHUIErrorHandler
{
public:
    // How far the shadow reaches past the dialog on every side (nine slices).
    static constexpr int kShadowMargin = 9;

    CHWndShadow() = default;
    CHWndShadow(const CHWndShadow&) = delete;
    CHWndShadow& operator=(const CHWndShadow&) = delete;

    // The image every shadow of the process shows when it has none of its own
    // (the skin's "shadow" image, straight alpha), drawn for the DPI scale
    // fScale (CHDpiImage::Load), which sets how far it reaches past the dialog.
    // Set it before Initialize.
    static void SetDefaultImage(const CHImage& image, float fScale = 1.0f);
    static const CHImage& GetDefaultImage() noexcept;
    // How far a nine-sliced shadow reaches past its dialog: kShadowMargin at the
    // default image's scale.
    static int GetMargin() noexcept;

    // This shadow's own image; empty (the default) takes the process-wide one.
    // Set it before Initialize.
    void SetImage(const CHImage& image) { m_imgShadow = image; }

    // Creates the (hidden) shadow window for the dialog, owned by the dialog's
    // parent, and puts it behind the dialog. Throws when hWndDialog is no
    // window or the shadow cannot be created.
    void Initialize(HWND hWndDialog);
    // Positions the shadow for the dialog's current window rectangle.
    void PositionShading(UINT nFlags);
    // Positions the shadow for the dialog rectangle x, y, x + cx, y + cy (screen
    // coordinates) and inserts it directly behind the dialog. nFlags are
    // SetWindowPos flags; SWP_NOZORDER and the system's private client flags are
    // dropped, SWP_NOACTIVATE is added. Nothing happens without a shadow window.
    void PositionShading(int x, int y, int cx, int cy, UINT nFlags);

    // The message hook: the dialog calls it with each of its messages once
    // Initialize has run. Never throws; the dialog's own handling always follows.
    void OnDialogMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept;

    // The shadow window (its painter mode and cap ratio may be set before Initialize).
    CHBlendedWindow& GetShadowWindow() noexcept { return m_wndShadow; }
    HWND GetDialog() const noexcept { return m_hWndDialog; }

private:
    // The dialog rectangle a WINDOWPOS describes; members the flags leave
    // unchanged (SWP_NOMOVE, SWP_NOSIZE) are taken from the dialog's current rectangle.
    RECT DialogRectOf(const WINDOWPOS& pos) const;
    RECT ShadowRectFor(const RECT& rcDialog) const;
    void CutOutDialog(const RECT& rcDialog, const RECT& rcShadow);

    CHImage m_imgShadow;
    CHBlendedWindow m_wndShadow;
    HWND m_hWndDialog = nullptr;
};
