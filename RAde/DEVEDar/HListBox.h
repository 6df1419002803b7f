// A list box of a skinned dialog: its owner-drawn items drawn over the
// dialog's background (CHOwnerDrawList), with an optional selection image and
// text indents.
#pragma once

#include <oleacc.h>

#include "RAde/DEVEDar/HOwnerDrawList.h"

class CHListBox : public CHOwnerDrawList
{
public:
    // Drawn stretched over a selected item instead of the selection colour; borrowed.
    void SetSelectionImage(const CHImage* pImage) noexcept { m_look.m_pSelectionImage = pImage; }
    void SetIndents(int nLeft, int nRight) noexcept;

    std::wstring GetItemText(int nItem) const override;
    LONG GetAccessibleRole() const noexcept override { return ROLE_SYSTEM_LIST; }
};
