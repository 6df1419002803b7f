// The background of a skinned dialog: it paints the dialog's client area and
// answers the colour messages of the dialog's controls (WM_CTLCOLOR*) with the
// skin's text colour and a brush that continues the dialog's background under
// the control.
//
// Kinds of background:
//   kindBrush            a plain brush (a solid colour, or a tiled image)
//   kindStretchedBitmap  an image stretched over the whole background rectangle
//   kindOwnerPainted     the owner (CClient) paints it
// The last two are drawn once into a pattern brush of the background
// rectangle's size (on a bitmap of the screen's colour depth) and reused
// while the size stays the same. The brush's origin is set so that the
// pattern lines up with the dialog, also in a control's colour answer.
//
// Text colours of a colour message: the control's window, else its control
// ID, else the message's class (the message itself is the key), else the
// default text colour. The background is transparent for every message but
// WM_CTLCOLOREDIT (an edit control draws its text opaque). Windows and control
// IDs marked "no background" get the null brush.
//
// The dialog passes its messages through OnMessage (colour messages, erase,
// size). Everything runs on the dialog's thread.
#pragma once

#include <windows.h>

#include <vector>

#include "RAde/DEVEDar/HCtlColorSet.h"
#include "RAde/DEVEDar/HImage.h"

class CHWndBackGround
{
public:
    // What the background's owner (the dialog) does for it.
    class CClient
    {
    public:
        // Paints the background into hDC over rc (owner-painted kind).
        virtual void PaintBackground(HDC hDC, const RECT& rc) = 0;
        // The part of the window's client area the background covers.
        virtual RECT GetBackgroundRect(HWND hWnd) = 0;

    protected:
        ~CClient() = default;
    };

    enum EKind
    {
        kindBrush = 0,
        kindStretchedBitmap = 2,
        kindOwnerPainted = 3,
    };

    CHWndBackGround() = default;
    CHWndBackGround(const CHWndBackGround&) = delete;
    CHWndBackGround& operator=(const CHWndBackGround&) = delete;

    // The dialog whose background this is; pOwner may be null (the background
    // rectangle is then the client rectangle, and kindOwnerPainted paints nothing).
    void Attach(HWND hWndDialog, CClient* pOwner = nullptr) noexcept;
    HWND GetWindow() const noexcept { return m_hWnd; }

    // The kinds. A solid colour or a tiled image are plain brushes; the image
    // of kindStretchedBitmap is borrowed and must outlive the background.
    void SetSolidColor(COLORREF crColor);
    void SetTiledImage(const CHImage& image);
    void SetStretchedImage(const CHImage& image);
    void SetOwnerPainted() noexcept;
    int GetKind() const noexcept { return m_nKind; }

    void SetDefaultTextColor(COLORREF crText) noexcept { m_crDefaultText = crText; }
    COLORREF GetDefaultTextColor() const noexcept { return m_crDefaultText; }

    // The skin's tables (borrowed; they must outlive the background): text
    // colours by control ID, and text colours and brushes by colour message.
    void SetControlTextColors(const CHCtlColorSet* pSet) noexcept { m_pTextByControlId = pSet; }
    void SetClassTextColors(const CHCtlColorSet* pSet) noexcept { m_pTextByMessage = pSet; }
    void SetClassBrushes(const CHCtlBkBrushSet* pSet) noexcept { m_pBrushByMessage = pSet; }
    // A text colour for one control window, and the controls that get no background.
    void SetWindowTextColor(HWND hWndControl, COLORREF crText);
    void SetNoBackground(HWND hWndControl);
    void SetNoBackgroundForId(int nControlId);

    // The message hook: TRUE (result in lResult) for the colour messages and
    // WM_ERASEBKGND; WM_SIZE invalidates a stretched background and is not
    // handled. Never throws.
    BOOL OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;

    // Sets the control's text colour and mode in hDC; returns its brush.
    HBRUSH OnCtlColor(UINT uMsg, HDC hDC, HWND hWndControl);
    // Fills the part of the background rectangle that lies in hDC's clip box.
    void Erase(HDC hDC);
    // The brush the background is painted with (made for the current size).
    HBRUSH GetBackgroundBrush();
    RECT GetBackgroundRect() const;

private:
    struct CWindowColor
    {
        HWND hWnd;
        COLORREF crText;
    };

    // Takes the new brush (null: the system's failure is thrown).
    void SetPlainBrush(HBRUSH hBrush);
    COLORREF TextColorFor(UINT uMsg, HWND hWndControl, int nControlId) const;
    bool HasNoBackground(HWND hWndControl, int nControlId) const;
    // The pattern brush of kinds 2 and 3, remade when the size changed.
    HBRUSH PatternBrushFor(const RECT& rcBackground);

    HWND m_hWnd = nullptr;
    int m_nKind = kindBrush;
    CClient* m_pOwner = nullptr;
    COLORREF m_crDefaultText = 0;
    CHBrushHandle m_hBrush;
    SIZE m_brushSize = {};
    const CHImage* m_pBitmap = nullptr;

    std::vector<CWindowColor> m_textByWindow;
    const CHCtlColorSet* m_pTextByControlId = nullptr;
    const CHCtlColorSet* m_pTextByMessage = nullptr;
    const CHCtlBkBrushSet* m_pBrushByMessage = nullptr;
    std::vector<HWND> m_noBackgroundWindows;
    std::vector<int> m_noBackgroundIds;
};
