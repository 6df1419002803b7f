// Controls drawn over their parent's background: the parent's brush and text
// colours, a control drawn at its place in the parent's device context, and
// the children repainted over a background the parent has just painted.
#pragma once

#include <windows.h>

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
