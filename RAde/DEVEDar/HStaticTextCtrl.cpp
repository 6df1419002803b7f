#include "RAde/DEVEDar/HStaticTextCtrl.h"

#include <string>

#include "RAde/DEVEDar/HAccessibleProxy.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"

CHMessageAnswer CHStaticTextCtrl::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_ERASEBKGND:
        HTRY {
            FillBackground(reinterpret_cast<HDC>(wParam));
        } HCATCH_LOG
        return 1;
    case WM_PAINT:
        OnPaint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_SETTEXT:
        return OnSetText(wParam, lParam);
    case kDrawMessage:
        HTRY {
            PaintText(reinterpret_cast<HDC>(wParam));
        } HCATCH_LOG
        return 0;
    case WM_GETOBJECT:
        return CHAccessibleProxy::AnswerClient(m_hWnd, wParam, lParam, CHAccessibleProxy::Role(ROLE_SYSTEM_STATICTEXT));
    default:
        return std::nullopt;
    }
}

void CHStaticTextCtrl::FillBackground(HDC hDC)
{
    RECT rcClient{};
    ::GetClientRect(m_hWnd, &rcClient);
    FillWithParentBrush(m_hWnd, WM_CTLCOLORSTATIC, hDC, rcClient);
}

void CHStaticTextCtrl::OnPaint(HDC hGivenDC)
{
    HTRY {
        const CHPaintTarget target(m_hWnd, hGivenDC);
        if (hGivenDC != nullptr)
            ::ValidateRect(m_hWnd, nullptr);
        FillBackground(target.Get());
        PaintText(target.Get());
    } HCATCH_LOG
}

LRESULT CHStaticTextCtrl::OnSetText(WPARAM wParam, LPARAM lParam)
{
    // The system's static procedure paints the new text at once, grey on grey;
    // hidden for that moment, it only stores it. Painted by this control after.
    const LONG_PTR nStyle = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    const bool bVisible = (nStyle & WS_VISIBLE) != 0;
    if (bVisible)
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, nStyle & ~static_cast<LONG_PTR>(WS_VISIBLE));
    const LRESULT lResult = DefWindowProc(WM_SETTEXT, wParam, lParam);
    if (bVisible)
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) | WS_VISIBLE);
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    return lResult;
}

void CHStaticTextCtrl::PaintText(HDC hDC)
{
    const CHSavedDC saved(hDC);
    const CHSelectedObject font(hDC, reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    ::SetBkMode(hDC, TRANSPARENT);
    if (m_crText != kNoTextColor)
        ::SetTextColor(hDC, m_crText);
    RECT rcClient{};
    ::GetClientRect(m_hWnd, &rcClient);
    const UINT nFormat = GetStaticTextFormat(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)) | m_nExtraFormat;
    DrawTextInRect(hDC, GetWindowTextOf(m_hWnd), rcClient, nFormat);
}
