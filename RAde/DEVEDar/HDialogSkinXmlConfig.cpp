#include "RAde/DEVEDar/HDialogSkinXmlConfig.h"

#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <utility>

#include "RAde/DEVEDar/HDpiImage.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "RAde/HXmlNode.h"

namespace {
const std::wstring kGeneralForm = L"general";

constexpr const wchar_t* kCaptionButtonSuffixes[CHCaptionButtonImages::slotCount] = {L"n",  L"s",  L"r",
                                                                                     L"nu", L"su", L"ru"};

// A value put into a path query must name something: empty text, or text
// holding the query's own syntax, would change the query instead.
bool IsPlainName(std::wstring_view value)
{
    return !value.empty() && value.find_first_of(L"\"[]/") == std::wstring_view::npos;
}

// The node a path pattern selects below pStart, its "%s" filled with the
// values in order; null when a value is not a plain name.
const CHXmlNode* FindPath(const CHXmlNode* pStart, std::wstring_view pattern,
                          std::initializer_list<std::wstring_view> values)
{
    if (!pStart)
        return nullptr;
    std::wstring strPath;
    auto itValue = values.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size() && pattern[i + 1] == L's') {
            if (itValue == values.end() || !IsPlainName(*itValue))
                return nullptr;
            strPath += *itValue++;
            ++i;
        } else {
            strPath += pattern[i];
        }
    }
    return pStart->Find(strPath);
}

std::optional<std::wstring> AttributeOf(const CHXmlNode* pNode, const wchar_t* pszName)
{
    const std::wstring* pValue = pNode ? pNode->GetAttributeValue(pszName) : nullptr;
    return pValue ? std::optional<std::wstring>(*pValue) : std::nullopt;
}

// A decimal number as "%f" reads it; 0 when it reads none.
float ReadDecimal(const std::wstring* pText)
{
    float fValue = 0.0f;
    if (!pText || std::swscanf(pText->c_str(), L"%f", &fValue) != 1)
        return 0.0f;
    return fValue;
}

bool AttributeIs(const CHXmlNode& node, const wchar_t* pszName, const wchar_t* pszValue, bool bIgnoreCase = false)
{
    const std::wstring* pValue = node.GetAttributeValue(pszName);
    return pValue && (bIgnoreCase ? CHStringHelper::EqualsNoCase(*pValue, pszValue) : *pValue == pszValue);
}

// Loads the file into the image when it exists; premultiplied on request.
// An image drawn at its own size is scaled for the DPI scale; one drawn
// stretched over its place (fScale 1) is not.
void LoadIfExists(CHImage& image, const std::wstring& strPath, bool bPremultiply, float fScale = 1.0f)
{
    if (CHFileUtilities::FileExists(strPath))
        CHDpiImage::Load(image, strPath, fScale, bPremultiply);
}

// Images named by the prefix and the suffixes of the first N states.
template <size_t N>
void LoadStateImages(std::array<CHImage, N>& images, const std::wstring& strDirectory, const wchar_t* pszPrefix,
                     float fScale)
{
    for (size_t i = 0; i < N; ++i)
        LoadIfExists(images[i], strDirectory + L"\\" + pszPrefix + GetStateSuffix(static_cast<int>(i)) + L".png", false,
                     fScale);
}

// Control kinds: the skin keeps a control's settings under the name of its kind.
constexpr DWORD kStyleBitsOfButtonKind = 0x0F;
constexpr DWORD kStyleBitsOfStaticKind = 0x1F;

struct CClassKind
{
    const wchar_t* pszClass;
    EControlKind nKind;
};

// First match wins; "button" and "static" are told apart by style below.
constexpr CClassKind kClassKinds[] = {
    {L"edit", controlEdit},
    {L"scrollbar", controlScrollBar},
    {L"msctls_trackbar32", controlSlider},
    {L"msctls_updown32", controlSpin},
    {L"msctls_progress32", controlProgress},
    {L"syslistview32", controlListView},
    {L"systreeview32", controlTreeView},
    {L"systabcontrol32", controlTab},
    {L"sysdatetimepick32", controlDateTime},
    {L"sysmonthcal32", controlMonthCal},
    {L"sysheader32", controlHeader},
    {L"combobox", controlCombo},
    {L"listbox", controlList},
    {L"RichEdit20A", controlRichEdit},
};

