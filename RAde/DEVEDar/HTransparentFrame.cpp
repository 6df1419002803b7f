#include "RAde/DEVEDar/HTransparentFrame.h"

#include <cmath>

#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HImageHelper.h"
#include "RAde/HException.h"

CHTransparentFrame::CHTransparentFrame() noexcept : CHImagePainter(4, 0.25)
{
    m_backBuffer.Enable(true);
}

CHTransparentFrame::~CHTransparentFrame() = default;

CHMessageAnswer CHTransparentFrame::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM)
{
    switch (uMsg) {
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        OnPaint(reinterpret_cast<HDC>(wParam), uMsg == WM_PAINT);
        return 0;
    case WM_DESTROY:
        // The set must not keep repainting or timing a window that is gone.
        Detach();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

void CHTransparentFrame::Detach() noexcept
{
    HTRY {
        CHImageAnimationSet* pOld = m_pAnimSet;
        m_pAnimSet = nullptr;
        m_bAnimAttached = false;
        if (pOld == nullptr || m_hWnd == nullptr)
            return;
        pOld->RemoveClient(m_hWnd);
        if (pOld->GetOwner() == m_hWnd)
            pOld->SetOwner(nullptr);
    } HCATCH_LOG
}

void CHTransparentFrame::Repaint() noexcept
{
    if (m_hWnd != nullptr)
        ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CHTransparentFrame::SetAnimation(CHImageAnimationSet* pSet, bool bTimerOwner)
{
    HTRY {
        if (pSet != nullptr && m_hWnd == nullptr)
            throw CHException(HError::InvalidParameter, HSITE);
        Detach();
        if (pSet != nullptr) {
            pSet->AddClient(m_hWnd);
            if (bTimerOwner)
                pSet->SetOwner(m_hWnd);
            m_pAnimSet = pSet;
            m_bAnimAttached = true;
        }
        Repaint();
    } HCATCH
}

const CHImage* CHTransparentFrame::GetImg()
{
    HTRY {
        // What the set gives is shown even when it holds no pixels (then the
        // OLE object, if any, is drawn instead).
        if (m_pAnimSet != nullptr)
            if (const CHImage* pImage = m_pAnimSet->GetImage(0))
                return pImage;
        return &m_image;
    } HCATCH
}

void CHTransparentFrame::LoadImageW(const CHImage& image)
{
    HTRY {
        ClearImage();
        if (!image.IsNull()) {
            // Through PNG, so that any image (also one that is not a 32-bit
            // DIB section) arrives as 32 bits with straight alpha.
            m_image.LoadThroughPng(image);
            PremultiplyAlpha(m_image);
        }
        Repaint();
    } HCATCH
}

void CHTransparentFrame::ClearImage()
{
    HTRY {
        m_image.Destroy();
        m_pOleObject.Reset();
    } HCATCH
}

void CHTransparentFrame::SetText(const std::wstring& strText)
{
    HTRY {
        m_strText = strText;
        Repaint();
    } HCATCH
}

void CHTransparentFrame::SetTextColor(COLORREF crText)
{
    m_crText = crText;
    Repaint();
}

void CHTransparentFrame::SetMargins(int nLeft, int nTop, int nRight, int nBottom)
{
    m_nMarginLeft = nLeft;
    m_nMarginTop = nTop;
    m_nMarginRight = nRight;
    m_nMarginBottom = nBottom;
    Repaint();
}

void CHTransparentFrame::SetBackgroundBrush(CHBrushHandle&& hBrush, bool bFill)
{
    m_hBkBrush = std::move(hBrush);
    m_bFillBk = bFill;
    Repaint();
}

void CHTransparentFrame::SetOleObject(IUnknown* pObject, float fAspectRatio)
{
    m_pOleObject = CHUnknownPtr::Borrowed(pObject);
    m_fAspectRatio = fAspectRatio;
    Repaint();
}

RECT CHTransparentFrame::OleObjectRect(const RECT& rcClient, float fAspectRatio) noexcept
{
    if (!(fAspectRatio > 0.0f) || !std::isfinite(fAspectRatio))
        return rcClient;
    const int nClientWidth = rcClient.right - rcClient.left;
    const int nClientHeight = rcClient.bottom - rcClient.top;
    if (nClientWidth <= 0 || nClientHeight <= 0)
        return rcClient;
    // The wanted height stays a floating-point number until it is known to
    // fit: a very small ratio asks for more than an int holds (or a float).
    const double dWantedHeight = std::trunc(static_cast<double>(static_cast<float>(nClientWidth) / fAspectRatio));
    int nWidth = nClientWidth;
    int nHeight = 0;
    if (dWantedHeight <= nClientHeight) {
        nHeight = static_cast<int>(dWantedHeight);
    } else {
        // Shrink to fit, keeping the aspect ratio; never enlarge. The wanted
        // width is the client's, so the height's scale is the smaller one and
        // the height becomes the client's.
        const double dScale = nClientHeight / dWantedHeight;
        nWidth = static_cast<int>(std::floor(nClientWidth * dScale + 0.5));
        nHeight = nClientHeight;
    }
    const int nLeft = (rcClient.left + rcClient.right) / 2 - nWidth / 2;
    const int nTop = (rcClient.top + rcClient.bottom) / 2 - nHeight / 2;
    return RECT{nLeft, nTop, nLeft + nWidth, nTop + nHeight};
}

void CHTransparentFrame::OnTimer(UINT_PTR nId)
{
    HTRY {
        if (nId == kAnimationTimerId && m_pAnimSet != nullptr)
            m_pAnimSet->Step();
    } HCATCH_LOG
}

void CHTransparentFrame::OnPaint(HDC hGivenDC, bool bNeedUpdateRegion)
{
    HTRY {
        if (bNeedUpdateRegion && !::GetUpdateRect(m_hWnd, nullptr, FALSE))
            return;
        const CHPaintTarget target(m_hWnd, hGivenDC, m_hExternalDC);
        const bool bExternal = target.IsExternal();
        if (bNeedUpdateRegion)
            ::ValidateRect(m_hWnd, nullptr);

        RECT rcClient{};
        ::GetClientRect(m_hWnd, &rcClient);
        // The parent's device context receives the drawing directly: the
        // buffer would copy to the wrong place in it.
        m_backBuffer.Enable(!bExternal);
        CHBackBufferScope buffer(m_backBuffer, target.Get(), rcClient);
        HDC hDC = buffer.GetDC();
        CHSavedDC saved(hDC);
        if (bExternal)
            MoveOriginToPlaceInParent(m_hWnd, hDC);
        Draw(hDC, rcClient);
    } HCATCH_LOG
}

void CHTransparentFrame::Draw(HDC hDC, const RECT& rcClient)
{
    FillWithParentBrush(m_hWnd, WM_CTLCOLORSTATIC, hDC, rcClient);
    const CHImage* pImage = GetImg();
    if (pImage != nullptr && !pImage->IsNull()) {
        if (m_bFillBk && m_hBkBrush)
            ::FillRect(hDC, &rcClient, m_hBkBrush.Get());
        PaintImage(hDC, rcClient, *pImage, true);
    } else if (m_pOleObject) {
        CHImageHelper::OleDraw(m_pOleObject.Get(), DVASPECT_CONTENT, hDC, OleObjectRect(rcClient, m_fAspectRatio));
    }
    if (!m_strText.empty())
        PaintText(hDC, rcClient);
}

void CHTransparentFrame::PaintText(HDC hDC, const RECT& rcClient)
{
    const CHSelectedObject font(hDC, reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    ::SetTextColor(hDC, m_crText);
    ::SetBkMode(hDC, TRANSPARENT);
    RECT rcText{rcClient.left + m_nMarginLeft, rcClient.top + m_nMarginTop, rcClient.right - m_nMarginRight,
                rcClient.bottom - m_nMarginBottom};
    const UINT nFormat = GetStaticTextFormat(::GetWindowLongPtrW(m_hWnd, GWL_STYLE));
    ::DrawTextW(hDC, m_strText.c_str(), static_cast<int>(m_strText.size()), &rcText, nFormat);
}
