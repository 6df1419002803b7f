// The dialog appearance: the one object every skinned dialog of the process
// asks for its look (caption layout and drawing, background, colours and
// fonts of its controls, window region) and for which of its standard
// controls to replace by skinned ones. It holds the skin (CHDialogSkinXmlConfig)
// and the records the skin fills.
//
// g_pAppearance points at the active appearance. It starts at a process-wide
// default with no skin; an application's own appearance (a derived class)
// makes it point at itself before the first skinned dialog opens. The default
// is built before the program's entry point runs, when the DLL search is not
// yet restricted: its construction uses GDI only (fonts), never GDI+, msimg32,
// comctl32 or any other delay-loaded DLL.
//
// The appearance is written only before the first dialog exists and read by
// every dialog afterwards, all on the GUI thread.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "RAde/DEVEDar/HCaptionSkin.h"
#include "RAde/DEVEDar/HCustomCaption.h"
#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"
#include "RAde/DEVEDar/HFont.h"
#include "RAde/DEVEDar/HImage.h"
#include "RAde/HXmlNode.h"

class CHWndBackGround;

// Caption colours of a skinned button, one per state (EControlState).
struct CHButtonColors
{
    std::array<COLORREF, stateCount> m_crText;
};

// The selection colours of a skinned combo or list box.
struct CHSelectionColors
{
    COLORREF m_crSelection = 0x808080;
    COLORREF m_crSelectedText = 0xFFFFFF;
};

// The two line colours of a skinned group box.
struct CHGroupBoxColors
{
    COLORREF m_crDark = 0x808080;
    COLORREF m_crLight = 0xFFFFFF;
};

// What a dialog replaces and adds (an application's appearance sets them in
// its constructor; dialogs copy them when they are made).
struct CHAppearanceOptions
{
    bool m_bWindowShadow = false;
    bool m_bCustomCaption = true;
    bool m_bRoundedRegion = false;
    int m_nTopCornerSize = 0;     // ellipse size of the upper corners
    int m_nBottomCornerSize = 0;  // and of the lower ones
    bool m_bSkinPushButtons = false;
    bool m_bButtonOption = false;  // passed with the buttons to the control skinning
    bool m_bSkinGroupBoxes = false;
    bool m_bSkinStaticText = false;
    bool m_bSkinComboBoxes = false;
    bool m_bSkinListBoxes = false;

    // Every kind of control the skinning tells apart becomes a skinned one.
    void SkinEveryKind() noexcept
    {
        m_bSkinPushButtons = m_bButtonOption = m_bSkinGroupBoxes = true;
        m_bSkinStaticText = m_bSkinComboBoxes = m_bSkinListBoxes = true;
    }
};

class CHDialogAppeareaceDef : public CHCaptionSkin
{
public:
    using CNameMap = CHDialogSkinXmlConfig::CNameMap;

    CHDialogAppeareaceDef();
    CHDialogAppeareaceDef(const CHDialogAppeareaceDef&) = delete;
    CHDialogAppeareaceDef& operator=(const CHDialogAppeareaceDef&) = delete;

    // Paints an owner-painted background (nothing here).
    virtual void DrawBackground(HDC hDC, const RECT& rc);
    // A hook for derived appearances (nothing here).
    virtual void OnAppearanceHook(LPARAM lParam);
    virtual ~CHDialogAppeareaceDef();
    // Gives the background the form's text colour, background and colour tables.
    virtual void FillBackgroundClient(CHWndBackGround& background, const CNameMap* pNameMap);
    // Caption height, borders and margins from the frame images (or the system).
    virtual void SetDefault(CHCaptionParams& params);
    // The current language; "ar" and "iw" (any case) read right to left.
    virtual void SetLanguage(const std::wstring& strLanguage);

    // Which standard controls are skinned: by the control's window procedure
    // (that of the system class) and its style.
    virtual bool IsPushButton(HWND hWnd);
    virtual bool IsCheckOrRadio(HWND hWnd);
    // A skinned button is owner-drawn: whether it is a check box or a radio
    // button is what its subclassing found, no longer in its style.
    virtual void GetButtonColors(HWND hWndButton, bool bCheckOrRadio, CHButtonColors& colors, const CNameMap* pNameMap);
    virtual bool IsGroupBox(HWND hWnd);
    virtual void GetGroupBoxColors(CHGroupBoxColors& colors);
    virtual bool IsStaticText(HWND hWnd);
    virtual void GetStaticTextColors(HWND hWnd);
    virtual bool IsSkinnableCombo(HWND hWnd);
    virtual void GetComboColors(HWND hWndCombo, CHSelectionColors& colors, const CNameMap* pNameMap);
    virtual bool IsListBox(HWND hWnd);
    virtual void GetListColors(HWND hWndList, CHSelectionColors& colors, const CNameMap* pNameMap);
    // Called for each list-view control of a skinned dialog (nothing here).
    virtual void OnListView(HWND hWnd);
    // Rounded corners for popups (size types SIZE_RESTORED and SIZE_MAXIMIZED).
    virtual void ApplyWindowRegion(HWND hWnd, UINT nSizeType);
    virtual void OnDialogInitialized(HWND hWnd);
    // Skin texts (none before the skin is loaded).
    virtual std::optional<std::wstring> GetControlText(HWND hWndControl, const CNameMap& nameMap);
    virtual std::optional<std::wstring> GetFormText(const CNameMap& nameMap);

