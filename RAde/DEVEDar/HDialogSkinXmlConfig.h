// The skin of the skinned dialogs, read from "SkinningConfig.xml": named
// colours with opacities, named fonts and images, one record per dialog form
// (CHFormSkinData), the images of the non-client frame and of the caption
// buttons, the process-wide default images of the skinned controls, localised
// strings and application options.
//
// The configuration lives inside the dialog appearance object and writes into
// the appearance's records (Bind). It does not own the XML tree: the caller
// keeps the tree alive as long as the configuration is used.
//
// Everything the file leaves out is never an error: values stay unset and
// lookups answer "none" (std::nullopt, a null handle). Ids, form ids and
// languages are put into path queries only when they are plain names: one
// that is empty or holds a quote, a bracket or a slash matches nothing.
//
// GUI thread only.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "RAde/DEVEDar/HFont.h"
#include "RAde/DEVEDar/HFormSkinData.h"
#include "RAde/DEVEDar/HImage.h"

class CHXmlNode;

// The kind of a dialog's child control, from its window class (compared
// ignoring case) and, for buttons and statics, its style.
enum EControlKind : int
{
    controlPushButton = 0,
    controlRadio = 1,
    controlCheck = 2,
    controlGroup = 3,
    controlText = 4,
    controlEdit = 5,
    controlList = 6,
    controlListView = 7,
    controlTreeView = 8,
    controlDateTime = 9,
    controlMonthCal = 10,
    controlTab = 11,
    controlCombo = 12,
    controlIcon = 13,
    controlRect = 14,
    controlFrame = 15,
    controlUserItem = 16,
    controlPicture = 17,
    controlEtched = 18,
    controlScrollBar = 19,
    controlSlider = 20,
    controlSpin = 21,
    controlProgress = 22,
    controlRichEdit = 23,
    controlHeader = 24,
    controlOther = 25,
};

// The kind of a control window (controlOther for unknown classes and for no window).
EControlKind GetControlKind(HWND hWnd);
EControlKind GetControlKind(const wchar_t* pszClassName, DWORD dwStyle);
// The name under which the skin keeps the settings of a kind's class
// ("button", "check", "list", ...); empty for controlOther.
const wchar_t* GetSkinClassName(int nKind) noexcept;

class CHDialogSkinXmlConfig
{
public:
    // How a dialog names itself and its controls to the skin.
    class CNameMap
    {
    public:
        // The dialog's form id, or none.
        virtual std::optional<std::wstring> GetFormId() const = 0;
        // The skin name of a control ID, or none.
        virtual std::optional<std::wstring> GetControlName(int nControlId) const = 0;
        // The control ID of a skin name, or 0.
        virtual int GetControlId(const std::wstring& strName) const = 0;

    protected:
        ~CNameMap() = default;
    };

    using CFontList = std::vector<std::unique_ptr<CHFont>>;
    using CFormList = std::vector<std::unique_ptr<CHFormSkinData>>;
    using CCaptionButtonList = std::vector<std::unique_ptr<CHCaptionButtonImages>>;
    using CFrameImages = std::array<CHImage, frameImageCount>;

    // The appearance's records the configuration fills, and the appearance's
    // language and DPI scale it reads. Every pointer must outlive the configuration.
    struct CBinding
    {
        CHFormSkinData* pGeneralForm = nullptr;
        CFormList* pForms = nullptr;
        CFrameImages* pFrameImages = nullptr;
        bool* pFrameImagesLoaded = nullptr;
        CCaptionButtonList* pCaptionButtons = nullptr;
        const std::wstring* pLanguage = nullptr;
        const float* pDpiScale = nullptr;
    };

    CHDialogSkinXmlConfig() = default;
    CHDialogSkinXmlConfig(const CHDialogSkinXmlConfig&) = delete;
    CHDialogSkinXmlConfig& operator=(const CHDialogSkinXmlConfig&) = delete;

    void Bind(const CBinding& binding) noexcept { m_binding = binding; }

    // Stores the skin's top node and loads, in this order, the fonts, the
    // colours, the named images, the general form, the non-client images and
    // the default control images. Nothing is loaded for a null root. Throws
    // when a named image, a form background or a frame image cannot be decoded.
    void Attach(const CHXmlNode* pSkinRoot);

