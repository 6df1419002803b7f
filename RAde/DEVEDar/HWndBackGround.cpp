#include "RAde/DEVEDar/HWndBackGround.h"

#include <algorithm>

#include "RAde/HException.h"

void CHWndBackGround::Attach(HWND hWndDialog, CClient* pOwner) noexcept
{
    m_hWnd = hWndDialog;
    m_pOwner = pOwner;
}

void CHWndBackGround::SetPlainBrush(HBRUSH hBrush)
{
    HCHECK_WIN32(hBrush);
    m_nKind = kindBrush;
    m_pBitmap = nullptr;
    m_hBrush.Reset(hBrush);
    m_brushSize = {};
}

void CHWndBackGround::SetSolidColor(COLORREF crColor)
{
    HTRY {
        SetPlainBrush(::CreateSolidBrush(crColor));
    } HCATCH
}

void CHWndBackGround::SetTiledImage(const CHImage& image)
{
    HTRY {
        // A pattern brush repeats its bitmap; the system keeps a copy of it.
        SetPlainBrush(::CreatePatternBrush(image.GetHBITMAP()));
    } HCATCH
}

void CHWndBackGround::SetStretchedImage(const CHImage& image)
{
    m_nKind = kindStretchedBitmap;
    m_pBitmap = &image;
    m_hBrush.Reset();
    m_brushSize = {};
}

void CHWndBackGround::SetOwnerPainted() noexcept
{
    m_nKind = kindOwnerPainted;
    m_pBitmap = nullptr;
    m_hBrush.Reset();
    m_brushSize = {};
}

void CHWndBackGround::SetWindowTextColor(HWND hWndControl, COLORREF crText)
{
    HTRY {
        auto it = std::find_if(m_textByWindow.begin(), m_textByWindow.end(),
                               [&](const CWindowColor& entry) { return entry.hWnd == hWndControl; });
        if (it != m_textByWindow.end())
            it->crText = crText;
        else
            m_textByWindow.push_back({hWndControl, crText});
    } HCATCH
}

void CHWndBackGround::SetNoBackground(HWND hWndControl)
{
    HTRY {
        m_noBackgroundWindows.push_back(hWndControl);
    } HCATCH
}

void CHWndBackGround::SetNoBackgroundForId(int nControlId)
{
    HTRY {
        m_noBackgroundIds.push_back(nControlId);
    } HCATCH
}

BOOL CHWndBackGround::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept
{
    HTRY {
        switch (uMsg) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            lResult = reinterpret_cast<LRESULT>(
                OnCtlColor(uMsg, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
            return TRUE;
        case WM_ERASEBKGND:
            Erase(reinterpret_cast<HDC>(wParam));
            lResult = 1;
            return TRUE;
        case WM_SIZE:
            // A stretched image changes everywhere when the size does.
            if (m_nKind == kindStretchedBitmap && m_hWnd) {
                const RECT rcBackground = GetBackgroundRect();
                ::InvalidateRect(m_hWnd, &rcBackground, TRUE);
            }
            return FALSE;
        default:
            return FALSE;
        }
    } HCATCH_LOG
    return FALSE;
}

COLORREF CHWndBackGround::TextColorFor(UINT uMsg, HWND hWndControl, int nControlId) const
{
    for (const CWindowColor& entry : m_textByWindow)
        if (entry.hWnd == hWndControl)
            return entry.crText;
    if (m_pTextByControlId)
        if (std::optional<INT_PTR> value = m_pTextByControlId->LookupInChain(nControlId))
            return static_cast<COLORREF>(*value);
    if (m_pTextByMessage)
        if (std::optional<INT_PTR> value = m_pTextByMessage->LookupInChain(uMsg))
            return static_cast<COLORREF>(*value);
    return m_crDefaultText;
}

bool CHWndBackGround::HasNoBackground(HWND hWndControl, int nControlId) const
{
    return std::find(m_noBackgroundWindows.begin(), m_noBackgroundWindows.end(), hWndControl) !=
               m_noBackgroundWindows.end() ||
           std::find(m_noBackgroundIds.begin(), m_noBackgroundIds.end(), nControlId) != m_noBackgroundIds.end();
}

HBRUSH CHWndBackGround::OnCtlColor(UINT uMsg, HDC hDC, HWND hWndControl)
{
    HTRY {
        const int nControlId = hWndControl ? ::GetDlgCtrlID(hWndControl) : 0;
        ::SetTextColor(hDC, TextColorFor(uMsg, hWndControl, nControlId));
        if (uMsg != WM_CTLCOLOREDIT)
            ::SetBkMode(hDC, TRANSPARENT);
        if (HasNoBackground(hWndControl, nControlId))
            return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));

        // The control paints in its own client coordinates: move the brush's
        // origin so that the pattern continues the dialog's.
        POINT ptControl = {0, 0};
        if (hWndControl && m_hWnd)
            ::MapWindowPoints(hWndControl, m_hWnd, &ptControl, 1);
        const RECT rcBackground = GetBackgroundRect();
        ::SetBrushOrgEx(hDC, rcBackground.left - ptControl.x, rcBackground.top - ptControl.y, nullptr);

        if (m_pBrushByMessage)
            if (HBRUSH hBrush = m_pBrushByMessage->LookupBrush(uMsg))
                return hBrush;
        return GetBackgroundBrush();
    } HCATCH
}