EControlKind ButtonKind(DWORD dwStyle)
{
    switch (dwStyle & kStyleBitsOfButtonKind) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
        return controlCheck;
    case BS_RADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_AUTORADIOBUTTON:
        return controlRadio;
    case BS_GROUPBOX:
        return controlGroup;
    default:
        return controlPushButton;
    }
}

EControlKind StaticKind(DWORD dwStyle)
{
    const DWORD dwType = dwStyle & kStyleBitsOfStaticKind;
    if (dwType == SS_ICON)
        return controlIcon;
    if (dwType >= SS_BLACKRECT && dwType <= SS_WHITERECT)
        return controlRect;
    if (dwType >= SS_BLACKFRAME && dwType <= SS_WHITEFRAME)
        return controlFrame;
    if (dwType == SS_USERITEM)
        return controlUserItem;
    if (dwType >= SS_OWNERDRAW && dwType <= SS_ENHMETAFILE)
        return controlPicture;
    if (dwType >= SS_ETCHEDHORZ && dwType <= SS_ETCHEDFRAME)
        return controlEtched;
    return controlText;
}
}  // namespace

EControlKind GetControlKind(const wchar_t* pszClassName, DWORD dwStyle)
{
    for (const CClassKind& entry : kClassKinds)
        if (CHStringHelper::EqualsNoCase(pszClassName, entry.pszClass))
            return entry.nKind;
    if (CHStringHelper::EqualsNoCase(pszClassName, L"button"))
        return ButtonKind(dwStyle);
    if (CHStringHelper::EqualsNoCase(pszClassName, L"static"))
        return StaticKind(dwStyle);
    return controlOther;
}

EControlKind GetControlKind(HWND hWnd)
{
    // Window class names are at most 256 characters.
    wchar_t szClass[257] = {};
    if (!hWnd || ::GetClassNameW(hWnd, szClass, static_cast<int>(std::size(szClass))) == 0)
        return controlOther;
    return GetControlKind(szClass, static_cast<DWORD>(::GetWindowLongPtrW(hWnd, GWL_STYLE)));
}

const wchar_t* GetSkinClassName(int nKind) noexcept
{
    static constexpr const wchar_t* kNames[] = {
        L"button",   L"radio",     L"check",  L"group", L"text",     L"edit",     L"list",   L"list",     L"treeview",
        L"datetime", L"monthcal",  L"tab",    L"combo", L"icon",     L"rect",     L"frame",  L"useritem", L"picture",
        L"etched",   L"scrollbar", L"slider", L"spin",  L"progress", L"richedit", L"header",
    };
    if (nKind < 0 || nKind >= static_cast<int>(std::size(kNames)))
        return L"";
    return kNames[nKind];
}

template <class T>
void CHDialogSkinXmlConfig::CNamed<T>::Clear()
{
    ids.clear();
    items.clear();
    index.clear();
}

template <class T>
void CHDialogSkinXmlConfig::CNamed<T>::Append(const std::wstring& strId, T item)
{
    ids.push_back(strId);
    items.push_back(std::move(item));
    index.emplace(strId, items.size() - 1);  // an id already there keeps its first entry
}

template <class T>
const T* CHDialogSkinXmlConfig::CNamed<T>::Find(const std::wstring& strId) const
{
    auto it = index.find(strId);
    return it == index.end() ? nullptr : &items[it->second];
}

CHDefaultControlImages& CHDialogSkinXmlConfig::DefaultControlImages()
{
    static CHDefaultControlImages s_images;
    return s_images;
}

std::wstring CHDialogSkinXmlConfig::CurrentLanguage() const
{
    return m_binding.pLanguage ? *m_binding.pLanguage : std::wstring();
}

float CHDialogSkinXmlConfig::DpiScale() const
{
    return m_binding.pDpiScale ? *m_binding.pDpiScale : 1.0f;
}

