#include "RAde/DEVEDar/HGroupBox.h"

#include <string>

#include "RAde/DEVEDar/HAccessibleProxy.h"
#include "RAde/DEVEDar/HTextDrawing.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"

namespace {
// A solid one-pixel pen, owned.
using CHPenHandle = CHUniqueHandle<CHCloseWith<HPEN, ::DeleteObject>>;

bool IsRightToLeftReading(HWND hWnd) noexcept
{
    return (::GetWindowLongPtrW(hWnd, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0;
}

void DrawPolyline(HDC hDC, HPEN hPen, std::initializer_list<POINT> points)
{
    const CHSelectedObject pen(hDC, hPen);
    ::Polyline(hDC, points.begin(), static_cast<int>(points.size()));
}
}  // namespace

CHMessageAnswer CHGroupBox::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_PAINT:
        OnPaint(reinterpret_cast<HDC>(wParam));
        return 0;
    case kDrawMessage:
        HTRY {
            Draw(reinterpret_cast<HDC>(wParam));
        } HCATCH_LOG
        return 0;
    case WM_GETOBJECT:
        return CHAccessibleProxy::AnswerClient(m_hWnd, wParam, lParam, CHAccessibleProxy::Role(ROLE_SYSTEM_GROUPING));
    default:
        return std::nullopt;
    }
}

void CHGroupBox::SetLineColors(COLORREF crDark, COLORREF crLight) noexcept
{
    m_crDark = crDark;
    m_crLight = crLight;
    if (m_hWnd != nullptr)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CHGroupBox::OnPaint(HDC hGivenDC)
{
    HTRY {
        const CHPaintTarget target(m_hWnd, hGivenDC);
        ::ValidateRect(m_hWnd, nullptr);
        Draw(target.Get());
    } HCATCH_LOG
}

RECT CHGroupBox::GetCaptionRect(HDC hDC) const
{
    RECT rcClient{};
    ::GetClientRect(m_hWnd, &rcClient);
    const std::wstring strText = GetWindowTextOf(m_hWnd);
    const bool bRightToLeft = IsRightToLeftReading(m_hWnd);
    RECT rcMeasured = rcClient;
    ::DrawTextW(hDC, strText.c_str(), static_cast<int>(strText.size()), &rcMeasured,
                DT_SINGLELINE | DT_CALCRECT | (bRightToLeft ? DT_RIGHT : DT_LEFT));
    const int nWidth = strText.empty() ? 0 : rcMeasured.right - rcMeasured.left;
    const int nHeight = rcMeasured.bottom - rcMeasured.top;
    // Moved in from the corner by half the caption's height.
    const int nLeft = bRightToLeft ? rcClient.right - nWidth - nHeight / 2 : rcClient.left + nHeight / 2;
    return RECT{nLeft, rcClient.top, nLeft + nWidth, rcClient.top + nHeight};
}

void CHGroupBox::Draw(HDC hDC)
{
    CHPenHandle darkPen(::CreatePen(PS_SOLID, 1, m_crDark));
    CHPenHandle lightPen(::CreatePen(PS_SOLID, 1, m_crLight));
    HCHECK_WIN32(darkPen && lightPen);
    const CHSavedDC saved(hDC);
    // The dialog sets the caption's colour in its answer.
    GetParentColorBrush(m_hWnd, WM_CTLCOLORSTATIC, hDC);
    const CHSelectedObject font(hDC, reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)));
    ::SetBkMode(hDC, TRANSPARENT);

    RECT rcCaption = GetCaptionRect(hDC);
    const std::wstring strText = GetWindowTextOf(m_hWnd);
    ::DrawTextW(hDC, strText.c_str(), static_cast<int>(strText.size()), &rcCaption,
                DT_SINGLELINE | (IsRightToLeftReading(m_hWnd) ? DT_RTLREADING : 0));

    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    const LONG m = (rcCaption.top + rcCaption.bottom) / 2;
    const LONG capLeft = rcCaption.left, capRight = rcCaption.right;
    DrawPolyline(hDC, darkPen.Get(),
                 {{capLeft, m},
                  {rc.left, m},
                  {rc.left, rc.bottom - 1},
                  {rc.right - 1, rc.bottom - 1},
                  {rc.right - 1, m},
                  {capRight, m}});
    DrawPolyline(hDC, lightPen.Get(), {{capLeft, m + 1}, {rc.left + 1, m + 1}, {rc.left + 1, rc.bottom - 1}});
    DrawPolyline(hDC, lightPen.Get(), {{rc.left, rc.bottom}, {rc.right, rc.bottom}, {rc.right, m}});
    DrawPolyline(hDC, lightPen.Get(), {{rc.right - 2, m + 1}, {capRight, m + 1}});
}
