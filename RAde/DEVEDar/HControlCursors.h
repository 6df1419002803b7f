// The mouse cursors of a dialog's controls: a cursor for one control window,
// or for every control with an ID. The dialog passes its messages through
// OnMessage; WM_SETCURSOR for a control with a cursor sets it and ends there.
// The window's cursor wins over its ID's. Cursors are borrowed (LoadCursor
// gives shared ones); everything runs on the dialog's thread.
#pragma once

#include <windows.h>

#include <map>

class CHControlCursors
{
public:
    // A null cursor removes the entry.
    void SetWindowCursor(HWND hWnd, HCURSOR hCursor);
    void SetIdCursor(int nControlId, HCURSOR hCursor);

    // The cursor of a control window, or null.
    HCURSOR FindCursor(HWND hWnd) const;

    // TRUE (result 1) when the message was WM_SETCURSOR over a control with a cursor.
    BOOL OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;

private:
    std::map<HWND, HCURSOR> m_byWindow;
    std::map<int, HCURSOR> m_byId;
};
