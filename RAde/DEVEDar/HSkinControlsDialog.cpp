#include "RAde/DEVEDar/HSkinControlsDialog.h"

#include <initializer_list>

void FillSkinControls(HWND hDialog)
{
    for (const wchar_t* pszItem : {L"First item", L"Second item", L"Third item"}) {
        ::SendDlgItemMessageW(hDialog, IDC_SKIN_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszItem));
        ::SendDlgItemMessageW(hDialog, IDC_SKIN_OWNERCOMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszItem));
    }
    ::SendDlgItemMessageW(hDialog, IDC_SKIN_LIST, LB_SETCURSEL, 1, 0);
    ::SendDlgItemMessageW(hDialog, IDC_SKIN_OWNERCOMBO, CB_SETCURSEL, 0, 0);
    ::SendDlgItemMessageW(hDialog, IDC_SKIN_CHECK, BM_SETCHECK, BST_CHECKED, 0);
}
