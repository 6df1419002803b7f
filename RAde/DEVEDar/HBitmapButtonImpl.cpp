#include "RAde/DEVEDar/HBitmapButtonImpl.h"

#include <commctrl.h>

#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/HException.h"

BOOL CHBitmapButtonImpl::SubclassWindow(HWND hWnd) noexcept
{
    if (!CHWindowImpl::SubclassWindow(hWnd))
        return FALSE;
    HTRY {
        // Owner-drawn, the system's button procedure leaves the drawing to the
        // parent (which ignores it) instead of painting a standard button
        // over ours whenever its state changes. The type bits are replaced,
        // not combined: a radio button's 4 or a three-state box's 5 or 6 with
        // the owner-draw 11 would make type 15, a command link the system paints.
        LONG_PTR nStyle = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
        ::SetWindowLongPtrW(hWnd, GWL_STYLE, (nStyle & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
        CreateToolTip();
    } HCATCH_LOG
    return TRUE;
}

HWND CHBitmapButtonImpl::UnsubclassWindow() noexcept
{
    m_toolTip.Reset();
    return CHWindowImpl::UnsubclassWindow();
}

void CHBitmapButtonImpl::CreateToolTip()
{
    HTRY {
        INITCOMMONCONTROLSEX init{};
        init.dwSize = sizeof(init);
        init.dwICC = ICC_BAR_CLASSES;  // the tooltip class
        ::InitCommonControlsEx(&init);
        HWND hToolTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
        HCHECK_WIN32(hToolTip);
        m_toolTip.Reset(hToolTip);
    } HCATCH
}

DWORD CHBitmapButtonImpl::SetBitmapButtonExtendedStyle(DWORD dwExtendedStyle, DWORD dwMask) noexcept
{
    DWORD dwOld = m_dwExtendedStyle;
    m_dwExtendedStyle = dwMask == 0 ? dwExtendedStyle : (dwOld & ~dwMask) | (dwExtendedStyle & dwMask);
    return dwOld;
}

void CHBitmapButtonImpl::DoPaint(HDC) {}

void CHBitmapButtonImpl::Repaint() noexcept
{
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
}

BOOL CHBitmapButtonImpl::StartTrackMouseLeave() noexcept
{
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = m_hWnd;
    return ::TrackMouseEvent(&track);
}

bool CHBitmapButtonImpl::IsInside(LPARAM lParam) const noexcept
{
    POINT pt = PointFromLParam(lParam);
    ::ClientToScreen(m_hWnd, &pt);
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return ::PtInRect(&rc, pt) != FALSE;
}

CHMessageAnswer CHBitmapButtonImpl::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        OnPaint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(lParam);
        return std::nullopt;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        OnFocus(uMsg == WM_SETFOCUS);
        return std::nullopt;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // a quick second click is a click as well
        return OnLButtonDown(uMsg, wParam, lParam);
    case WM_LBUTTONUP:
        return OnLButtonUp(wParam, lParam);
    case WM_CAPTURECHANGED:
        OnCaptureChanged();
        return std::nullopt;
    case WM_ENABLE:
        Repaint();
        return std::nullopt;
    case WM_DESTROY:
        // The tooltip is owned by the button and goes with it; forget it first.
        m_toolTip.Reset();
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

void CHBitmapButtonImpl::OnPaint(HDC hDC) noexcept
{
    HTRY {
        if (hDC != nullptr) {
            DoPaint(hDC);
            return;
        }
        CHPaintDC paint(m_hWnd);
        DoPaint(paint.Get());
    } HCATCH_LOG
}

void CHBitmapButtonImpl::OnMouseMove(LPARAM lParam) noexcept
{
    if (::GetCapture() == m_hWnd) {
        // While the button holds the mouse, it looks pressed only with the pointer inside.
        unsigned fPressed = IsInside(lParam) ? 1 : 0;
        if (m_fPressed != fPressed) {
            m_fPressed = fPressed;
            Repaint();
        }
    } else if (IsHoverMode() && !m_fMouseOver) {
        m_fMouseOver = 1;
        Repaint();
        StartTrackMouseLeave();
    }
}

void CHBitmapButtonImpl::OnMouseLeave() noexcept
{
    if (!m_fMouseOver)
        return;
    m_fMouseOver = 0;
    Repaint();
}

void CHBitmapButtonImpl::OnFocus(bool bFocus) noexcept
{
    m_fFocus = bFocus ? 1 : 0;
    Repaint();
}

LRESULT CHBitmapButtonImpl::OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    LRESULT lResult = 0;
    if (IsHoverMode())
        ::SetCapture(m_hWnd);
    else
        lResult = DefWindowProc(uMsg, wParam, lParam);  // the system takes the capture and the focus
    if (::GetCapture() == m_hWnd) {
        m_fPressed = 1;
        Repaint();
    }
    return lResult;
}

LRESULT CHBitmapButtonImpl::OnLButtonUp(WPARAM wParam, LPARAM lParam) noexcept
{
    const bool bHover = IsHoverMode();
    LRESULT lResult = 0;
    if (!bHover)
        lResult = DefWindowProc(WM_LBUTTONUP, wParam, lParam);  // releases the capture, sends BN_CLICKED
    if (::GetCapture() != m_hWnd)
        return lResult;
    const bool bClicked = bHover && m_fPressed && IsInside(lParam);
    HWND hWnd = m_hWnd;
    // Released first, so the button shows itself unpressed before the parent
    // acts on the click (which may open a dialog, or destroy the button).
    ::ReleaseCapture();
    if (bClicked)
        ::SendMessageW(::GetParent(hWnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hWnd), BN_CLICKED),
                       reinterpret_cast<LPARAM>(hWnd));
    return lResult;
}

void CHBitmapButtonImpl::OnCaptureChanged() noexcept
{
    if (!m_fPressed)
        return;
    m_fPressed = 0;
    Repaint();
}
