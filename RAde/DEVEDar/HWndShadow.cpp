#include "RAde/DEVEDar/HWndShadow.h"

#include <algorithm>

#include "RAde/DEVEDar/HMessageCrackers.h"
#include "RAde/HException.h"

namespace {
// The SetWindowPos flags the shadow takes over from the dialog's move: all but
// SWP_NOZORDER (the shadow always goes directly behind the dialog),
// SWP_NOACTIVATE (added anyway) and the system's private client flags 0x800 and
// 0x1000 that WM_WINDOWPOSCHANGING/-CHANGED carry.
constexpr UINT kPassedFlags = 0x67EB;

// Messages of the dialog that show, hide, move or resize it.
bool MovesSizesShowsOrHides(UINT nFlags) noexcept
{
    return (nFlags & SWP_NOMOVE) == 0 || (nFlags & SWP_NOSIZE) == 0 ||
           (nFlags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0;
}

// The process-wide image and how far it reaches past a dialog at its scale.
struct CDefaultShadow
{
    CHImage image;
    int nMargin = CHWndShadow::kShadowMargin;
};

CDefaultShadow& DefaultShadow() noexcept
{
    static CDefaultShadow s_shadow;
    return s_shadow;
}
}  // namespace

void CHWndShadow::SetDefaultImage(const CHImage& image, float fScale)
{
    HTRY {
        CDefaultShadow& shadow = DefaultShadow();
        shadow.image = image;
        shadow.nMargin = std::max(kShadowMargin, static_cast<int>(kShadowMargin * fScale + 0.5f));
    } HCATCH
}

const CHImage& CHWndShadow::GetDefaultImage() noexcept
{
    return DefaultShadow().image;
}

int CHWndShadow::GetMargin() noexcept
{
    return DefaultShadow().nMargin;
}

void CHWndShadow::Initialize(HWND hWndDialog)
{
    HTRY {
        // One shadow window per object: a second call leaves the first shadow as it is.
        if (hWndDialog == nullptr || !::IsWindow(hWndDialog) || m_wndShadow.IsWindow())
            throw CHException(HError::InvalidParameter, HSITE);
        m_hWndDialog = hWndDialog;
        m_wndShadow.Init(m_imgShadow.IsNull() ? GetDefaultImage() : m_imgShadow);
        m_wndShadow.Create(::GetParent(hWndDialog));
        PositionShading(0);
    } HCATCH
}

void CHWndShadow::PositionShading(UINT nFlags)
{
    HTRY {
        if (!m_wndShadow.IsWindow())
            return;
        RECT rcDialog{};
        HCHECK_WIN32(::GetWindowRect(m_hWndDialog, &rcDialog));
        PositionShading(rcDialog.left, rcDialog.top, rcDialog.right - rcDialog.left, rcDialog.bottom - rcDialog.top,
                        nFlags);
    } HCATCH
}

void CHWndShadow::PositionShading(int x, int y, int cx, int cy, UINT nFlags)
{
    HTRY {
        if (!m_wndShadow.IsWindow())
            return;
        RECT rcDialog{x, y, x + cx, y + cy};
        RECT rcShadow = ShadowRectFor(rcDialog);
        // A shadow that cannot follow is a cosmetic fault, never an error of the dialog.
        ::SetWindowPos(m_wndShadow, m_hWndDialog, rcShadow.left, rcShadow.top, rcShadow.right - rcShadow.left,
                       rcShadow.bottom - rcShadow.top, (nFlags & kPassedFlags) | SWP_NOACTIVATE);
        CutOutDialog(rcDialog, rcShadow);
    } HCATCH
}

RECT CHWndShadow::ShadowRectFor(const RECT& rcDialog) const
{
    if (m_wndShadow.m_nMode != 0)
        return RECT{rcDialog.left - GetMargin(), rcDialog.top - GetMargin(), rcDialog.right + GetMargin(),
                    rcDialog.bottom + GetMargin()};
    // Natural size, centred: the image reaches gx past the dialog on the left and right.
    const CHImage& image = m_wndShadow.GetImage();
    int gx = (image.GetWidth() + rcDialog.left - rcDialog.right) / 2;
    int gy = (image.GetHeight() + rcDialog.top - rcDialog.bottom) / 2;
    return RECT{rcDialog.left - gx, rcDialog.top - gy, rcDialog.right + gx, rcDialog.bottom + gy};
}

void CHWndShadow::CutOutDialog(const RECT& rcDialog, const RECT& rcShadow)
{
    CHRegionHandle shadowRegion(::CreateRectRgn(0, 0, rcShadow.right - rcShadow.left, rcShadow.bottom - rcShadow.top));
    CHRegionHandle dialogRegion(::CreateRectRgn(0, 0, 0, 0));
    HCHECK_WIN32(shadowRegion && dialogRegion);
    // GetWindowRgn gives the region in the dialog's window coordinates.
    if (::GetWindowRgn(m_hWndDialog, dialogRegion.Get()) == ERROR)
        ::SetRectRgn(dialogRegion.Get(), 0, 0, 1, 1);
    ::OffsetRgn(dialogRegion.Get(), rcDialog.left - rcShadow.left, rcDialog.top - rcShadow.top);
    HCHECK_WIN32(::CombineRgn(shadowRegion.Get(), shadowRegion.Get(), dialogRegion.Get(), RGN_DIFF) != ERROR);
    // Once set, the region belongs to the window.
    HCHECK_WIN32(::SetWindowRgn(m_wndShadow, shadowRegion.Get(), FALSE));
    shadowRegion.Detach();
}

RECT CHWndShadow::DialogRectOf(const WINDOWPOS& pos) const
{
    RECT rcCurrent{};
    ::GetWindowRect(m_hWndDialog, &rcCurrent);
    // With SWP_NOMOVE or SWP_NOSIZE the corresponding members are whatever the
    // caller of SetWindowPos passed (often 0), not the dialog's position or size.
    int x = (pos.flags & SWP_NOMOVE) != 0 ? rcCurrent.left : pos.x;
    int y = (pos.flags & SWP_NOMOVE) != 0 ? rcCurrent.top : pos.y;
    int cx = (pos.flags & SWP_NOSIZE) != 0 ? rcCurrent.right - rcCurrent.left : pos.cx;
    int cy = (pos.flags & SWP_NOSIZE) != 0 ? rcCurrent.bottom - rcCurrent.top : pos.cy;
    return RECT{x, y, x + cx, y + cy};
}

void CHWndShadow::OnDialogMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    HTRY {
        if (m_hWndDialog == nullptr)
            return;
        switch (uMsg) {
        case WM_DESTROY:
            m_wndShadow.DestroyWindow();
            break;
        case WM_SHOWWINDOW:
            if (m_wndShadow.IsWindow())
                ::ShowWindow(m_wndShadow, wParam ? SW_SHOWNA : SW_HIDE);
            break;
        case WM_WINDOWPOSCHANGING:
        case WM_WINDOWPOSCHANGED: {
            // The system always passes a WINDOWPOS; a stray message without one is ignored.
            if (lParam == 0)
                break;
            const WINDOWPOS& pos = *WindowPosFromLParam(lParam);
            if (uMsg == WM_WINDOWPOSCHANGING && !MovesSizesShowsOrHides(pos.flags))
                break;
            RECT rcDialog = DialogRectOf(pos);
            PositionShading(rcDialog.left, rcDialog.top, rcDialog.right - rcDialog.left, rcDialog.bottom - rcDialog.top,
                            pos.flags);
            break;
        }
        default:
            break;
        }
    } HCATCH_LOG
}
