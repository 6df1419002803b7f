#include "RAde/DEVEDar/HCaptionSkin.h"

#include <algorithm>

#include "RAde/DEVEDar/HImagePainter.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/HException.h"

void CHCaptionSkin::CC_DrawCaptionBKGround(const CHCaptionDrawContext& context)
{
    HTRY {
        const CHImage& caption = m_frameImages[frameCaption];
        if (m_bFrameImagesLoaded && !caption.IsNull() && !DrawsInSystemColors()) {
            CHImagePainter(1, 0.25).PaintImage(context.hDC, context.rc, caption, true);
            return;
        }
        CHBrushHandle hBrush(::CreateSolidBrush(DrawsInSystemColors() ? ::GetSysColor(COLOR_HIGHLIGHT) : m_crCaption));
        ::FillRect(context.hDC, &context.rc, hBrush.Get());
    } HCATCH
}

void CHCaptionSkin::DrawCaptionButton(const CHCaptionDrawContext& context, int nButton, int nState)
{
    HTRY {
        int nSlot;
        switch (nState) {
        case captionStateNormal:
            nSlot = CHCaptionButtonImages::slotNormal;
            break;
        case captionStateHover:
            nSlot = CHCaptionButtonImages::slotHover;
            break;
        case captionStatePressed:
            nSlot = CHCaptionButtonImages::slotPressed;
            break;
        default:
            return;
        }
        auto itSet = std::find_if(m_captionButtons.rbegin(), m_captionButtons.rend(),
                                  [&](const auto& images) { return images->m_nButton == nButton; });
        if (itSet == m_captionButtons.rend())
            return;
        const auto& images = (*itSet)->m_images;
        const CHImage* pImage = &images[static_cast<size_t>(nSlot)];
        const CHImage& inactive = images[static_cast<size_t>(nSlot + CHCaptionButtonImages::slotNormalInactive)];
        if (!context.bActive && !inactive.IsNull())
            pImage = &inactive;
        if (pImage->IsNull())
            return;
        const int x = (context.rc.left + context.rc.right - pImage->GetWidth()) / 2;
        const int y = (context.rc.top + context.rc.bottom - pImage->GetHeight()) / 2;
        pImage->AlphaBlend(context.hDC, x, y, pImage->GetWidth(), pImage->GetHeight(), 0, 0, pImage->GetWidth(),
                           pImage->GetHeight(), 0xFF);
    } HCATCH
}

void CHCaptionSkin::CC_DrawText(const CHCaptionDrawContext& context, HWND /*hWnd*/, const std::wstring& strText)
{
    HTRY {
        DrawCaptionText(context, strText, CaptionTextFont(), std::nullopt, false);
    } HCATCH
}

void CHCaptionSkin::DrawCaptionText(const CHCaptionDrawContext& context, const std::wstring& strText, HFONT hFont,
                                    std::optional<COLORREF> crText, bool bRightToLeft)
{
    const CHSavedDC saved(context.hDC);
    const CHSelectedObject font(context.hDC, hFont);
    if (crText)
        ::SetTextColor(context.hDC, *crText);
    ::SetBkMode(context.hDC, TRANSPARENT);
    DrawTextInRect(context.hDC, strText, context.rc,
                   DT_SINGLELINE | DT_VCENTER | (bRightToLeft ? DT_RIGHT | DT_RTLREADING : 0));
}

void CHCaptionSkin::CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge)
{
    HTRY {
        const RECT& rc = context.rc;
        if (!m_bFrameImagesLoaded || DrawsInSystemColors()) {
            CHBrushHandle hBrush(
                ::CreateSolidBrush(DrawsInSystemColors() ? ::GetSysColor(COLOR_WINDOWTEXT) : m_crEdge));
            ::FillRect(context.hDC, &rc, hBrush.Get());
            return;
        }
        const CHImagePainter stretch(1, 0.25);
        auto paint = [&](int nImage, const RECT& rcPiece) {
            if (rcPiece.right > rcPiece.left && rcPiece.bottom > rcPiece.top)
                stretch.PaintImage(context.hDC, rcPiece, m_frameImages[static_cast<size_t>(nImage)], true);
        };
        switch (nEdge) {
        case captionEdgeLeft:
        case captionEdgeRight: {
            // Corner, middle, corner: the corners keep their height.
            const bool bLeft = nEdge == captionEdgeLeft;
            const CHImage& top = m_frameImages[bLeft ? frameEdgeLeftTop : frameEdgeRightTop];
            const CHImage& bottom = m_frameImages[bLeft ? frameEdgeLeftBottom : frameEdgeRightBottom];
            const int yTop = std::min<LONG>(rc.top + top.GetHeight(), rc.bottom);
            const int yBottom = std::max<LONG>(rc.bottom - bottom.GetHeight(), yTop);
            paint(bLeft ? frameEdgeLeftTop : frameEdgeRightTop, {rc.left, rc.top, rc.right, yTop});
            paint(bLeft ? frameEdgeLeft : frameEdgeRight, {rc.left, yTop, rc.right, yBottom});
            paint(bLeft ? frameEdgeLeftBottom : frameEdgeRightBottom, {rc.left, yBottom, rc.right, rc.bottom});
            break;
        }
        case captionEdgeTop:
            paint(frameEdgeTop, rc);
            break;
        case captionEdgeBottom:
            paint(frameEdgeBottom, rc);
            break;
        default:
            break;
        }
    } HCATCH
}

std::wstring CHCaptionSkin::GetButtonTooltip(int nButton)
{
    HTRY {
        if (nButton < 0 || nButton >= static_cast<int>(m_captionTooltips.size()))
            return std::wstring();
        return m_captionTooltips[static_cast<size_t>(nButton)];
    } HCATCH
}

void CHCaptionSkin::SetCaptionButtonTooltip(int nButton, const std::wstring& strText)
{
    HTRY {
        if (nButton < 0 || nButton >= static_cast<int>(m_captionTooltips.size()))
            throw CHException(HError::InvalidParameter, HSITE).AddValue(L"Button", nButton, false);
        m_captionTooltips[static_cast<size_t>(nButton)] = strText;
    } HCATCH
}

void CHCaptionSkin::OnCaptionButtonClick(HWND hWnd, int nButton, int x, int y)
{
    HTRY {
        WPARAM nCommand;
        switch (nButton) {
        case captionButtonClose:
            nCommand = SC_CLOSE;
            break;
        case captionButtonMaximize:
            nCommand = ::IsZoomed(hWnd) ? SC_RESTORE : SC_MAXIMIZE;
            break;
        case captionButtonMinimize:
            nCommand = SC_MINIMIZE;
            break;
        case captionButtonHelp:
            nCommand = SC_CONTEXTHELP;
            break;
        default:
            return;
        }
        ::PostMessageW(hWnd, WM_SYSCOMMAND, nCommand, MAKELPARAM(x, y));
    } HCATCH
}