    // The map's form record: the general one without a map or form id, a
    // loaded one, or (loaded now, once) the skin's; the general one when the
    // skin has no such form.
    CHFormSkinData& GetFormRecord(const CNameMap* pNameMap);
    // Whether the window is a list view of the system's class (by its procedure).
    bool IsListView(HWND hWnd);

    // Reads "SkinningConfig.xml" of the folder into the appearance's tree
    // (the file's reader errors are thrown) and sets the image directory and
    // the strings and options roots. The skin is not applied yet.
    void ReadSkinFile(const std::wstring& strFolder);
    // Applies the tree read last (CHDialogSkinXmlConfig::Attach) and marks the
    // skin as loaded.
    void AttachSkin();

    CHDialogSkinXmlConfig& GetConfig() noexcept { return m_config; }
    const CHDialogSkinXmlConfig& GetConfig() const noexcept { return m_config; }
    CHXmlNode& GetXml() noexcept { return m_xml; }
    bool IsSkinLoaded() const noexcept { return m_bSkinLoaded; }
    void SetSkinLoaded(bool bLoaded) noexcept { m_bSkinLoaded = bLoaded; }
    CHFormSkinData& GetGeneralForm() noexcept { return m_generalForm; }
    const CHDialogSkinXmlConfig::CFormList& GetForms() const noexcept { return m_forms; }

    const std::wstring& GetLanguage() const noexcept { return m_strLanguage; }
    bool IsRightToLeft() const noexcept { return m_bRightToLeft; }
    bool IsRightToLeftReading() const noexcept { return m_bRightToLeftReading; }
    // Right-to-left reading whatever the language (a preview of a right-to-left
    // look); SetLanguage decides it again.
    void SetRightToLeft(bool bRightToLeft) noexcept { m_bRightToLeft = m_bRightToLeftReading = bRightToLeft; }
    // Starts at the screen's scale; tests and previews set another.
    float GetDpiScale() const noexcept { return m_fDpiScale; }
    void SetDpiScale(float fScale) noexcept { m_fDpiScale = fScale; }
    // A length in pixels at 96 dpi, at the DPI scale (rounded).
    int Scaled(int nPixels) const noexcept { return static_cast<int>(nPixels * m_fDpiScale + 0.5f); }

    // The DPI scale of the screen (vertical pixels per inch / 96), computed once.
    static float ScreenDpiScale();

    // Whether the user has asked for high contrast (SPI_GETHIGHCONTRAST).
    static bool IsHighContrastOn() noexcept;
    // Takes the system's high-contrast setting: while it is on, skinned
    // dialogs draw with the system's colours (window, window text, button
    // face, highlight) instead of the skin's colours and background images,
    // and keep their layout, caption and spinner. Logs the change at INFO;
    // true when the setting changed since the last call.
    bool RefreshHighContrast();
    bool UsesSystemColors() const noexcept { return m_bSystemColors; }

    HFONT GetCaptionFont() const noexcept { return m_captionFont; }
    HFONT GetControlFont() const noexcept { return m_controlFont; }

    CHAppearanceOptions m_options;

protected:
    // The caption is drawn as the controls are: in the system's colours under
    // high contrast, its text in the general form's caption font.
    bool DrawsInSystemColors() const noexcept override { return m_bSystemColors; }
    HFONT CaptionTextFont() const noexcept override { return m_generalForm.m_hCaptionFont; }

    CHGroupBoxColors m_groupBoxColors;
    int m_nCaptionFontSize = 12;
    int m_nControlFontSize = 10;
    std::wstring m_strCaptionFontFace = L"MS Shell Dlg 2";
    std::wstring m_strControlFontFace = L"MS Shell Dlg 2";
    // Copied into the caption parameters by SetDefault.
    int m_nIconTextGap = 5;
    int m_nTextMarginNoIcon = 8;

private:
    // The system classes whose controls are skinned, by their window procedures.
    enum ESystemClass
    {
        classButton,
        classStatic,
        classComboBox,
        classListBox,
        classListView,
        classCount,
    };
    bool HasClassProcedure(HWND hWnd, ESystemClass nClass);
    // A combo's or list's selection colours; the members name the class's colours.
    using CClassColor = std::optional<COLORREF> CHFormSkinData::*;
    void GetSelectionColors(HWND hWndControl, CHSelectionColors& colors, const CNameMap* pNameMap,
                            CClassColor pSelection, CClassColor pSelectedText);
    static DWORD LowStyleBits(HWND hWnd, DWORD dwMask) noexcept;

    float m_fDpiScale = 1.0f;
    bool m_bSystemColors = false;
    CHFont m_captionFont;
    CHFont m_controlFont;
    CHFormSkinData m_generalForm;
    CHDialogSkinXmlConfig::CFormList m_forms;
    CHDialogSkinXmlConfig m_config;
    bool m_bSkinLoaded = false;
    CHXmlNode m_xml;
    std::wstring m_strLanguage;
    bool m_bRightToLeft = false;
    bool m_bRightToLeftReading = false;
    std::array<WNDPROC, classCount> m_classProcedures = {};
    bool m_bClassProceduresKnown = false;
};

// The active appearance of the process; never null.
extern CHDialogAppeareaceDef* g_pAppearance;
