// A top-level layered window that shows a 32-bit image with per-pixel alpha
// through UpdateLayeredWindow and never takes the mouse: the drop shadow
// behind skinned dialogs (CHWndShadow).
//
// The image is laid into the window by the painter base (nine slices without
// the centre, caps a quarter of the image) and pushed to the screen whenever
// the window is shown or moved. The window has no WM_PAINT drawing of its own:
// a layered window updated with UpdateLayeredWindow keeps the last surface it
// was given.
//
// Mouse: WM_NCHITTEST answers HTTRANSPARENT, and the window also carries
// WS_EX_TRANSPARENT. HTTRANSPARENT alone only passes a click on to windows of
// the same thread; a layered window with WS_EX_TRANSPARENT is skipped by the
// system's hit test altogether, so a click on the shadow reaches whatever
// window lies below it, whichever process owns it.
#pragma once

#include <windows.h>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImagePainter.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "RAde/HUniqueHandle.h"

class CHBlendedWindow : public CHWindowImpl, public CHImagePainter
{
public:
    // The window traits: a popup, layered, kept off the taskbar, and
    // transparent to the mouse.
    static constexpr DWORD kStyle = WS_POPUP;
    static constexpr DWORD kExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT;

    // Nine slices without the centre, caps a quarter of the image.
    CHBlendedWindow() noexcept : CHImagePainter(4, 0.25) {}

    // Creates the window with the traits above (pRect null: the default
    // position). It stays hidden until it is shown. Throws on failure.
    HWND Create(HWND hWndParent, const RECT* pRect = nullptr, LPCWSTR pszTitle = nullptr, DWORD dwStyle = kStyle,
                DWORD dwExStyle = kExStyle);

    // Copies the image (straight alpha, as loaded) and premultiplies the copy,
    // which is what UpdateLayeredWindow blends with. The caller's image is left as it is.
    void Init(const CHImage& image);
    const CHImage& GetImage() const noexcept { return m_image; }

    // Renders the whole window into a transparent 32-bit surface of its size and
    // pushes it to the screen with UpdateLayeredWindow. hDC is the destination
    // device context; null uses the window's own. Nothing happens while the
    // window is hidden (showing it renders it).
    void UpdateWindow(HDC hDC = nullptr);
    // What UpdateWindow pushes: the window's surface rendered into a new image
    // of the window's size (premultiplied, alpha 0 where nothing was painted).
    // Works on hidden windows too; an empty image for a window of no size.
    void RenderSurface(CHImage& surface);
    // Lays the image into rcPaint of the device context with the painter,
    // alpha-blended. rcPaint is the window rectangle in client coordinates.
    virtual void PaintWindow(HDC hDC, const RECT& rcPaint);

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

protected:
    LPCWSTR GetWndClassName() const noexcept override { return L"DEVEDar.BlendedWindow"; }

    // WM_SHOWWINDOW: renders when shown.
    void OnShowWindow(BOOL bShow) noexcept;
    // WM_WINDOWPOSCHANGED: renders when the window was shown, or when anything
    // besides SWP_NOSIZE and SWP_NOOWNERZORDER is flagged (a move, a z-order
    // change, a frame change, and the system's own client flags).
    void OnWindowPosChanged(const WINDOWPOS& pos) noexcept;

private:
    // Paints into a fresh transparent surface of the window's size, selected
    // into a memory device context, and calls use(hMemDC, rcWindow) while it is.
    template <class Use>
    void Render(CHImage& surface, Use&& use);
    // UpdateLayeredWindow with the rendered surface (selected into hMemDC) at
    // rcWindow; hDC as for UpdateWindow. (A named method, not a lambda, so
    // that a failure names it in the error's trail.)
    void PushToScreen(HDC hDC, HDC hMemDC, const RECT& rcWindow);

    CHImage m_image;
};
