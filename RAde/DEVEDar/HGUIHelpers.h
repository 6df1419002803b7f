// Small helpers of the skinned GUI library that several floors share.
#pragma once

#include <windows.h>

#include <string>

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

// The DrawText format of a static control's text: SS_CENTER and SS_RIGHT
// word-wrapped, SS_SIMPLE on one line, anything else left and word-wrapped;
// SS_NOPREFIX shows an ampersand as it is.
UINT GetStaticTextFormat(LONG_PTR nStyle) noexcept;

// Draws text like DrawTextW. Word-wrapped text that is to be centred
// vertically (DT_VCENTER) or bottom-aligned (DT_BOTTOM) is measured in the
// rectangle first and moved there, which DrawTextW does for single lines only.
// Right-to-left text (DT_RTLREADING) that is centred or right-aligned is laid
// out line by line by its shaped width (Uniscribe): a DrawTextW that measures
// joined scripts such as Arabic by their letters' separate forms would put
// each line off its place. Returns the height of the text drawn.
int DrawTextInRect(HDC hDC, const std::wstring& strText, const RECT& rc, UINT nFormat);

// Measures word-wrapped text in hFont within rc's width, as an edit control
// would wrap it: rc keeps its width and gets the text's height. The measuring
// happens on a memory device context compatible with hReferenceDC (the
// screen's when null).
void CalcTextSize(const std::wstring& strText, HFONT hFont, RECT& rc, HDC hReferenceDC);

// A control's window text, read with its real length (empty for no window).
std::wstring GetWindowTextOf(HWND hWnd);

// Registers a window class; a class already registered under its name counts
// as registered. False, with the last error set, when the system refuses it.
bool RegisterWindowClass(const WNDCLASSEXW& windowClass) noexcept;

// Message crackers. A mouse message's point (signed: left of or above the
// window is negative); the WINDOWPOS of WM_WINDOWPOSCHANGING and
// WM_WINDOWPOSCHANGED (null for a stray message that carries none).
inline POINT PointFromLParam(LPARAM lParam) noexcept
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}
inline const WINDOWPOS* WindowPosFromLParam(LPARAM lParam) noexcept
{
    return reinterpret_cast<const WINDOWPOS*>(lParam);
}

// The parent's brush for a control of the class the colour message names
// (WM_CTLCOLORSTATIC, WM_CTLCOLORLISTBOX, ...): the parent also sets its text
// colour and mode in hDC. Null when the control has no parent or the parent
// gives none.
HBRUSH GetParentColorBrush(HWND hWnd, UINT nColorMessage, HDC hDC);
// Fills rc with that brush, if there is one.
void FillWithParentBrush(HWND hWnd, UINT nColorMessage, HDC hDC, const RECT& rc);

// Moves hDC's window origin so that a control drawing with its own client
// coordinates draws at its place in its parent (hDC is the parent's).
void MoveOriginToPlaceInParent(HWND hWnd, HDC hDC) noexcept;

// Makes every visible child of hParent whose window meets rcScreen (screen
// coordinates) paint the common part again, now, into its own device context
// (WM_PAINT with the device context in wParam). A dialog calls it from its own
// paint, so that controls drawn over its background come back on top of it.
void RedrawChildrenInRect(HWND hParent, const RECT& rcScreen);

// Owner-drawn list and combo boxes send WM_DRAWITEM and WM_MEASUREITEM to their
// parent, where nothing draws them. A parent that hosts skinned ones passes
// its messages through this routine first: those two go on to the control
// they are about as kReflectedMessageBase + the message, and the control's
// answer becomes the parent's (TRUE). Menu items and every other message are
// left to the parent (FALSE).
constexpr UINT kReflectedMessageBase = 0x2000;
BOOL ReflectOwnerDrawMessage(HWND hParent, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;
