#include "RAde/DEVEDar/HBlendedWindow.h"

#include <cstring>

#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/HException.h"

namespace {
RECT WindowRectOf(HWND hWnd)
{
    RECT rc{};
    HCHECK_WIN32(::GetWindowRect(hWnd, &rc));
    return rc;
}

// The flags of WM_WINDOWPOSCHANGED after which the surface needs no new
// rendering: nothing but "size unchanged" and "owner's z-order unchanged".
constexpr UINT kFlagsNeedingNoUpdate = SWP_NOSIZE | SWP_NOOWNERZORDER;
}  // namespace

HWND CHBlendedWindow::Create(HWND hWndParent, const RECT* pRect, LPCWSTR pszTitle, DWORD dwStyle, DWORD dwExStyle)
{
    HTRY {
        return CHWindowImpl::Create(hWndParent, pRect, pszTitle, dwStyle, dwExStyle);
    } HCATCH
}

void CHBlendedWindow::Init(const CHImage& image)
{
    HTRY {
        m_image = image;
        PremultiplyAlpha(m_image);
    } HCATCH
}

template <class Use>
void CHBlendedWindow::Render(CHImage& surface, Use&& use)
{
    RECT rcWindow = WindowRectOf(m_hWnd);
    int nWidth = rcWindow.right - rcWindow.left;
    int nHeight = rcWindow.bottom - rcWindow.top;
    surface.Destroy();
    if (nWidth <= 0 || nHeight <= 0)
        return;

    CHMemoryDC memDC(::CreateCompatibleDC(nullptr));
    HCHECK_WIN32(memDC);
    surface.Create(nWidth, nHeight, 32, CHImage::createAlphaChannel);
    // Whatever PaintWindow leaves untouched must stay fully transparent.
    for (int y = 0; y < nHeight; ++y)
        std::memset(surface.GetPixelAddress(0, y), 0, static_cast<size_t>(nWidth) * 4);
    const CHSelectedObject selected(memDC.Get(), surface.GetHBITMAP());
    if (!selected)
        throw CHException(HError::InvalidParameter, HSITE);

    RECT rcPaint = rcWindow;
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rcPaint), 2);
    PaintWindow(memDC.Get(), rcPaint);
    ::GdiFlush();
    use(memDC.Get(), rcWindow);
}

void CHBlendedWindow::UpdateWindow(HDC hDC)
{
    HTRY {
        if (m_hWnd == nullptr || !::IsWindowVisible(m_hWnd))
            return;
        CHImage surface;
        Render(surface, [&](HDC hMemDC, const RECT& rcWindow) { PushToScreen(hDC, hMemDC, rcWindow); });
    } HCATCH
}

void CHBlendedWindow::PushToScreen(HDC hDC, HDC hMemDC, const RECT& rcWindow)
{
    // Without a destination the window's own device context serves.
    CHWindowDC ownDC;
    HDC hDestDC = hDC;
    if (hDestDC == nullptr) {
        hDestDC = ::GetDC(m_hWnd);
        HCHECK_WIN32(hDestDC);
        ownDC.Reset({m_hWnd, hDestDC});
    }
    POINT ptDest{rcWindow.left, rcWindow.top};
    SIZE size{rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top};
    POINT ptSrc{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    HCHECK_WIN32(::UpdateLayeredWindow(m_hWnd, hDestDC, &ptDest, &size, hMemDC, &ptSrc, 0, &blend, ULW_ALPHA));
}

void CHBlendedWindow::RenderSurface(CHImage& surface)
{
    HTRY {
        if (m_hWnd == nullptr)
            throw CHException(HError::NotInitialized, HSITE);
        Render(surface, [](HDC, const RECT&) {});
    } HCATCH
}

void CHBlendedWindow::PaintWindow(HDC hDC, const RECT& rcPaint)
{
    HTRY {
        PaintImage(hDC, rcPaint, m_image, true);
    } HCATCH
}

CHMessageAnswer CHBlendedWindow::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<BOOL>(wParam));
        return 0;
    case WM_WINDOWPOSCHANGING:
        // Nothing to adjust; answering it here also keeps the default
        // procedure's minimum-size tracking away from the shadow.
        return 0;
    case WM_WINDOWPOSCHANGED:
        // The system always passes a WINDOWPOS; a stray message without one is ignored.
        if (lParam != 0)
            OnWindowPosChanged(*WindowPosFromLParam(lParam));
        return 0;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    default:
        return std::nullopt;
    }
}

void CHBlendedWindow::OnShowWindow(BOOL bShow) noexcept
{
    HTRY {
        // WM_SHOWWINDOW comes before the window is visible; the rendering that
        // counts then follows from WM_WINDOWPOSCHANGED with SWP_SHOWWINDOW.
        if (bShow)
            UpdateWindow(nullptr);
    } HCATCH_LOG
}

void CHBlendedWindow::OnWindowPosChanged(const WINDOWPOS& pos) noexcept
{
    HTRY {
        if ((pos.flags & SWP_SHOWWINDOW) != 0 || (pos.flags & ~kFlagsNeedingNoUpdate) != 0)
            UpdateWindow(nullptr);
    } HCATCH_LOG
}
