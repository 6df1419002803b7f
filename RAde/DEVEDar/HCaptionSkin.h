// The custom caption's drawing client: draws a caption from a skin's frame
// images and caption button images, or in plain colours where the skin has
// none (in the system's colours while high contrast is on); answers the
// buttons' tooltips and turns a button click into the window's system command.
//
// The dialog appearance is this client for every skinned dialog; a dialog
// draws its caption text itself through DrawCaptionText, in its own font and
// colour. GUI thread only.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "RAde/DEVEDar/HCustomCaption.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"

class CHCaptionSkin : public CHCustomCaption::CClient
{
public:
    void CC_DrawCaptionBKGround(const CHCaptionDrawContext& context) override;
    void DrawCaptionButton(const CHCaptionDrawContext& context, int nButton, int nState) override;
    void CC_DrawText(const CHCaptionDrawContext& context, HWND hWnd, const std::wstring& strText) override;
    void CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge) override;
    std::wstring GetButtonTooltip(int nButton) override;
    void OnCaptionButtonClick(HWND hWnd, int nButton, int x, int y) override;

    // The tooltip of a caption button (captionButtonClose ... captionButtonHelp);
    // throws 1010 with the value "Button" for any other.
    void SetCaptionButtonTooltip(int nButton, const std::wstring& strText);

    // The caption's text on one line, centred vertically, in hFont (the
    // context's when null) and crText (the context's when none); right-aligned
    // and read right to left when bRightToLeft.
    static void DrawCaptionText(const CHCaptionDrawContext& context, const std::wstring& strText, HFONT hFont,
                                std::optional<COLORREF> crText, bool bRightToLeft);

    const CHDialogSkinXmlConfig::CFrameImages& GetFrameImages() const noexcept { return m_frameImages; }
    bool AreFrameImagesLoaded() const noexcept { return m_bFrameImagesLoaded; }
    const CHDialogSkinXmlConfig::CCaptionButtonList& GetCaptionButtons() const noexcept { return m_captionButtons; }

protected:
    ~CHCaptionSkin() = default;

    // Whether the caption is drawn in the system's colours (high contrast).
    virtual bool DrawsInSystemColors() const noexcept = 0;
    // The font of CC_DrawText's caption text.
    virtual HFONT CaptionTextFont() const noexcept = 0;

    // Caption background and window edges without frame images.
    COLORREF m_crCaption = 0x7C7F7E;
    COLORREF m_crEdge = 0x7C7F7E;
    // Filled by the skin reader.
    CHDialogSkinXmlConfig::CCaptionButtonList m_captionButtons;
    CHDialogSkinXmlConfig::CFrameImages m_frameImages;
    bool m_bFrameImagesLoaded = false;

private:
    std::array<std::wstring, 4> m_captionTooltips;
};