void CHDialogSkinXmlConfig::Attach(const CHXmlNode* pSkinRoot)
{
    HTRY {
        m_pSkinRoot = pSkinRoot;
        if (!m_pSkinRoot)
            return;
        LoadFonts();
        LoadColors();
        LoadDynImages();
        LoadForm(nullptr);
        LoadNonClient();
        LoadControlImages();
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadFonts(CFontList* pFonts)
{
    HTRY {
        const CHXmlNode* pFontsNode = m_pSkinRoot ? m_pSkinRoot->Find(L"fonts") : nullptr;
        if (!pFontsNode)
            return;
        // The caller keeps the old fonts alive (windows may still use them)
        // and gives up the ones it brought.
        if (pFonts)
            std::swap(m_fonts.items, *pFonts);
        m_fonts.Clear();

        const std::wstring strLanguage = CurrentLanguage();
        const CHXmlNode* pAdjustments = strLanguage.empty() ? nullptr : m_pSkinRoot->Find(L"fontadjustments");
        for (const CHXmlNode* pFontNode : pFontsNode->GetChildren(L"font")) {
            const std::wstring* pId = pFontNode->GetAttributeValue(L"id");
            const std::wstring* pFace = pFontNode->GetAttributeValue(L"face");
            const std::wstring* pSize = pFontNode->GetAttributeValue(L"size");
            if (!pId || !pFace || !pSize)
                continue;
            DWORD dwFlags = 0;
            if (AttributeIs(*pFontNode, L"bold", L"true"))
                dwFlags |= CHFont::fontBold;
            if (AttributeIs(*pFontNode, L"italic", L"true"))
                dwFlags |= CHFont::fontItalic;
            if (AttributeIs(*pFontNode, L"underline", L"true"))
                dwFlags |= CHFont::fontUnderline;
            float fSize = ReadDecimal(pSize);
            std::wstring strFace = *pFace;
            if (const CHXmlNode* pAdjustment =
                    FindPath(pAdjustments, L"fontadjustment[lang=\"%s\"][id=\"%s\"]", {strLanguage, *pId})) {
                fSize += ReadDecimal(pAdjustment->GetAttributeValue(L"offset"));
                if (const std::wstring* pAdjustedFace = pAdjustment->GetAttributeValue(L"face"))
                    strFace = *pAdjustedFace;
            }
            // A size no font has (not a number, or beyond any screen) is made at the default size.
            float fPoints = fSize * DpiScale() + 0.5f;
            if (!(fPoints > -10000.0f && fPoints < 10000.0f))
                fPoints = 0.0f;
            auto font = std::make_unique<CHFont>();
            font->CreatePt(static_cast<int>(fPoints), strFace, nullptr, dwFlags);
            m_fonts.Append(*pId, std::move(font));
        }
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadColors()
{
    HTRY {
        m_colors.Clear();
        const CHXmlNode* pColors = m_pSkinRoot ? m_pSkinRoot->Find(L"colors") : nullptr;
        if (!pColors)
            return;
        for (const CHXmlNode* pColor : pColors->GetChildren(L"color")) {
            const std::wstring* pId = pColor->GetAttributeValue(L"id");
            const std::wstring* pValue = pColor->GetAttributeValue(L"value");
            unsigned int nRed = 0, nGreen = 0, nBlue = 0;
            if (!pId || !pValue || std::swscanf(pValue->c_str(), L"#%2x%2x%2x", &nRed, &nGreen, &nBlue) != 3)
                continue;
            const std::wstring* pOpacity = pColor->GetAttributeValue(L"opacity");
            const BYTE nOpacity = pOpacity ? static_cast<BYTE>(std::wcstol(pOpacity->c_str(), nullptr, 10)) : 255;
            m_colors.Append(*pId, CColor{RGB(nRed, nGreen, nBlue), nOpacity});
        }
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadDynImages()
{
    HTRY {
        m_images.Clear();
        const CHXmlNode* pImages = m_pSkinRoot ? m_pSkinRoot->Find(L"images") : nullptr;
        if (!pImages)
            return;
        for (const CHXmlNode* pImageNode : pImages->GetChildren(L"image")) {
            const std::wstring* pId = pImageNode->GetAttributeValue(L"id");
            const std::wstring* pValue = pImageNode->GetAttributeValue(L"value");
            if (!pId || !pValue)
                continue;
            auto image = std::make_unique<CHImage>();
            image->Load(MakeImagePath(*pValue));
            PremultiplyAlpha(*image);
            m_images.Append(*pId, std::move(image));
        }
    } HCATCH
}

std::optional<COLORREF> CHDialogSkinXmlConfig::AttributeColor(const CHXmlNode& node, const wchar_t* pszAttribute) const
{
    const std::wstring* pId = node.GetAttributeValue(pszAttribute);
    return pId ? FindColor(*pId) : std::nullopt;
}

CHFormSkinData* CHDialogSkinXmlConfig::LoadForm(const CNameMap* pNameMap)
{
    HTRY {
        if (!m_binding.pGeneralForm || !m_binding.pForms || !m_pSkinRoot)
            return nullptr;
        std::wstring strFormId = kGeneralForm;
        if (pNameMap) {
            std::optional<std::wstring> formId = pNameMap->GetFormId();
            if (!formId)
                return nullptr;
            strFormId = *formId;
        }
        const CHXmlNode* pForm = FindPath(m_pSkinRoot, L"forms/form[id=\"%s\"]", {strFormId});
        if (!pForm)
            return nullptr;

        CHFormSkinData* pRecord = m_binding.pGeneralForm;
        if (!CHStringHelper::EqualsNoCase(strFormId, kGeneralForm)) {
            auto record = std::make_unique<CHFormSkinData>();
            record->m_strFormId = strFormId;
            record->LinkToGeneral(*m_binding.pGeneralForm);
            pRecord = record.get();
            m_binding.pForms->push_back(std::move(record));
        }

        // The first class directly under the form, whatever its id.
        if (const CHXmlNode* pGeneralClass = pForm->Find(L"class[id=general]"))
            if (std::optional<COLORREF> crText = AttributeColor(*pGeneralClass, L"color"))
                pRecord->m_crText = crText;
        LoadClassColors(*pForm, L"classes", L"class", pRecord->m_classTextColors, &pRecord->m_classBrushes, *pRecord,
                        nullptr);
        // Controls are named by the dialog: without its name map none can be resolved.
        if (pNameMap)
            LoadClassColors(*pForm, L"controls", L"control", pRecord->m_controlTextColors, nullptr, *pRecord, pNameMap);

        if (const CHXmlNode* pBackground = pForm->Find(L"background")) {
            pRecord->m_bHasBackground = true;
            if (AttributeIs(*pBackground, L"type", L"image", true)) {
                pRecord->m_nBackgroundMode = AttributeIs(*pBackground, L"imagemode", L"stretch", true)
                                                 ? CHFormSkinData::backgroundStretchedImage
                                                 : CHFormSkinData::backgroundImage;
                // A tiled picture keeps its own size: it grows with the screen's scale.
                const float fScale = pRecord->m_nBackgroundMode == CHFormSkinData::backgroundImage ? DpiScale() : 1.0f;
                if (const std::wstring* pPath = pBackground->GetAttributeValue(L"path"))
                    CHDpiImage::Load(pRecord->m_imgBackground, MakeImagePath(*pPath), fScale, false);
            } else {
                pRecord->m_nBackgroundMode = CHFormSkinData::backgroundColor;
                if (std::optional<COLORREF> crBackground = AttributeColor(*pBackground, L"color"))
                    pRecord->m_crBackground = *crBackground;
            }
        }
        return pRecord;
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadClassColors(const CHXmlNode& form, const wchar_t* pszList, const wchar_t* pszItem,
                                            CHCtlColorSet& textColors, CHCtlBkBrushSet* pBrushes,
                                            CHFormSkinData& record, const CNameMap* pNameMap)
{
    HTRY {
        const CHXmlNode* pList = form.Find(pszList);
        if (!pList)
            return;
        for (const CHXmlNode* pItem : pList->GetChildren(pszItem)) {
            const std::wstring* pId = pItem->GetAttributeValue(L"id");
            if (!pId)
                continue;
            const int nKey = pNameMap ? pNameMap->GetControlId(*pId) : GetClassKey(*pId);
            if (!pNameMap && CHStringHelper::EqualsNoCase(*pId, L"caption")) {
                if (std::optional<COLORREF> crCaption = AttributeColor(*pItem, L"color"))
                    record.m_crCaptionText = crCaption;
                if (const std::wstring* pFontId = pItem->GetAttributeValue(L"font"))
                    if (HFONT hFont = FindFont(*pFontId))
                        record.m_hCaptionFont = hFont;
                continue;
            }
            // Selection colours: a control's by its ID, or the list and combo classes' own.
            const bool bList = !pNameMap && CHStringHelper::EqualsNoCase(*pId, L"list");
            const bool bCombo = !pNameMap && CHStringHelper::EqualsNoCase(*pId, L"combo");
            auto takeSelection = [&](const wchar_t* pszAttribute, CHCtlColorSet& controlColors,
                                     std::optional<COLORREF>& listColor, std::optional<COLORREF>& comboColor) {
                std::optional<COLORREF> cr = AttributeColor(*pItem, pszAttribute);
                if (!cr)
                    return;
                if (pNameMap && nKey != 0)
                    controlColors.Set(nKey, *cr);
                else if (bList)
                    listColor = cr;
                else if (bCombo)
                    comboColor = cr;
            };
            takeSelection(L"selcolor", record.m_controlSelectionColors, record.m_crListSelection,
                          record.m_crComboSelection);
            takeSelection(L"seltxtcolor", record.m_controlSelectedTextColors, record.m_crListSelectedText,
                          record.m_crComboSelectedText);
            if (nKey == 0)
                continue;
            if (std::optional<COLORREF> crText = AttributeColor(*pItem, L"color"))
                textColors.Set(nKey, *crText);
            if (pBrushes)
                if (std::optional<COLORREF> crBrush = AttributeColor(*pItem, L"bkcolor"))
                    pBrushes->Set(nKey, *crBrush);
            for (int nState = statePressed; nState < stateCount; ++nState) {
                std::optional<COLORREF> crState = AttributeColor(*pItem, GetStateColorAttribute(nState));
                if (!crState)
                    continue;
                if (pNameMap)
                    record.m_controlStateColors.Set(static_cast<INT_PTR>(nKey) * 65536 + nState, *crState);
                else
                    record.m_classStateColors.Set(nState, *crState);
            }
        }
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadCaptionFont(CHFormSkinData& record)
{
    HTRY {
        const std::wstring& strFormId = record.m_strFormId.empty() ? kGeneralForm : record.m_strFormId;
        const CHXmlNode* pCaption =
            FindPath(m_pSkinRoot, L"forms/form[id=\"%s\"]/classes/class[id=\"caption\"]", {strFormId});
        if (const std::wstring* pFontId = pCaption ? pCaption->GetAttributeValue(L"font") : nullptr)
            if (HFONT hFont = FindFont(*pFontId))
                record.m_hCaptionFont = hFont;
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadFrameImages(const std::wstring& strDirectory)
{
    HTRY {
        for (int i = 0; i < frameImageCount; ++i) {
            CHImage& image = (*m_binding.pFrameImages)[static_cast<size_t>(i)];
            image.Destroy();
            // The caption's image is stretched to the caption's height; the edges keep their width.
            LoadIfExists(image, strDirectory + L"\\" + GetFrameImageName(i) + L".png", true,
                         i == frameCaption ? 1.0f : DpiScale());
        }
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadNonClient()
{
    HTRY {
        if (!m_binding.pFrameImages || !m_binding.pFrameImagesLoaded || !m_binding.pCaptionButtons)
            return;
        m_binding.pCaptionButtons->clear();
        *m_binding.pFrameImagesLoaded = false;
        const CHXmlNode* pNonClient = m_pSkinRoot ? m_pSkinRoot->Find(L"nonclient") : nullptr;
        const std::wstring* pDirectory = pNonClient ? pNonClient->GetAttributeValue(L"dir") : nullptr;
        if (!pDirectory || !AttributeIs(*pNonClient, L"type", L"images", true))
            return;
        const std::wstring strDirectory = MakeImagePath(*pDirectory);
        LoadFrameImages(strDirectory);
        *m_binding.pFrameImagesLoaded = true;
        LoadImagesForOneCButton(strDirectory, L"close", 0);
        LoadImagesForOneCButton(strDirectory, L"minimize", 2);
        LoadImagesForOneCButton(strDirectory, L"maximize", 1);
        LoadImagesForOneCButton(strDirectory, L"help", 3);
        LoadImagesForOneCButton(strDirectory, L"restore", 5);
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadImagesForOneCButton(const std::wstring& strDirectory, const wchar_t* pszButtonName,
                                                    int nButton)
{
    HTRY {
        if (!m_binding.pCaptionButtons)
            return;
        auto images = std::make_unique<CHCaptionButtonImages>(nButton);
        for (int nSlot = 0; nSlot < CHCaptionButtonImages::slotCount; ++nSlot)
            LoadIfExists(images->m_images[static_cast<size_t>(nSlot)],
                         strDirectory + L"\\btn_" + pszButtonName + L"_" + kCaptionButtonSuffixes[nSlot] + L".png",
                         true, DpiScale());
        // A button without its normal image is not drawn at all.
        if (!images->m_images[CHCaptionButtonImages::slotNormal].IsNull())
            m_binding.pCaptionButtons->push_back(std::move(images));
    } HCATCH
}

void CHDialogSkinXmlConfig::LoadControlImages()
{
    HTRY {
        const CHXmlNode* pControlImages = m_pSkinRoot ? m_pSkinRoot->Find(L"controlimages") : nullptr;
        const std::wstring* pPath = pControlImages ? pControlImages->GetAttributeValue(L"path") : nullptr;
        if (!pPath)
            return;
        const std::wstring strDirectory = MakeImagePath(*pPath);
        CHDefaultControlImages& images = DefaultControlImages();
        // Buttons keep their caps' size, check and radio images their own:
        // all grow with the screen's scale. The progress bars are stretched.
        const float fScale = DpiScale();
        LoadStateImages(images.m_button, strDirectory, L"button_", fScale);
        LoadStateImages(images.m_checkOn, strDirectory, L"check_on_", fScale);
        LoadStateImages(images.m_checkOff, strDirectory, L"check_off_", fScale);
        LoadStateImages(images.m_checkIndeterminate, strDirectory, L"check_ind_", fScale);
        LoadStateImages(images.m_radioOn, strDirectory, L"radio_on_", fScale);
        LoadStateImages(images.m_radioOff, strDirectory, L"radio_off_", fScale);
        LoadStateImages(images.m_iconButton, strDirectory, L"iconbutton_", fScale);  // normal, pressed, mouse over
        LoadIfExists(images.m_progressEmpty, strDirectory + L"\\Prog_bar_empty.png", false);
        LoadIfExists(images.m_progressFull, strDirectory + L"\\Prog_bar_full.png", false);
    } HCATCH
}

void CHDialogSkinXmlConfig::ReloadFonts(CFontList* pFonts)
{
    HTRY {
        LoadFonts(pFonts);
        if (m_binding.pGeneralForm)
            LoadCaptionFont(*m_binding.pGeneralForm);
        if (m_binding.pForms)
            for (const auto& record : *m_binding.pForms)
                LoadCaptionFont(*record);
    } HCATCH
}

std::wstring CHDialogSkinXmlConfig::MakeImagePath(const std::wstring& strName) const
{
    HTRY {
        if (m_strImageDirectory.empty())
            return strName;
        return CHFileUtilities::ConcatPathname(m_strImageDirectory, strName);
    } HCATCH
}

std::optional<COLORREF> CHDialogSkinXmlConfig::FindColor(const std::wstring& strId, BYTE* pOpacity) const
{
    const CColor* pColor = m_colors.Find(strId);
    if (!pColor)
        return std::nullopt;
    if (pOpacity)
        *pOpacity = pColor->nOpacity;
    return pColor->cr;
}

HFONT CHDialogSkinXmlConfig::FindFont(const std::wstring& strId) const
{
    const std::unique_ptr<CHFont>* pFont = m_fonts.Find(strId);
    return pFont ? (*pFont)->GetHandle() : nullptr;
}

const CHImage* CHDialogSkinXmlConfig::FindImage(const std::wstring& strId) const
{
    const std::unique_ptr<CHImage>* pImage = m_images.Find(strId);
    return pImage ? pImage->get() : nullptr;
}

std::optional<std::wstring> CHDialogSkinXmlConfig::GetStringForLanguage(const std::wstring& strId,
                                                                        const std::wstring& strLanguage) const
{
    HTRY {
        return AttributeOf(FindPath(m_pStringsRoot, L"string[id=\"%s\"][lang=\"%s\"]", {strId, strLanguage}), L"text");
    } HCATCH
}

std::optional<std::wstring> CHDialogSkinXmlConfig::GetString(const std::wstring& strId) const
{
    HTRY {
        if (!m_pStringsRoot)
            return std::nullopt;
        const std::wstring strLanguage = CurrentLanguage();
        if (!strLanguage.empty())
            return GetStringForLanguage(strId, strLanguage);
        return AttributeOf(FindPath(m_pStringsRoot, L"string[id=\"%s\"]", {strId}), L"text");
    } HCATCH
}

std::optional<std::wstring> CHDialogSkinXmlConfig::GetOption(const std::wstring& strId) const
{
    HTRY {
        return AttributeOf(FindPath(m_pOptionsRoot, L"option[id=\"%s\"]", {strId}), L"value");
    } HCATCH
}

std::optional<std::wstring> CHDialogSkinXmlConfig::ControlNodeAttribute(const std::wstring& strFormId,
                                                                        const std::wstring& strControlName,
                                                                        const wchar_t* pszAttribute) const
{
    return AttributeOf(
        FindPath(m_pSkinRoot, L"forms/form[id=\"%s\"]/controls/control[id=\"%s\"]", {strFormId, strControlName}),
        pszAttribute);
}

std::optional<std::wstring> CHDialogSkinXmlConfig::GetControlAttribute(HWND hWndControl, const std::wstring& strFormId,
                                                                       const CNameMap& nameMap,
                                                                       const wchar_t* pszAttribute) const
{
    HTRY {
        if (std::optional<std::wstring> controlName = nameMap.GetControlName(::GetDlgCtrlID(hWndControl)))
            if (std::optional<std::wstring> value = ControlNodeAttribute(strFormId, *controlName, pszAttribute))
                return value;
        const std::wstring strClass = GetSkinClassName(GetControlKind(hWndControl));
        if (!strClass.empty())
            if (std::optional<std::wstring> value = AttributeOf(
                    FindPath(m_pSkinRoot, L"forms/form[id=\"%s\"]/classes/class[id=\"%s\"]", {strFormId, strClass}),
                    pszAttribute))
                return value;
        // The first class directly under the form, whatever its id.
        return AttributeOf(FindPath(m_pSkinRoot, L"forms/form[id=\"%s\"]/class[id=general]", {strFormId}),
                           pszAttribute);
    } HCATCH
}

HFONT CHDialogSkinXmlConfig::GetControlFont(HWND hWndControl, const CNameMap& nameMap) const
{
    HTRY {
        std::optional<std::wstring> fontId;
        if (std::optional<std::wstring> formId = nameMap.GetFormId())
            fontId = GetControlAttribute(hWndControl, *formId, nameMap, L"font");
        if (!fontId)
            fontId = GetControlAttribute(hWndControl, kGeneralForm, nameMap, L"font");
        return fontId ? FindFont(*fontId) : nullptr;
    } HCATCH
}

void CHDialogSkinXmlConfig::ApplyControlFonts(HWND hWndDialog, const CNameMap& nameMap) const
{
    HTRY {
        std::vector<HWND> children;
        ::EnumChildWindows(
            hWndDialog,
            [](HWND hWnd, LPARAM lParam) -> BOOL {
                auto& found = *reinterpret_cast<std::vector<HWND>*>(lParam);
                try {
                    found.push_back(hWnd);
                } catch (...) {
                    return FALSE;  // out of memory: the fonts of the rest stay as they are
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&children));
        for (HWND hWnd : children) {
            if (::GetAncestor(hWnd, GA_PARENT) != hWndDialog)
                continue;
            if (HFONT hFont = GetControlFont(hWnd, nameMap))
                ::SendMessageW(hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
        }
    } HCATCH
}

std::optional<std::wstring> CHDialogSkinXmlConfig::GetControlText(HWND hWndControl, const CNameMap& nameMap) const
{
    HTRY {
        std::optional<std::wstring> formId = nameMap.GetFormId();
        std::optional<std::wstring> controlName = nameMap.GetControlName(::GetDlgCtrlID(hWndControl));
        if (!formId || !controlName)
            return std::nullopt;
        std::optional<std::wstring> textId = ControlNodeAttribute(*formId, *controlName, L"text");
        if (!textId)
            textId = ControlNodeAttribute(kGeneralForm, *controlName, L"text");
        return textId ? GetString(*textId) : std::nullopt;
    } HCATCH
}

std::optional<std::wstring> CHDialogSkinXmlConfig::GetFormText(const CNameMap& nameMap) const
{
    HTRY {
        std::optional<std::wstring> formId = nameMap.GetFormId();
        if (!formId)
            return std::nullopt;
        std::optional<std::wstring> textId =
            AttributeOf(FindPath(m_pSkinRoot, L"forms/form[id=\"%s\"]", {*formId}), L"text");
        return textId ? GetString(*textId) : std::nullopt;
    } HCATCH
}
