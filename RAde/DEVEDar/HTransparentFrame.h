// A static control, subclassed, that paints an image with per-pixel alpha over
// its parent's background: its own image, the current image of an attached
// animation set while that runs, or an OLE object; then an optional text.
//
// Painting (WM_PAINT; also WM_PRINTCLIENT, which paints into the given device
// context whatever the update region):
//   - the target is the device context in wParam, else the external device
//     context (the parent's, with the frame drawn at its place in the parent),
//     else the one from BeginPaint; WM_PAINT paints only when the frame has
//     an update region, and validates it;
//   - everything is drawn into the back buffer (not with an external device
//     context, which receives the drawing directly) and copied in one go;
//   - the parent's WM_CTLCOLORSTATIC brush fills the frame first, so it shows
//     through transparent pixels;
//   - the image (GetImg) is laid out by the painter's mode (nine slices without
//     the centre, caps of a quarter, unless changed), alpha-blended, over the
//     frame's background brush when one is set to fill first;
//   - without an image, the OLE object is drawn with its aspect ratio (width /
//     height; 0 fills the frame), centred and never enlarged beyond the frame;
//   - the text goes inside the margins, in the text colour and the control's
//     font, aligned by the static style: SS_CENTER and SS_RIGHT word-wrapped,
//     SS_SIMPLE on a single line, anything else left-aligned and word-wrapped.
// Every change to a device context is undone before painting ends.
//
// Timer 21 (the animation timer, when this frame owns it) steps the attached
// set. The frame owns neither the set nor its frames. Detaching (SetAnimation
// with null, or the window's WM_DESTROY) takes the frame out of the set's
// clients and gives up the set's timer if the frame owned it. The destructor
// does not touch the set, which its owner may have destroyed already: an object
// that dies while its window lives is detached by its owner first.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "RAde/DEVEDar/HBackBuffer.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImagePainter.h"
#include "RAde/DEVEDar/HUIErrorHandler.h"
#include "RAde/DEVEDar/HWindowImpl.h"

class CHImageAnimationSet;

class CHTransparentFrame : public CHWindowImpl, public CHImagePainter, public CHUIErrorHandler
{
public:
    static constexpr UINT_PTR kAnimationTimerId = 21;

    CHTransparentFrame() noexcept;
    // The control goes back to its own procedure (the set is left alone, see above).
    ~CHTransparentFrame() override;

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // Attaches pSet (null detaches): this window becomes one of its clients and,
    // with bTimerOwner, the window whose timer drives it. The frame must be
    // bound to its window. Repaints the frame.
    void SetAnimation(CHImageAnimationSet* pSet, bool bTimerOwner);
    CHImageAnimationSet* GetAnimation() const noexcept { return m_pAnimSet; }
    bool HasAnimation() const noexcept { return m_bAnimAttached; }

    // The image to paint now: the attached set's image of animation 0 while it
    // gives one (a running set; possibly an empty frame), else the frame's own
    // image (possibly empty). An image without pixels lets the OLE object show.
    virtual const CHImage* GetImg();
    // Takes a copy of image (straight alpha, as loaded) as the frame's own
    // image, premultiplied; releases the OLE object. Repaints without erase.
    // (windows.h makes "LoadImage" a macro for LoadImageW, hence the name.)
    void LoadImageW(const CHImage& image);
    // Empties the frame's own image and releases the OLE object.
    void ClearImage();
    const CHImage& GetOwnImage() const noexcept { return m_image; }

    // What the frame shows besides its image; each setter repaints the frame.
    void SetText(const std::wstring& strText);
    void SetTextColor(COLORREF crText);
    void SetMargins(int nLeft, int nTop, int nRight, int nBottom);
    // The frame owns the brush. bFill: fill the frame with it under the image.
    void SetBackgroundBrush(CHBrushHandle&& hBrush, bool bFill);
    // Drawn when there is no image; fAspectRatio is width / height, 0 to fill.
    void SetOleObject(IUnknown* pObject, float fAspectRatio);
    // Paint into this device context of the parent instead of the frame's own
    // (null: the frame's own); the caller keeps it valid while it is set.
    void SetExternalDC(HDC hDC) noexcept { m_hExternalDC = hDC; }

    // Where an OLE object of this aspect ratio is drawn within rcClient (the
    // whole of it for a ratio that is not a positive finite number, or for an
    // empty rcClient).
    static RECT OleObjectRect(const RECT& rcClient, float fAspectRatio) noexcept;

protected:
    void OnPaint(HDC hGivenDC, bool bNeedUpdateRegion);
    void OnTimer(UINT_PTR nId);

private:
    void Draw(HDC hDC, const RECT& rcClient);
    void PaintText(HDC hDC, const RECT& rcClient);
    void Detach() noexcept;
    void Repaint() noexcept;

    HDC m_hExternalDC = nullptr;
    COLORREF m_crText = 0;
    CHImage m_image;
    int m_nMarginLeft = 0;
    int m_nMarginTop = 0;
    int m_nMarginRight = 0;
    int m_nMarginBottom = 0;
    CHImageAnimationSet* m_pAnimSet = nullptr;
    std::wstring m_strText;
    CHBrushHandle m_hBkBrush;
    bool m_bFillBk = false;
    CHUnknownPtr m_pOleObject;
    float m_fAspectRatio = 0.0f;
    CHBackBuffer m_backBuffer;
    bool m_bAnimAttached = false;
};
