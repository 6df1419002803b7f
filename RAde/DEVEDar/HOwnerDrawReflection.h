// Owner-drawn list and combo boxes send WM_DRAWITEM and WM_MEASUREITEM to their
// parent, where nothing draws them. A parent that hosts skinned ones passes
// its messages through ReflectOwnerDrawMessage first: those two go on to the
// control they are about as kReflectedMessageBase + the message, and the
// control's answer becomes the parent's (TRUE). Menu items and every other
// message are left to the parent (FALSE).
#pragma once

#include <windows.h>

constexpr UINT kReflectedMessageBase = 0x2000;
BOOL ReflectOwnerDrawMessage(HWND hParent, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;
