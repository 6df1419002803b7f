// What every skinned dialog does, whatever its template (CHDialog<T> adds
// the dialog's own name to its handlers' error trails).
//
// When it opens, the dialog asks the process-wide appearance (g_pAppearance)
// for its look: caption parameters, background and colours from its form
// record, control fonts, the custom caption and the drop shadow of a popup,
// and which of its controls become skinned ones (SkinChildControls).
//
// Its messages, after those of the concrete dialog:
//   WM_INITDIALOG        the look, in seven steps (see OnInitDialog); focus stays unset
//   WM_PAINT             the background, then the children under the update rectangle
//   WM_SIZE              the window region (rounded corners), never for a minimize
//   WM_COMMAND           a child dialog passes it on to its parent; IDs 1 to 8 close
//                        the dialog (1 only when the dialog has a control with ID 1)
//   WM_CTLCOLOR*         a child dialog without a background of its own asks its parent
//   WM_GETOBJECT         with a description control (SetDescriptionControl), the
//                        dialog's client and window objects tell a screen reader that
//                        control's text, as it reads now, as their description
//   anything else        owner-draw messages go on to the controls, then the custom
//                        caption, the background and the control cursors in turn
// The drop shadow sees every message first (it never consumes one).
//
// The dialog is its own name map: no form id, no control names, which a
// concrete dialog that binds its controls to the skin overrides.
// Right to left (Arabic, Hebrew): static texts are right-aligned and read
// right to left, and so is the caption's text; the caption buttons and the
// other controls stay where the template puts them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "RAde/DEVEDar/HControlCursors.h"
#include "RAde/DEVEDar/HCustomCaption.h"
#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/DEVEDar/HDialogImpl.h"
#include "RAde/DEVEDar/HSkinnedControls.h"
#include "RAde/DEVEDar/HUIErrorHandler.h"
#include "RAde/DEVEDar/HWndBackGround.h"
#include "RAde/DEVEDar/HWndShadow.h"

