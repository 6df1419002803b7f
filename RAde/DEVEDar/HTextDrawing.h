// Measuring and drawing the text of skinned controls: the format of a static
// control's text, text placed in a rectangle (right to left by its shaped
// width), word-wrapped height, and a control's window text.
#pragma once

#include <windows.h>

#include <string>

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
