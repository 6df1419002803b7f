// Small helpers of the skinned GUI library that several floors share.
#pragma once

#include <windows.h>

// The kind of a dialog's child control, from its window class (compared
// ignoring case) and, for buttons and statics, its style.
enum EControlKind : int
{
    controlPushButton = 0,
    controlRadio = 1,
    controlCheck = 2,
    controlGroup = 3,
    controlText = 4,
    controlEdit = 5,
    controlList = 6,
    controlListView = 7,
    controlTreeView = 8,
    controlDateTime = 9,
    controlMonthCal = 10,
    controlTab = 11,
    controlCombo = 12,
    controlIcon = 13,
    controlRect = 14,
    controlFrame = 15,
    controlUserItem = 16,
    controlPicture = 17,
    controlEtched = 18,
    controlScrollBar = 19,
    controlSlider = 20,
    controlSpin = 21,
    controlProgress = 22,
    controlRichEdit = 23,
    controlHeader = 24,
    controlOther = 25,
};

// The kind of a control window (controlOther for unknown classes and for no window).
EControlKind GetControlKind(HWND hWnd);
EControlKind GetControlKind(const wchar_t* pszClassName, DWORD dwStyle);
// The name under which the skin keeps the settings of a kind's class
// ("button", "check", "list", ...); empty for controlOther.
const wchar_t* GetSkinClassName(int nKind) noexcept;
