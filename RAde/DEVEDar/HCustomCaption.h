// The custom caption of a skinned popup dialog: the caption and the frame
// painted from the skin's images, with image caption buttons in place of the
// system's. The caption asks its client (the dialog, which forwards most of it
// to the appearance object) to draw each piece and to act on a button click.
//
// Caption buttons and their numbers: 0 close (WS_SYSMENU), 1 maximize
// (WS_MAXIMIZEBOX), 2 minimize (WS_MINIMIZEBOX), 3 help (WS_EX_CONTEXTHELP);
// 4 is the system menu's place, and 5 the restore image set shown in place of
// maximize while the window is zoomed. Button states: 4 normal, 5 mouse over,
// 6 pressed.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "RAde/DEVEDar/HBackBuffer.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "RAde/HUniqueHandle.h"

enum ECaptionButton : int
{
    captionButtonClose = 0,
    captionButtonMaximize = 1,
    captionButtonMinimize = 2,
    captionButtonHelp = 3,
    captionButtonSysMenu = 4,
    captionButtonRestore = 5,
};

enum ECaptionButtonState : int
{
    captionStateNormal = 4,
    captionStateHover = 5,
    captionStatePressed = 6,
};

// How the caption is laid out (filled by the appearance's SetDefault).
struct CHCaptionParams
{
    // Room for the size of each caption button image set.
    static constexpr int kMaxImageSizes = 7;

    HWND m_hWnd = nullptr;
    bool m_bUseSystemCaptionHeight = true;  // SM_CYCAPTION
    int m_nCaptionHeight = 0;
    HICON m_hIcon = nullptr;  // drawn at the small icon size
    int m_nIconTextGap = 5;
    int m_nTextMarginNoIcon = 3;
    int m_nBorderWidth = 0;
    int m_nBorderHeight = 0;
    bool m_bUseSystemButtonSize = true;  // SM_CXSIZE by SM_CYSIZE
    int m_nButtonWidth = 0;
    int m_nButtonHeight = 0;
    int m_nButtonGap = 0;
    int m_nButtonRightMargin = 0;
    int m_nIconLeftOffset = 0;
    int m_nCenterButtonsVertically = 1;  // 0 puts the buttons at the caption's top
    bool m_bUseImageSizes = false;       // each button as large as its image set
    std::array<SIZE, kMaxImageSizes> m_imageSizes = {};
    int m_nImageSizes = 0;
    bool m_bFrameImagesLoaded = false;
};

// Where a piece of the caption is drawn.
struct CHCaptionDrawContext
{
    HDC hDC = nullptr;
    RECT rc = {};         // the piece's rectangle in hDC
    HWND hWnd = nullptr;  // the captioned window
    bool bActive = true;  // false: the window is inactive (inactive button images)
};

// Window edges of CC_DrawEdge.
enum ECaptionEdge : int
{
    captionEdgeLeft = 0,
    captionEdgeTop = 1,
    captionEdgeRight = 2,
    captionEdgeBottom = 3,
};

class CHCustomCaption
{
public:
    // What the caption asks of whoever owns it, in this order.
    class CClient
    {
    public:
        virtual void CC_DrawCaptionBKGround(const CHCaptionDrawContext& context) = 0;
        virtual void DrawCaptionButton(const CHCaptionDrawContext& context, int nButton, int nState) = 0;
        virtual void CC_DrawText(const CHCaptionDrawContext& context, HWND hWnd, const std::wstring& strText) = 0;
        virtual void CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge) = 0;
        virtual std::wstring GetButtonTooltip(int nButton) = 0;
        virtual void OnCaptionButtonClick(HWND hWnd, int nButton, int x, int y) = 0;

    protected:
        ~CClient() = default;
    };

    // One caption button: its number, its state and where it lies (window
    // coordinates: the window rectangle's top-left corner is 0, 0).
    struct CButton
    {
        int nNumber;
        int nState;
        RECT rc;
    };

    // The system's undocumented caption-drawing message, which is swallowed.
    static constexpr UINT kSystemCaptionMessage = 0xAE;
    static constexpr int kMaxTextLength = 511;

    CHCustomCaption() noexcept;
    // Destroys the tooltips and the listener window.
    ~CHCustomCaption();
    CHCustomCaption(const CHCustomCaption&) = delete;
    CHCustomCaption& operator=(const CHCustomCaption&) = delete;

    // Takes over the caption of hWnd: the caption height and button size
    // (the system's where the parameters say so), the buttons the window's
    // styles allow (close, maximize, minimize, help), its small icon and a
    // tooltip per button. The client must outlive the caption.
    void Attach(HWND hWnd, CClient* pClient, const CHCaptionParams& params);
    bool IsAttached() const noexcept { return m_hWnd != nullptr; }

    // The window's messages, ahead of its own handling: TRUE when handled
    // (result in lResult). Never throws.
    BOOL OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) noexcept;

    const CHCaptionParams& GetParams() const noexcept { return m_params; }
    const std::vector<CButton>& GetButtons() const noexcept { return m_buttons; }
    HWND GetToolTip() const noexcept { return m_toolTip.Get(); }
    bool IsActive() const noexcept { return m_bActive; }
    // The caption's rectangle in window coordinates; the buttons are laid out in it.
    RECT GetCaptionRect() const;
    // The index of the caption button under a point of the screen, or -1.
    int ButtonAt(POINT ptScreen) const;
    // Paints the frame (with frame images), the caption, icon, buttons and
    // text into a device context of the whole window.
    void Paint(HDC hWindowDC);
    // The same into the window's own device context, now.
    void Repaint();

private:
    // Holds the mouse capture while the pointer is over the buttons.
    class CListener : public CHWindowImpl
    {
    public:
        explicit CListener(CHCustomCaption& caption) noexcept : m_caption(caption) {}
        CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    protected:
        LPCWSTR GetWndClassName() const noexcept override { return L"CHCustomCaptionBtnListener"; }

    private:
        CHCustomCaption& m_caption;
    };

    void LayOutButtons();
    void CreateToolTip();
    void UpdateToolTips();
    int ButtonNumberShown(const CButton& button) const noexcept;
    void DoPendingWork();
    LRESULT OnSetText(LPARAM lParam);
    LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcHitTest(LPARAM lParam);
    void OnNcPaint(WPARAM wParam);
    void OnNcMouseMove(LPARAM lParam);
    BOOL OnNcLButtonDown(WPARAM wParam, LPARAM lParam, LRESULT& lResult);
    void StartTracking();
    void OnTrackMove(POINT ptScreen);
    void OnTrackButtonDown(POINT ptScreen);
    void OnTrackButtonUp(POINT ptScreen);
    void EndTracking() noexcept;
    // Sets the button at nIndex to nHot (-1: none) and every other to normal;
    // true when a state changed.
    bool SetButtonStates(int nIndex, int nHotState);
    LRESULT DefaultWithoutVisibleStyle(UINT uMsg, WPARAM wParam, LPARAM lParam);
    void HideVisibleStyleUntilNextMessage();
    RECT WindowSizeRect() const;
    SIZE SystemBorder() const;

    HWND m_hWnd = nullptr;
    CClient* m_pClient = nullptr;
    CHCaptionParams m_params;
    std::vector<CButton> m_buttons;
    bool m_bActive = true;
    int m_nPressed = -1;
    bool m_bRestoreVisible = false;
    bool m_bRepaintPending = false;
    bool m_bFirstNcLButtonDown = true;
    CHWindowHandle m_toolTip;
    CHBackBuffer m_backBuffer;
    CListener m_listener;
};
