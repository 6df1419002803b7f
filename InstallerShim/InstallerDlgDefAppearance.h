// The launcher's look: the dialog appearance every skinned dialog of the
// launcher asks (the wait dialog), with the launcher's options (shadow, custom
// caption, rounded top corners, skinned buttons, combo and list boxes), its
// caption layout and edge colour, its skin read from "SkinningConfig.xml" in
// the current directory, its own images from the skin's "Resources" folder,
// and its texts in the installation's language.
//
// One process-wide instance. Before the first skinned dialog, in this order:
// Init, SetUILanguage, LoadConfigFromXml. Dialogs shown before Init use the
// library's default appearance. Used on the launcher's dialog thread only.
//
// Options of the skin's "application-config":
//   caption-btn-valign    "top" (any case, the default): buttons at the caption's top
//   caption-btn-spacing   pixels between caption buttons (decimal; 0 when absent)
//   edge-color            colour id of the window edges ("c-black"; black when unknown)
#pragma once

#include <string>

#include "RAde/DEVEDar/HDialogAppeareaceDef.h"

class CInstallerDlgDefAppearance : public CHDialogAppeareaceDef
{
public:
    CInstallerDlgDefAppearance();

    // Becomes the process-wide appearance, takes the DPI scale (the screen's,
    // or another one a preview draws at), and reads "SkinningConfig.xml" of
    // the current directory (the reader's errors are thrown).
    void Init(float fDpiScale = ScreenDpiScale());
    // The language, the caption button tooltips and the error display's texts.
    void SetUILanguage(const std::wstring& strLanguage);
    // Applies the skin and loads the launcher's images: the progress bar's,
    // the shadow's and the wait dialog's spinner frames.
    void LoadConfigFromXml();

    // A text of the skin in the current language ("" when unknown), with each
    // backslash-n turned into a line feed.
    std::wstring LoadUIString(const std::wstring& strId) const;
    // An option's text, or strDefault when it is absent or empty.
    std::wstring GetConfigOption(const std::wstring& strId, const std::wstring& strDefault) const;
    // An option read as a decimal integer (0 when absent, empty or no number).
    int GetConfigOption(const std::wstring& strId) const;

    void SetDefault(CHCaptionParams& params) override;
    void CC_DrawCaptionBKGround(const CHCaptionDrawContext& context) override;
    void CC_DrawEdge(const CHCaptionDrawContext& context, int nEdge) override;
};

// The launcher's appearance.
extern CInstallerDlgDefAppearance g_installerAppearance;
