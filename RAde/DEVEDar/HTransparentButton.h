// A standard button control of a skinned dialog (push button, check box,
// three-state check box, radio button), taken over and painted entirely from
// skin images with per-pixel alpha: one image per state, the caption over it
// in a colour per state, the parent's background showing through transparent
// pixels, and clicks passing through fully transparent pixels of a push
// button to whatever lies below.
//
// States and their index in an image set (EControlState): 0 normal,
// 1 pressed (or a push button whose check state is 1), 2 mouse over,
// 3 disabled, 4 default button, 5 focused, 6 focused default button, 7 mouse
// over the default button. Set k holds the images k * 8 .. k * 8 + 7; check
// boxes and radio buttons show set 0 when checked, 1 when clear and 2 when
// indeterminate. A set whose image 0 is empty is filled from the process-wide
// default images of the skin (CHDialogSkinXmlConfig::DefaultControlImages)
// the first time it is shown, and premultiplied then.
//
// Which state is drawn, first match wins: a push button checked, pressed,
// disabled, mouse over (7 when default and image 7 exists, else 2), default
// (6 focused, else 4), focused (5), normal (0). A state without an image shows
// image 0 of the set.
//
// Painting goes through an off-screen buffer only when the button needs its
// parent's background (WM_CTLCOLORSTATIC brush) under it: images with
// transparent pixels, a check box's or radio button's text beside its image,
// no image at all, or an animation that repaints with erase. An opaque push
// button image is drawn straight.
//
// Hover fade: with a fade time, entering and leaving cross-fade between the
// normal and the mouse-over image on the button's own animation set (timer 21,
// a tick every 50 ms). Images that cannot be blended (empty, or of different
// sizes) are not faded: the new state shows at once.
//
// Clicks (the button always tracks the mouse itself): a click checks a check
// box to its next state (three-state: 0, 1, 2, 0), checks a radio button and
// clears the radio buttons of its group, then tells the parent (WM_COMMAND,
// BN_CLICKED). Everything runs on the dialog's thread.
//
// Keyboard: the dialog manager hears what kind the button is from its
// WM_GETDLGCODE answer, as the system's buttons answer it (push buttons
// DLGC_UNDEFPUSHBUTTON or DLGC_DEFPUSHBUTTON, check boxes DLGC_BUTTON, radio
// buttons DLGC_RADIOBUTTON): only push buttons take the default look and
// Enter, and the arrow keys move within a radio group. A focused button shows
// a dotted focus rectangle, kFocusCueInset pixels inside a push button's
// edges or around a check box's or radio button's caption, only while its UI
// state shows focus cues (the keyboard moved the focus: WM_UPDATEUISTATE
// cleared UISF_HIDEFOCUS). The button follows that state from the messages
// it gets, starting from the system's (WM_QUERYUISTATE) when it is taken over.
//
// Screen readers: owner-drawn, the button is a push button to the system's
// accessible object. Its client object (WM_GETOBJECT) tells its kind's role
// instead, checked and mixed from its check state, and default for the
// dialog's default push button (CHAccessibleProxy).
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "RAde/DEVEDar/HBackBuffer.h"
#include "RAde/DEVEDar/HBitmapButtonImpl.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HImagePainter.h"
#include "RAde/DEVEDar/HUIErrorHandler.h"

class CHTransparentButton : public CHBitmapButtonImpl, public CHImagePainter, public CHUIErrorHandler
{
public:
    enum EKind : int
    {
        kindPush = 0,
        kindCheck = 1,
        kindRadio = 2,
    };
    static constexpr int kStatesPerSet = 8;
    // wParam: the device context to draw the whole button into.
    static constexpr UINT kDrawMessage = WM_APP + 10;
    static constexpr UINT_PTR kFadeTimerId = 21;
    static constexpr int kFadeTick = 50;  // ms
    static constexpr COLORREF kDefaultTextColor = 0x333333;
    static constexpr int kFocusCueInset = 3;

    CHTransparentButton();
    ~CHTransparentButton() override;

    // Takes over the button: owner-drawn from now on, a tooltip control, the
    // kind from the button's style, and its check state and default-button
    // state as they were. FALSE when the window cannot be subclassed.
    BOOL SubclassWindow(HWND hWnd) noexcept;

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // Image sets: selecting set n makes room for it; a change repaints.
    void SetImgSet(int nSet);
    int GetImgSet() const noexcept { return m_nImgSet; }
    // The image of a state (0..7) in the current set; 1010 for any other state.
    CHImage& GetImgRef(int nState);
    // Copies the skin's default images for the kind and check state into the
    // current set, leaving out empty ones.
    virtual void LoadDefImages();
    // Selects the set by the check state and fills it from the defaults when
    // its image 0 is empty; decides whether painting is buffered.
    void LoadDefaults();
    // Draws image and caption of the current state into hDC over rc.
    virtual void Draw(HDC hDC, const RECT& rc);
    void DrawImg(HDC hDC, const RECT& rc, const CHImage& image);
    static void DrawSystemFace(HDC hDC, const RECT& rc, int nState);
    void RefreshBackBufferState();

    // The state drawn now, and its image (see above).
    int GetDrawState() const;
    const CHImage& GetStateImage(int nState);
    // Whether the parent's background must be painted under the button.
    bool NeedsBackground() const;

