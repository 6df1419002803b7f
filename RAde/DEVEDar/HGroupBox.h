// A group box of a skinned dialog, drawn over the dialog's background: the
// caption in the text colour the dialog's WM_CTLCOLORSTATIC sets, and a frame
// of dark lines with light lines beside them. The caption sits at the left,
// moved in by half its height; with the right-to-left reading style it sits
// at the right, and the frame is mirrored with it. A screen reader is told it
// is a grouping (CHAccessibleProxy::Role).
#pragma once

#include <windows.h>

#include "RAde/DEVEDar/HWindowImpl.h"

class CHGroupBox : public CHWindowImpl
{
public:
    // wParam: the device context to draw the group box into.
    static constexpr UINT kDrawMessage = WM_APP + 10;

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    void SetLineColors(COLORREF crDark, COLORREF crLight) noexcept;
    COLORREF GetDarkColor() const noexcept { return m_crDark; }
    COLORREF GetLightColor() const noexcept { return m_crLight; }

    // Where the caption is drawn in the client rectangle (empty without a caption).
    RECT GetCaptionRect(HDC hDC) const;
    void Draw(HDC hDC);

private:
    void OnPaint(HDC hGivenDC);

    COLORREF m_crLight = 0xFFFFFF;
    COLORREF m_crDark = 0x808080;
};
