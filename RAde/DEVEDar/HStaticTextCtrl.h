// A static text of a skinned dialog, drawn over the dialog's background (the
// brush of the dialog's WM_CTLCOLORSTATIC answer) instead of the system's
// grey: the control's font, the text colour the dialog sets (or one of its
// own), the alignment of the static style, several lines centred vertically
// too. A new text is set without showing the system's own drawing of it.
// A screen reader is told it is static text (CHAccessibleProxy::Role).
#pragma once

#include <windows.h>

#include "RAde/DEVEDar/HWindowImpl.h"

class CHStaticTextCtrl : public CHWindowImpl
{
public:
    // wParam: the device context to draw the text into.
    static constexpr UINT kDrawMessage = WM_APP + 10;
    // No colour of its own: the dialog's answer decides.
    static constexpr COLORREF kNoTextColor = CLR_INVALID;

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // DrawText flags added to those of the style (DT_VCENTER, DT_NOPREFIX, ...).
    void SetExtraFormat(UINT nFormat) noexcept { m_nExtraFormat = nFormat; }
    void SetTextColor(COLORREF crText) noexcept { m_crText = crText; }
    UINT GetExtraFormat() const noexcept { return m_nExtraFormat; }
    COLORREF GetTextColor() const noexcept { return m_crText; }

    void PaintText(HDC hDC);

private:
    void OnPaint(HDC hGivenDC);
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
    void FillBackground(HDC hDC);

    UINT m_nExtraFormat = 0;
    COLORREF m_crText = kNoTextColor;
};