    // Caption colours: one for every state, or one per state.
    void SetTextColor(COLORREF crText) noexcept { m_crText.fill(crText); }
    void SetTextColors(const std::array<COLORREF, kStatesPerSet>& crText) noexcept { m_crText = crText; }
    const std::array<COLORREF, kStatesPerSet>& GetTextColors() const noexcept { return m_crText; }
    // In high contrast a push button shows the system's button face framed in
    // the window text colour (the highlight colour when it is default,
    // focused, pressed or under the mouse) instead of its images.
    void SetSystemFace(bool bSystemFace) noexcept { m_bSystemFace = bSystemFace; }

    void SetNoAlphaHitTest(bool bNoAlphaHitTest) noexcept { m_bNoAlphaHitTest = bNoAlphaHitTest; }
    void SetPushLike(bool bPushLike) noexcept { m_bPushLike = bPushLike; }
    // Length of the hover cross-fade (ms); 0 switches at once.
    void SetFadeTime(int nFadeTime) noexcept { m_nFadeTime = nFadeTime; }
    // The parent paints the button's background when the button is erased.
    void SetParentErase(bool bParentErase) noexcept { m_bParentErase = bParentErase; }
    // Draw into this device context of the parent, at the button's place in it
    // (null: the button's own). The caller keeps it valid while it is set.
    void SetExternalDC(HDC hDC) noexcept { m_hExternalDC = hDC; }
    // An animation (not owned) whose images replace the state images while it runs.
    void SetAnimation(CHImageAnimationSet* pAnimSet) noexcept { m_pAnimSet = pAnimSet; }
    // A system key released over the button posts WM_COMMAND with nCmdId to hWndTarget.
    void SetSysKeyCommand(int nCmdId, HWND hWndTarget) noexcept
    {
        m_nCmdId = nCmdId;
        m_hWndCmdTarget = hWndTarget;
    }

    int GetKind() const noexcept { return m_nKind; }
    bool IsThreeState() const noexcept { return m_bThreeState; }
    int GetCheck() const noexcept { return m_nCheck; }
    bool IsDefault() const noexcept { return m_bDefault != FALSE; }
    bool HasTransparency() const noexcept { return m_bHasTransparency; }
    bool IsBackBufferEnabled() const noexcept { return m_backBuffer.IsEnabled(); }
    CHImageAnimationSet& GetFadeSet() noexcept { return m_animSet; }

protected:
    void OnPaint(HDC hGivenDC, bool bNeedUpdateRegion);
    void OnDraw(HDC hDC);
    LRESULT OnNCHitTest(LPARAM lParam);
    UINT OnGetDlgCode() const noexcept;
    CHMessageAnswer OnGetObject(WPARAM wParam, LPARAM lParam) const noexcept;
    void OnUpdateUIState(WPARAM wParam) noexcept;
    void OnSysKeyUp();
    void OnTimer(UINT_PTR nId);
    void OnEraseBkGnd();
    void OnMouseMove(LPARAM lParam) noexcept override;
    void OnMouseLeave() noexcept override;
    LRESULT OnSetStyle(WPARAM wParam, LPARAM lParam);
    void OnSetCheck(int nCheck);
    LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam);

private:
    void ClickCheckOrRadio();
    void ClearRadioGroup();
    void StartFade(int nFrom, int nTo);
    void StopFade() noexcept;
    void InvalidateParentUnderButton();
    void LayOutCheckOrRadio(LONG_PTR nStyle, const CHImage& image, RECT& rcImage, RECT& rcText, UINT& nFormat) const;
    void DrawCaption(HDC hDC, const RECT& rcText, UINT nFormat, int nState);
    void DrawFocusCue(HDC hDC, const RECT& rcClient, const RECT& rcText, UINT nFormat) const;
    RECT CaptionBounds(HDC hDC, const RECT& rcText, UINT nFormat) const;
    bool IsSetLoaded(int nSet) const noexcept;
    LRESULT OnSetText(LPARAM lParam);

    bool m_bParentErase = false;
    CHImageAnimationSet* m_pAnimSet = nullptr;
    HDC m_hExternalDC = nullptr;
    bool m_bPushLike = true;
    int m_nFadeTime = 0;
    bool m_bNoAlphaHitTest = false;
    std::array<COLORREF, kStatesPerSet> m_crText;
    bool m_bSystemFace = false;
    int m_nKind = kindPush;
    BOOL m_bDefault = FALSE;
    int m_nCmdId = static_cast<int>(0x80000000);
    HWND m_hWndCmdTarget = nullptr;
    std::vector<CHImage> m_images;
    int m_nLastState = 0;
    int m_nImgSet = 0;
    int m_nCheck = BST_UNCHECKED;
    bool m_bThreeState = false;
    CHBackBuffer m_backBuffer;
    bool m_bHasTransparency = false;
    CHImageAnimationSet m_animSet;
    // Sets already filled from the defaults (a set whose default image 0 is
    // empty is not copied again on every paint).
    std::vector<bool> m_loadedSets;
    // The caption and its font, kept as they are set: every paint needs them,
    // and asking the control costs a message each (a slow one under Wine).
    std::wstring m_strCaption;
    HFONT m_hFont = nullptr;
    bool m_bHideFocus = false;  // UISF_HIDEFOCUS of the button's UI state
};