class CHDialogBase : public CHDialogImpl,
                     public CHWndBackGround::CClient,
                     public CHCustomCaption::CClient,
                     public CHDialogSkinXmlConfig::CNameMap,
                     public CHUIErrorHandler
{
public:
    // Whoever wants to hear of caption button presses (nothing here sets one).
    class CButtonReceiver
    {
    public:
        virtual ~CButtonReceiver() = default;
        virtual void ButtonPressed(int nButton, int nData) = 0;
    };

    explicit CHDialogBase(UINT nTemplateId);

    // The name map: no form, no names.
    std::optional<std::wstring> GetFormId() const override { return std::nullopt; }
    std::optional<std::wstring> GetControlName(int) const override { return std::nullopt; }
    int GetControlId(const std::wstring&) const override { return 0; }

    // The background's client: the appearance paints an owner-painted background.
    void PaintBackground(HDC hDC, const RECT& rc) override;
    RECT GetBackgroundRect(HWND hWnd) override;

    // The caption's client: the appearance draws, the dialog adds its caption colour.
    void CC_DrawCaptionBKGround(const CHCaptionDrawContext& context) override;
    void DrawCaptionButton(const CHCaptionDrawContext& context, int nButton, int nState) override;
    void CC_DrawText(const CHCaptionDrawContext& context, HWND hWnd, const std::wstring& strText) override;
    void CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge) override;
    std::wstring GetButtonTooltip(int nButton) override;
    void OnCaptionButtonClick(HWND hWnd, int nButton, int x, int y) override;

    virtual void ButtonPressed(int nButton, int nData);
    // Empty hooks for concrete dialogs.
    virtual void OnDialogHook(WPARAM /*wParam*/, LPARAM /*lParam*/) {}
    virtual void OnDialogHookEx(WPARAM /*wParam*/, LPARAM /*lParam*/) {}
    // Called with true just before the dialog ends through a command.
    virtual void OnClosing(bool /*bClosing*/) {}

    void SetButtonReceiver(CButtonReceiver* pReceiver) noexcept { m_pButtonReceiver = pReceiver; }
    // Takes the process-wide appearance's options and reading direction, as
    // the constructor does: for a dialog built before the appearance was set
    // up (a dialog that forces an option sets it again after this).
    virtual void TakeAppearanceOptions();
    // A dialog that always has (or never has) a drop shadow; before it opens.
    void SetWindowShadow(bool bShadow) noexcept { m_options.m_bWindowShadow = bShadow; }
    // The control whose text describes the dialog to a screen reader (0: none).
    void SetDescriptionControl(int nControlId) noexcept { m_nDescriptionId = nControlId; }
    int GetDescriptionControl() const noexcept { return m_nDescriptionId; }
    bool IsInitialized() const noexcept { return m_bInitialized; }
    bool IsPopup() const noexcept { return m_bPopup; }
    const CHAppearanceOptions& GetOptions() const noexcept { return m_options; }
    CHSkinnedControls& GetSkinnedControls() noexcept { return m_controls; }
    CHCustomCaption& GetCaption() noexcept { return m_caption; }
    CHWndBackGround& GetBackground() noexcept { return m_background; }
    CHWndShadow& GetShadow() noexcept { return m_shadow; }
    CHControlCursors& GetCursors() noexcept { return m_cursors; }
    COLORREF GetCaptionTextColor() const noexcept { return m_crCaptionText; }
    // The whole window as a picture, repainted first: the caption and frame as
    // the custom caption paints them, the client area as the window shows it;
    // opaque. The window must show on the screen: under Wine the client area
    // of a window off the screen reads back black.
    CHImage RenderWindow();

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    // The dialog's own handlers (a derived dialog handles its messages first
    // and falls back on these).
    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // The handlers' work; CHDialog<T> runs each inside the catch idiom.
    void InitDialogLook();
    void PaintDialog();
    void SizeDialog(WPARAM nSizeType, LPARAM lParam);
    CHMessageAnswer CommandDialog(WPARAM wParam, LPARAM lParam);
    BOOL CloseDialog(int nCommandId);
    CHMessageAnswer DelegateColor(UINT uMsg, WPARAM wParam, LPARAM lParam);
    CHMessageAnswer AnswerGetObject(WPARAM wParam, LPARAM lParam) noexcept;

    // The handlers, each in the catch idiom (CHDialog<T> names them).
    virtual LRESULT OnInitDialog() = 0;
    virtual void OnPaint() = 0;
    virtual void OnSize(WPARAM nSizeType, LPARAM lParam) = 0;
    virtual CHMessageAnswer OnCommand(WPARAM wParam, LPARAM lParam) = 0;
    virtual CHMessageAnswer DelegateColorToParentIfNotPopup(UINT uMsg, WPARAM wParam, LPARAM lParam) = 0;

private:
    void ApplyDialogInitData();
    void ApplyFonts();
    void AttachCaption();
    void ApplyRightToLeft();
    // The background's and the caption text's colours from the appearance.
    void TakeColors();
    // WM_SETTINGCHANGE: a dialog that is up takes a new high-contrast setting.
    void OnSettingChange();

    static constexpr COLORREF kDefaultCaptionText = 0xFFFFFF;
    COLORREF m_crCaptionText = kDefaultCaptionText;
    HFONT m_hCaptionFont = nullptr;  // borrowed from the form record
    bool m_bInitialized = false;
    bool m_bPopup = true;
    CButtonReceiver* m_pButtonReceiver = nullptr;
    CHAppearanceOptions m_options;
    bool m_bRightToLeft = false;
    bool m_bRightToLeftReading = false;
    CHSkinnedControls m_controls;
    CHCaptionParams m_captionParams;
    CHCustomCaption m_caption;
    CHWndBackGround m_background;
    bool m_bOwnBackground = false;
    bool m_bBackgroundActive = false;
    CHWndShadow m_shadow;
    bool m_bShadowActive = false;
    CHControlCursors m_cursors;
    int m_nDescriptionId = 0;
};
