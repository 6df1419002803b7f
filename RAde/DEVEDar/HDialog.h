// The skinned modal dialog of the library: CHDialog<T> is CHDialogBase with
// the concrete dialog T's name in the error trail of every handler (their
// failures are logged as "CHDialog<T>::OnInitDialog" and so on, and never
// leave the window procedure: a dialog whose initialisation failed still
// opens and can be closed).
//
//     class CMyDialog : public CHDialog<CMyDialog> { ... };
//     CMyDialog dialog(IDD_MY_DIALOG);
//     dialog.DoModal(hWndOwner);
#pragma once

#include "RAde/DEVEDar/HDialogBase.h"
#include "RAde/HException.h"

template <class T>
class CHDialog : public CHDialogBase
{
public:
    explicit CHDialog(UINT nTemplateId) : CHDialogBase(nTemplateId) {}

protected:
    LRESULT OnInitDialog() override
    {
        HTRY {
            InitDialogLook();
        } HCATCH_LOG
        return 0;
    }

    void OnPaint() override
    {
        HTRY {
            PaintDialog();
        } HCATCH_LOG
    }

    void OnSize(WPARAM nSizeType, LPARAM lParam) override
    {
        HTRY {
            SizeDialog(nSizeType, lParam);
        } HCATCH_LOG
    }

    CHMessageAnswer OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        HTRY {
            return CommandDialog(wParam, lParam);
        } HCATCH_LOG
        return std::nullopt;
    }

    CHMessageAnswer DelegateColorToParentIfNotPopup(UINT uMsg, WPARAM wParam, LPARAM lParam) override
    {
        HTRY {
            return DelegateColor(uMsg, wParam, lParam);
        } HCATCH_LOG
        return std::nullopt;
    }
};
