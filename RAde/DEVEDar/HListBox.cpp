#include "RAde/DEVEDar/HListBox.h"

void CHListBox::SetIndents(int nLeft, int nRight) noexcept
{
    m_look.m_nLeftIndent = nLeft;
    m_look.m_nRightIndent = nRight;
    if (m_hWnd != nullptr)
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

std::wstring CHListBox::GetItemText(int nItem) const
{
    return ReadItemText(nItem, LBS_HASSTRINGS, LB_GETTEXTLEN, LB_GETTEXT);
}