void CHWndBackGround::Erase(HDC hDC)
{
    HTRY {
        const RECT rcBackground = GetBackgroundRect();
        RECT rcFill = rcBackground;
        RECT rcClip = {};
        const int nClip = ::GetClipBox(hDC, &rcClip);
        if (nClip == NULLREGION)
            return;
        if (nClip != ERROR && !::IntersectRect(&rcFill, &rcBackground, &rcClip))
            return;
        HBRUSH hBrush = GetBackgroundBrush();
        if (!hBrush)
            return;
        CHSavedDC saved(hDC);
        ::SetBrushOrgEx(hDC, rcBackground.left, rcBackground.top, nullptr);
        ::FillRect(hDC, &rcFill, hBrush);
    } HCATCH
}

RECT CHWndBackGround::GetBackgroundRect() const
{
    HTRY {
        if (m_pOwner)
            return m_pOwner->GetBackgroundRect(m_hWnd);
        RECT rcClient = {};
        if (m_hWnd)
            ::GetClientRect(m_hWnd, &rcClient);
        return rcClient;
    } HCATCH
}

HBRUSH CHWndBackGround::GetBackgroundBrush()
{
    HTRY {
        if (m_nKind == kindStretchedBitmap || m_nKind == kindOwnerPainted)
            return PatternBrushFor(GetBackgroundRect());
        // Nothing chosen yet: the system's dialog colour.
        return m_hBrush ? m_hBrush.Get() : ::GetSysColorBrush(COLOR_3DFACE);
    } HCATCH
}

HBRUSH CHWndBackGround::PatternBrushFor(const RECT& rcBackground)
{
    HTRY {
        const SIZE size = {rcBackground.right - rcBackground.left, rcBackground.bottom - rcBackground.top};
        if (size.cx <= 0 || size.cy <= 0)
            return nullptr;
        if (m_hBrush && size.cx == m_brushSize.cx && size.cy == m_brushSize.cy)
            return m_hBrush.Get();

        CHWindowDC screen({nullptr, ::GetDC(nullptr)});
        HCHECK_WIN32(screen.Get().hDC);
        CHBitmapHandle hBitmap(::CreateCompatibleBitmap(screen.Get().hDC, size.cx, size.cy));
        CHMemoryDC memoryDC(::CreateCompatibleDC(screen.Get().hDC));
        HCHECK_WIN32(hBitmap && memoryDC);
        {
            // Deselected before the brush is made from the bitmap.
            const CHSelectedObject bitmap(memoryDC.Get(), hBitmap.Get());
            const RECT rcBitmap = {0, 0, size.cx, size.cy};
            ::FillRect(memoryDC.Get(), &rcBitmap, ::GetSysColorBrush(COLOR_3DFACE));
            if (m_nKind == kindStretchedBitmap && m_pBitmap && !m_pBitmap->IsNull()) {
                m_pBitmap->StretchBlt(memoryDC.Get(), 0, 0, size.cx, size.cy, 0, 0, m_pBitmap->GetWidth(),
                                      m_pBitmap->GetHeight());
            } else if (m_nKind == kindOwnerPainted && m_pOwner) {
                // The owner paints in the dialog's client coordinates.
                ::SetViewportOrgEx(memoryDC.Get(), -rcBackground.left, -rcBackground.top, nullptr);
                m_pOwner->PaintBackground(memoryDC.Get(), rcBackground);
            }
        }
        CHBrushHandle hBrush(::CreatePatternBrush(hBitmap.Get()));
        HCHECK_WIN32(hBrush);
        m_hBrush = std::move(hBrush);
        m_brushSize = size;
        return m_hBrush.Get();
    } HCATCH
}
