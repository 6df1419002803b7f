// A combo box of a skinned dialog: its owner-drawn items, and the closed
// field, drawn over the dialog's background (CHOwnerDrawList).
#pragma once

#include <oleacc.h>

#include "RAde/DEVEDar/HOwnerDrawList.h"

class CHComboBox : public CHOwnerDrawList
{
public:
    std::wstring GetItemText(int nItem) const override;
    LONG GetAccessibleRole() const noexcept override { return ROLE_SYSTEM_COMBOBOX; }
};
