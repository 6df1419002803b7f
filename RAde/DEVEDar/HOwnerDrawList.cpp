#include "RAde/DEVEDar/HOwnerDrawList.h"

#include "RAde/DEVEDar/HAccessibleProxy.h"
#include "RAde/DEVEDar/HParentBackground.h"
#include "RAde/DEVEDar/HOwnerDrawReflection.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"

void DrawListItem(HWND hControl, const DRAWITEMSTRUCT& item, const std::wstring& strText, const CHListItemLook& look)
{
    HDC hDC = item.hDC;
    CHSavedDC saved(hDC);
    HBRUSH hParentBrush = GetParentColorBrush(hControl, WM_CTLCOLORLISTBOX, hDC);
    RECT rc = item.rcItem;
    ::InflateRect(&rc, -1, -1);
    const bool bItem = item.itemID != static_cast<UINT>(-1);
    const bool bSelected = bItem && (item.itemState & ODS_SELECTED) != 0;
    const CHImage* pImage = look.m_pSelectionImage;
    if (bSelected && pImage != nullptr && !pImage->IsNull()) {
        if (hParentBrush != nullptr)
            ::FillRect(hDC, &rc, hParentBrush);
        pImage->AlphaBlend(hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, 0, 0, pImage->GetWidth(),
                           pImage->GetHeight());
    } else if (bSelected) {
        CHBrushHandle selection(::CreateSolidBrush(look.m_crSelection));
        ::FillRect(hDC, &rc, selection.Get());
    } else if (hParentBrush != nullptr) {
        ::FillRect(hDC, &rc, hParentBrush);
    }
    if (!bItem)
        return;
    if (bSelected)
        ::SetTextColor(hDC, look.m_crSelectedText);
    rc.left += look.m_nLeftIndent + 1;
    rc.right -= look.m_nRightIndent;
    const CHSelectedObject font(hDC, reinterpret_cast<HFONT>(::SendMessageW(hControl, WM_GETFONT, 0, 0)));
    ::SetBkMode(hDC, TRANSPARENT);
    const bool bRight = (::GetWindowLongPtrW(hControl, GWL_EXSTYLE) & WS_EX_RIGHT) != 0;
    ::DrawTextW(hDC, strText.c_str(), static_cast<int>(strText.size()), &rc,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (bRight ? DT_RIGHT : DT_LEFT));
}

CHMessageAnswer CHOwnerDrawList::AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_GETOBJECT)
        return CHAccessibleProxy::AnswerClient(m_hWnd, wParam, lParam, CHAccessibleProxy::Role(GetAccessibleRole()));
    if (uMsg != WM_DRAWITEM && uMsg != kReflectedMessageBase + WM_DRAWITEM)
        return std::nullopt;
    HTRY {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        DrawListItem(m_hWnd, item, GetItemText(static_cast<int>(item.itemID)), m_look);
    } HCATCH_LOG
    return TRUE;
}

void CHOwnerDrawList::SetSelectionColors(COLORREF crSelection, COLORREF crSelectedText) noexcept
{
    m_look.m_crSelection = crSelection;
    m_look.m_crSelectedText = crSelectedText;
    if (m_hWnd != nullptr)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

std::wstring CHOwnerDrawList::ReadItemText(int nItem, DWORD dwHasStringsStyle, UINT nLengthMessage,
                                           UINT nTextMessage) const
{
    if (nItem < 0 || (::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & dwHasStringsStyle) == 0)
        return {};
    const LRESULT nLength = ::SendMessageW(m_hWnd, nLengthMessage, static_cast<WPARAM>(nItem), 0);
    if (nLength <= 0)
        return {};
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    const LRESULT nCopied =
        ::SendMessageW(m_hWnd, nTextMessage, static_cast<WPARAM>(nItem), reinterpret_cast<LPARAM>(strText.data()));
    strText.resize(nCopied > 0 ? static_cast<size_t>(nCopied) : 0);
    return strText;
}
