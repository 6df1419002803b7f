// What the skinned list and combo boxes share: items drawn over the dialog's
// background, the selected one in the selection colour or over the selection
// image. Only owner-drawn controls with strings (LBS_/CBS_OWNERDRAWFIXED or
// VARIABLE with LBS_/CBS_HASSTRINGS) send the WM_DRAWITEM this answers; the
// dialog passes it on to the control (ReflectOwnerDrawMessage), and the
// control answers it in either form.
//
// Its client object (WM_GETOBJECT) tells a screen reader the control's role
// (CHAccessibleProxy::Role), which Wine's system object does not know.
#pragma once

#include <windows.h>

#include <string>

#include "RAde/DEVEDar/HWindowImpl.h"

class CHImage;

// How a skinned list draws its items.
struct CHListItemLook
{
    COLORREF m_crSelection = 0x808080;
    COLORREF m_crSelectedText = 0xFFFFFF;
    const CHImage* m_pSelectionImage = nullptr;  // borrowed
    int m_nLeftIndent = 0;
    int m_nRightIndent = 0;
};

// Draws one item of an owner-drawn list or combo box hControl: the parent's
// list-box brush (WM_CTLCOLORLISTBOX, which also sets the text colour) inside
// the item's rectangle less one pixel, or the selection; then the text,
// vertically centred, between the indents, right-aligned with WS_EX_RIGHT.
// Item -1 (an empty list with the focus) is only the background.
void DrawListItem(HWND hControl, const DRAWITEMSTRUCT& item, const std::wstring& strText, const CHListItemLook& look);

class CHOwnerDrawList : public CHWindowImpl
{
public:
    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    void SetSelectionColors(COLORREF crSelection, COLORREF crSelectedText) noexcept;
    const CHListItemLook& GetLook() const noexcept { return m_look; }

    // An item's text, read with its real length; empty for an item that does
    // not exist and for a control without strings (it keeps only item data).
    virtual std::wstring GetItemText(int nItem) const = 0;
    // What a screen reader is told the control is (ROLE_SYSTEM_LIST, ...);
    // its items are the system's accessible object's.
    virtual LONG GetAccessibleRole() const noexcept = 0;

protected:
    // The text through the control's length and text messages, if it has strings.
    std::wstring ReadItemText(int nItem, DWORD dwHasStringsStyle, UINT nLengthMessage, UINT nTextMessage) const;

    CHListItemLook m_look;
};
