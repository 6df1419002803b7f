#include "RAde/DEVEDar/HComboBox.h"

std::wstring CHComboBox::GetItemText(int nItem) const
{
    return ReadItemText(nItem, CBS_HASSTRINGS, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}
