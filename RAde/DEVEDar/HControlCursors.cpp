#include "RAde/DEVEDar/HControlCursors.h"

#include "RAde/HException.h"

namespace {
template <class Key>
void SetOrErase(std::map<Key, HCURSOR>& cursors, Key key, HCURSOR hCursor)
{
    if (hCursor == nullptr)
        cursors.erase(key);
    else
        cursors[key] = hCursor;
}
}  // namespace

void CHControlCursors::SetWindowCursor(HWND hWnd, HCURSOR hCursor)
{
    SetOrErase(m_byWindow, hWnd, hCursor);
}

void CHControlCursors::SetIdCursor(int nControlId, HCURSOR hCursor)
{
    SetOrErase(m_byId, nControlId, hCursor);
}

HCURSOR CHControlCursors::FindCursor(HWND hWnd) const
{
    if (auto it = m_byWindow.find(hWnd); it != m_byWindow.end())
        return it->second;
    // Only child windows have control IDs (a top-level window's is its menu).
    if (hWnd == nullptr || (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) == 0)
        return nullptr;
    if (auto it = m_byId.find(::GetDlgCtrlID(hWnd)); it != m_byId.end())
        return it->second;
    return nullptr;
}

BOOL CHControlCursors::OnMessage(UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) noexcept
{
    if (uMsg != WM_SETCURSOR || (m_byWindow.empty() && m_byId.empty()))
        return FALSE;
    HTRY {
        if (HCURSOR hCursor = FindCursor(reinterpret_cast<HWND>(wParam))) {
            ::SetCursor(hCursor);
            lResult = TRUE;
            return TRUE;
        }
    } HCATCH_LOG
    return FALSE;
}