    // The fonts of "fonts/font", with the current language's adjustments,
    // scaled by the DPI scale. With pFonts, the caller's list is exchanged for
    // the old fonts (which stay alive with the caller); the fonts it brought are destroyed.
    void LoadFonts(CFontList* pFonts = nullptr);
    void LoadColors();
    void LoadDynImages();
    // Loads the form of the map's form id ("general" without a map) into a
    // new record (the general record for "general"); returns it, or null when
    // the skin has no such form.
    CHFormSkinData* LoadForm(const CNameMap* pNameMap);
    void LoadClassColors(const CHXmlNode& form, const wchar_t* pszList, const wchar_t* pszItem,
                         CHCtlColorSet& textColors, CHCtlBkBrushSet* pBrushes, CHFormSkinData& record,
                         const CNameMap* pNameMap);
    void LoadCaptionFont(CHFormSkinData& record);
    void LoadNonClient();
    void LoadImagesForOneCButton(const std::wstring& strDirectory, const wchar_t* pszButtonName, int nButton);
    void LoadControlImages();
    // Fonts again (a language change), then every record's caption font.
    void ReloadFonts(CFontList* pFonts = nullptr);

    // The image directory joined with the name (the name alone without a directory).
    std::wstring MakeImagePath(const std::wstring& strName) const;
    void SetImageDirectory(const std::wstring& strDirectory) { m_strImageDirectory = strDirectory; }
    const std::wstring& GetImageDirectory() const noexcept { return m_strImageDirectory; }

    // The nodes "strings" and "application-config" that GetString and GetOption read.
    void SetStringsRoot(const CHXmlNode* pNode) noexcept { m_pStringsRoot = pNode; }
    void SetOptionsRoot(const CHXmlNode* pNode) noexcept { m_pOptionsRoot = pNode; }
    const CHXmlNode* GetSkinRoot() const noexcept { return m_pSkinRoot; }

    // Lookups by id: the first entry of that exact id.
    std::optional<COLORREF> FindColor(const std::wstring& strId, BYTE* pOpacity = nullptr) const;
    HFONT FindFont(const std::wstring& strId) const;
    const CHImage* FindImage(const std::wstring& strId) const;

    // The text of a string for the current language (with a language set, only
    // strings of that language count), of an option, or none.
    std::optional<std::wstring> GetString(const std::wstring& strId) const;
    std::optional<std::wstring> GetStringForLanguage(const std::wstring& strId, const std::wstring& strLanguage) const;
    std::optional<std::wstring> GetOption(const std::wstring& strId) const;

    // An attribute of a control of a form: from the control's own node, else
    // its class's node, else the first class node directly under the form.
    std::optional<std::wstring> GetControlAttribute(HWND hWndControl, const std::wstring& strFormId,
                                                    const CNameMap& nameMap, const wchar_t* pszAttribute) const;
    // The control's font (its form's, else the general form's), or null.
    HFONT GetControlFont(HWND hWndControl, const CNameMap& nameMap) const;
    // Gives every direct child of the dialog that has a skin font that font.
    void ApplyControlFonts(HWND hWndDialog, const CNameMap& nameMap) const;
    // The control's text (a string id of its form's or the general form's
    // control node), or none.
    std::optional<std::wstring> GetControlText(HWND hWndControl, const CNameMap& nameMap) const;
    // The form's caption text, or none.
    std::optional<std::wstring> GetFormText(const CNameMap& nameMap) const;

    // The process-wide default control images.
    static CHDefaultControlImages& DefaultControlImages();

private:
    // A table of named things: ids in file order, first id wins.
    template <class T>
    struct CNamed
    {
        std::vector<std::wstring> ids;
        std::vector<T> items;
        std::unordered_map<std::wstring, size_t> index;

        void Clear();
        void Append(const std::wstring& strId, T item);
        const T* Find(const std::wstring& strId) const;
    };
    struct CColor
    {
        COLORREF cr;
        BYTE nOpacity;
    };

    std::wstring CurrentLanguage() const;
    float DpiScale() const;
    // The colour an attribute names, if the attribute and the colour exist.
    std::optional<COLORREF> AttributeColor(const CHXmlNode& node, const wchar_t* pszAttribute) const;
    void LoadFrameImages(const std::wstring& strDirectory);
    std::optional<std::wstring> ControlNodeAttribute(const std::wstring& strFormId, const std::wstring& strControlName,
                                                     const wchar_t* pszAttribute) const;

    std::wstring m_strImageDirectory;
    CBinding m_binding;
    const CHXmlNode* m_pStringsRoot = nullptr;
    const CHXmlNode* m_pOptionsRoot = nullptr;
    const CHXmlNode* m_pSkinRoot = nullptr;
    CNamed<CColor> m_colors;
    CNamed<std::unique_ptr<CHFont>> m_fonts;
    CNamed<std::unique_ptr<CHImage>> m_images;
};
