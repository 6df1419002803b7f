#include "RAde/DEVEDar/HOwnerDrawReflection.h"

BOOL ReflectOwnerDrawMessage(HWND hParent, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept
{
    HWND hControl = nullptr;
    if (uMsg == WM_DRAWITEM) {
        const auto* pDraw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (pDraw != nullptr && pDraw->CtlType != ODT_MENU)
            hControl = pDraw->hwndItem;
    } else if (uMsg == WM_MEASUREITEM) {
        // The structure names the control by its ID only.
        const auto* pMeasure = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
        if (pMeasure != nullptr && pMeasure->CtlType != ODT_MENU)
            hControl = ::GetDlgItem(hParent, static_cast<int>(pMeasure->CtlID));
    }
    if (hControl == nullptr || ::GetParent(hControl) != hParent)
        return FALSE;
    lResult = ::SendMessageW(hControl, kReflectedMessageBase + uMsg, wParam, lParam);
    return TRUE;
}
