#include "RAde/DEVEDar/HFont.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "RAde/HException.h"

namespace {
// Vertical dots per inch in the device context's logical units: a mapping
// mode that scales the page (window extent against viewport extent) scales the
// font with it. Extents are taken by size: a y axis pointing up still asks for
// a character height, not a cell height.
double LogicalDotsPerInch(HDC hDC)
{
    if (!hDC)
        return 96.0;
    SIZE window = {1, 1}, viewport = {1, 1};
    HCHECK_WIN32(::GetWindowExtEx(hDC, &window) && ::GetViewportExtEx(hDC, &viewport) && viewport.cy != 0);
    return ::GetDeviceCaps(hDC, LOGPIXELSY) * std::abs(static_cast<double>(window.cy)) /
           std::abs(static_cast<double>(viewport.cy));
}
}  // namespace

void CHFont::CreatePt(int nPointSize, const std::wstring& strFaceName, HDC hDC, DWORD dwFlags)
{
    HTRY {
        m_hFont.Reset();
        const double dPixels = std::floor(LogicalDotsPerInch(hDC) * nPointSize / 72.0 + 0.5);
        // A height that no int holds (a huge size, or a page scaled up a
        // thousandfold) is a font the system cannot make: the handle stays empty.
        if (!(std::fabs(dPixels) <= INT_MAX))
            return;
        const int nPixels = static_cast<int>(dPixels);
        const int nQuality = (dwFlags & fontDraftQuality) ? DRAFT_QUALITY : m_nQuality;
        m_hFont.Reset(::CreateFontW(-nPixels, 0, 0, 0, (dwFlags & fontBold) ? FW_BOLD : FW_NORMAL,
                                    (dwFlags & fontItalic) ? TRUE : FALSE, (dwFlags & fontUnderline) ? TRUE : FALSE,
                                    FALSE, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_DEFAULT_PRECIS,
                                    static_cast<DWORD>(nQuality), 0, strFaceName.c_str()));
    } HCATCH
}
