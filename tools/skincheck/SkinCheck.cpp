#include "tools/skincheck/SkinCheck.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>

#include "RAde/DEVEDar/HDpiImage.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HXmlNode.h"
#include "tools/common/ToolSupport.h"

namespace {
// Attributes of classes and controls that name a colour.
constexpr const wchar_t* kColorAttributes[] = {L"color",   L"bkcolor",  L"selcolor", L"seltxtcolor",
                                               L"color-s", L"color-r",  L"color-u",  L"color-d",
                                               L"color-f", L"color-fd", L"color-rd"};
// What the launcher itself reads from every skin.
constexpr const wchar_t* kLauncherStrings[] = {L"ids-deleting-files", L"ids-deleting-files-title",
                                               L"ids-capt-close",     L"ids-capt-minimise",
                                               L"ids-def-error",      L"ids-app-name"};
constexpr const wchar_t* kCaptionButtons[] = {L"close", L"minimize", L"maximize", L"restore", L"help"};
constexpr const wchar_t* kButtonStateImages[] = {L"n", L"s", L"r"};
constexpr const wchar_t* kInactiveStateImages[] = {L"nu", L"su", L"ru"};
constexpr const wchar_t* kControlImagePrefixes[] = {L"button_",    L"check_on_", L"check_off_",
                                                    L"check_ind_", L"radio_on_", L"radio_off_"};

bool IsRgbColor(const std::wstring& strValue)
{
    return strValue.size() == 7 && strValue[0] == L'#' &&
           std::all_of(strValue.begin() + 1, strValue.end(), [](wchar_t ch) { return std::iswxdigit(ch) != 0; });
}

bool IsDecimal(const std::wstring& strValue)
{
    float fValue = 0;
    wchar_t chAfter = 0;
    return std::swscanf(strValue.c_str(), L"%f%lc", &fValue, &chAfter) == 1;
}

bool IsInteger(const std::wstring& strValue, long nMin, long nMax)
{
    if (strValue.empty())
        return false;
    wchar_t* pEnd = nullptr;
    const long nValue = std::wcstol(strValue.c_str(), &pEnd, 10);
    return *pEnd == L'\0' && nValue >= nMin && nValue <= nMax;
}

// "30 x 30 pixels".
std::wstring SizeText(const CHImage& image)
{
    return std::to_wstring(image.GetWidth()) + L" x " + std::to_wstring(image.GetHeight()) + L" pixels";
}
}  // namespace

std::vector<CSkinCheck::CFinding> CSkinCheck::Run()
{
    HTRY {
        const std::wstring strPath = CHFileUtilities::ConcatPathname(m_strFolder, SkinFileName);
        if (!CHFileUtilities::FileExists(strPath)) {
            Report(kNoSourceOffset, std::wstring(L"there is no ") + SkinFileName + L" in the folder");
            return m_findings;
        }
        // Read as the library reads it: encoding from the byte-order mark or
        // the text's statistics, the ANSI code page otherwise.
        m_strText = CHFileUtilities::ReadTextFile(strPath, HTEXT_ENCODING_ANSI);
        const std::vector<unsigned char> bytes = ToolSupport::ReadFileBytes(strPath);
        CheckEncoding(std::string(bytes.begin(), bytes.end()));

        CHXmlNode& skin = m_appearance.GetXml();
        CHXmlParseInfo info;
        skin.Load(m_strText.c_str(), info);
        if (info.bErrorOccurred)
            Report(static_cast<size_t>(info.pErrorPosition - m_strText.c_str()),
                   L"the reader stops here: " + info.strErrorMessage);

        CHDialogSkinXmlConfig& config = m_appearance.GetConfig();
        config.SetImageDirectory(m_strFolder);
        config.SetStringsRoot(skin.Find(L"strings"));
        config.SetOptionsRoot(skin.Find(L"application-config"));
        CheckColors();
        CheckFonts();
        CheckStringsAndLanguages();
        CheckNamedImages();
        CheckForms();
        CheckNonClient();
        CheckControlImages();
        CheckLauncherNeeds();

        // The load the launcher does; its failures are the images above, so
        // it is reported only if nothing else explains it.
        const size_t nFindings = m_findings.size();
        try {
            m_appearance.AttachSkin();
        } catch (const CHException& e) {
            if (nFindings == 0)
                Report(kNoSourceOffset, L"loading the skin fails: " + ToolSupport::OneLineDescription(e));
        }
        std::stable_sort(m_findings.begin(), m_findings.end(),
                         [](const CFinding& a, const CFinding& b) { return a.nOffset + 1 < b.nOffset + 1; });
        return m_findings;
    } HCATCH
}

std::wstring CSkinCheck::Position(size_t nOffset) const
{
    // kNoSourceOffset lies past every text's end: "1,1".
    return ToolSupport::LineAndColumn(m_strText, nOffset);
}

size_t CSkinCheck::OffsetOf(const CHXmlNode& node, const wchar_t* pszAttribute)
{
    const CHXmlAttribute* pAttribute = pszAttribute ? node.GetAttribute(pszAttribute) : nullptr;
    return pAttribute ? pAttribute->GetSourceOffset() : node.GetSourceOffset();
}

void CSkinCheck::CheckEncoding(const std::string& bytes)
{
    HTRY {
        for (const char* pszMark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"})
            if (bytes.compare(0, std::strlen(pszMark), pszMark) == 0)
                return;
        auto itFirst = std::find_if(bytes.begin(), bytes.end(), [](char ch) { return (ch & 0x80) != 0; });
        if (itFirst == bytes.end())
            return;
        // Text the statistics recognised as UTF-16 was not read as ANSI.
        if (m_strText != CHStringHelper::MultiByteToString(bytes.c_str(), bytes.size(), CP_ACP))
            return;
        const size_t nByte = static_cast<size_t>(itFirst - bytes.begin());
        const size_t nOffset = nByte == 0 ? 0 : CHStringHelper::MultiByteToString(bytes.c_str(), nByte, CP_ACP).size();
        Report(nOffset, L"non-ASCII text in a file without a byte-order mark is read in the ANSI code page: "
                        L"save the file as UTF-8 with a byte-order mark");
    } HCATCH
}

std::set<std::wstring> CSkinCheck::CollectIds(const wchar_t* pszList, const wchar_t* pszItem, const wchar_t* pszKind)
{
    HTRY {
        std::set<std::wstring> ids;
        const CHXmlNode* pList = m_appearance.GetXml().Find(pszList);
        if (!pList)
            return ids;
        for (const CHXmlNode* pItem : pList->GetChildren(pszItem)) {
            const std::wstring* pId = pItem->GetAttributeValue(L"id");
            if (!pId)
                Report(*pItem, nullptr, std::wstring(L"a ") + pszKind + L" without \"id\" is ignored");
            else if (!ids.insert(*pId).second)
                Report(*pItem, L"id",
                       std::wstring(pszKind) + L" \"" + *pId + L"\" is defined twice: the first one counts");
        }
        return ids;
    } HCATCH
}

void CSkinCheck::CheckReference(const CHXmlNode& node, const wchar_t* pszAttribute, const std::set<std::wstring>& known,
                                const wchar_t* pszKind)
{
    const std::wstring* pId = node.GetAttributeValue(pszAttribute);
    if (pId && known.count(*pId) == 0)
        Report(node, pszAttribute, std::wstring(L"unknown ") + pszKind + L" \"" + *pId + L"\" in " + pszAttribute);
}

void CSkinCheck::CheckImage(size_t nOffset, const std::wstring& strPath, bool bRequired)
{
    HTRY {
        if (!CHFileUtilities::FileExists(strPath)) {
            if (bRequired)
                Report(nOffset, L"image \"" + strPath + L"\" is missing");
            return;
        }
        CHImage image;
        if (LoadOrReport(nOffset, strPath, image))
            CheckLargeImage(nOffset, strPath, image);
    } HCATCH
}

bool CSkinCheck::LoadOrReport(size_t nOffset, const std::wstring& strPath, CHImage& image)
{
    try {
        image.Load(strPath);
        return true;
    } catch (const CHException& e) {
        Report(nOffset, L"image \"" + strPath + L"\" does not load: " + ToolSupport::OneLineDescription(e));
        return false;
    }
}

void CSkinCheck::CheckLargeImage(size_t nOffset, const std::wstring& strPath, const CHImage& plain)
{
    HTRY {
        const std::wstring strLarge = CHDpiImage::LargeImagePath(strPath);
        if (strLarge.empty() || !CHFileUtilities::FileExists(strLarge))
            return;
        CHImage large;
        if (LoadOrReport(nOffset, strLarge, large) && !CHDpiImage::IsAboutTwice(large, plain))
            Report(nOffset, L"image \"" + strLarge + L"\" is " + SizeText(large) + L", not twice the " +
                                SizeText(plain) + L" of \"" + strPath + L"\": it is scaled to fit");
    } HCATCH
}

void CSkinCheck::CheckColors()
{
    HTRY {
        m_colorIds = CollectIds(L"colors", L"color", L"colour");
        const CHXmlNode* pColors = m_appearance.GetXml().Find(L"colors");
        for (const CHXmlNode* pColor : pColors ? pColors->GetChildren(L"color") : std::vector<CHXmlNode*>()) {
            const std::wstring* pValue = pColor->GetAttributeValue(L"value");
            const std::wstring* pOpacity = pColor->GetAttributeValue(L"opacity");
            if (!pValue)
                Report(*pColor, nullptr, L"a colour without \"value\" is ignored");
            else if (!IsRgbColor(*pValue))
                Report(*pColor, L"value", L"colour value \"" + *pValue + L"\" is not #rrggbb");
            if (pOpacity && !IsInteger(*pOpacity, 0, 255))
                Report(*pColor, L"opacity", L"opacity \"" + *pOpacity + L"\" is not a whole number from 0 to 255");
        }
    } HCATCH
}

void CSkinCheck::CheckFonts()
{
    HTRY {
        m_fontIds = CollectIds(L"fonts", L"font", L"font");
        const CHXmlNode& skin = m_appearance.GetXml();
        const CHXmlNode* pFonts = skin.Find(L"fonts");
        for (const CHXmlNode* pFont : pFonts ? pFonts->GetChildren(L"font") : std::vector<CHXmlNode*>()) {
            for (const wchar_t* pszRequired : {L"face", L"size"})
                if (!pFont->GetAttribute(pszRequired))
                    Report(*pFont, nullptr, std::wstring(L"a font without \"") + pszRequired + L"\" is ignored");
            if (const std::wstring* pSize = pFont->GetAttributeValue(L"size"); pSize && !IsDecimal(*pSize))
                Report(*pFont, L"size", L"font size \"" + *pSize + L"\" is not a number");
            for (const wchar_t* pszFlag : {L"bold", L"italic", L"underline"})
                if (const std::wstring* pFlag = pFont->GetAttributeValue(pszFlag);
                    pFlag && *pFlag != L"true" && *pFlag != L"false")
                    Report(*pFont, pszFlag,
                           std::wstring(pszFlag) + L" is \"" + *pFlag + L"\": only \"true\" switches it on");
        }
        const CHXmlNode* pAdjustments = skin.Find(L"fontadjustments");
        for (const CHXmlNode* pAdjustment :
             pAdjustments ? pAdjustments->GetChildren(L"fontadjustment") : std::vector<CHXmlNode*>()) {
            CheckReference(*pAdjustment, L"id", m_fontIds, L"font");
            if (const std::wstring* pOffset = pAdjustment->GetAttributeValue(L"offset");
                pOffset && !IsDecimal(*pOffset))
                Report(*pAdjustment, L"offset", L"font offset \"" + *pOffset + L"\" is not a number");
        }
    } HCATCH
}

void CSkinCheck::CheckNamedImages()
{
    HTRY {
        CollectIds(L"images", L"image", L"image");
        const CHXmlNode* pImages = m_appearance.GetXml().Find(L"images");
        for (const CHXmlNode* pImage : pImages ? pImages->GetChildren(L"image") : std::vector<CHXmlNode*>()) {
            if (const std::wstring* pValue = pImage->GetAttributeValue(L"value"))
                CheckImage(OffsetOf(*pImage, L"value"), m_appearance.GetConfig().MakeImagePath(*pValue), true);
            else
                Report(*pImage, nullptr, L"an image without \"value\" is ignored");
        }
    } HCATCH
}

void CSkinCheck::CheckColorsAndFontsOf(const CHXmlNode& node)
{
    for (const wchar_t* pszAttribute : kColorAttributes)
        CheckReference(node, pszAttribute, m_colorIds, L"colour");
    CheckReference(node, L"font", m_fontIds, L"font");
    CheckReference(node, L"text", m_stringIds, L"string");
}

void CSkinCheck::CheckForms()
{
    HTRY {
        const CHXmlNode* pForms = m_appearance.GetXml().Find(L"forms");
        for (const CHXmlNode* pForm : pForms ? pForms->GetChildren(L"form") : std::vector<CHXmlNode*>()) {
            if (!pForm->GetAttribute(L"id"))
                Report(*pForm, nullptr, L"a form without \"id\" is never used");
            CheckReference(*pForm, L"text", m_stringIds, L"string");
            // The form's text colour comes from the first class directly under it.
            if (const CHXmlNode* pGeneralClass = pForm->Find(L"class[id=general]"))
                CheckColorsAndFontsOf(*pGeneralClass);
            for (const auto& [pszList, pszItem] : {std::pair{L"classes", L"class"}, std::pair{L"controls", L"control"}})
                if (const CHXmlNode* pList = pForm->Find(pszList))
                    for (const CHXmlNode* pItem : pList->GetChildren(pszItem))
                        CheckColorsAndFontsOf(*pItem);
            const CHXmlNode* pBackground = pForm->Find(L"background");
            if (!pBackground)
                continue;
            const std::wstring* pType = pBackground->GetAttributeValue(L"type");
            const std::wstring* pPath = pBackground->GetAttributeValue(L"path");
            if (pType && CHStringHelper::EqualsNoCase(*pType, L"image")) {
                if (pPath)
                    CheckImage(OffsetOf(*pBackground, L"path"), m_appearance.GetConfig().MakeImagePath(*pPath), true);
                else
                    Report(*pBackground, nullptr, L"an image background without \"path\" paints nothing");
            } else {
                CheckReference(*pBackground, L"color", m_colorIds, L"colour");
            }
        }
    } HCATCH
}

void CSkinCheck::CheckStringsAndLanguages()
{
    HTRY {
        const CHXmlNode* pStrings = m_appearance.GetXml().Find(L"strings");
        if (!pStrings)
            return;
        std::set<std::wstring> languages;
        std::map<std::wstring, std::set<std::wstring>> languagesOf;
        std::map<std::wstring, const CHXmlNode*> firstOf;
        for (const CHXmlNode* pString : pStrings->GetChildren(L"string")) {
            const std::wstring* pId = pString->GetAttributeValue(L"id");
            if (!pId) {
                Report(*pString, nullptr, L"a string without \"id\" is never used");
                continue;
            }
            if (!pString->GetAttribute(L"text"))
                Report(*pString, nullptr, L"string \"" + *pId + L"\" has no \"text\"");
            m_stringIds.insert(*pId);
            firstOf.emplace(*pId, pString);
            if (const std::wstring* pLanguage = pString->GetAttributeValue(L"lang")) {
                languages.insert(*pLanguage);
                languagesOf[*pId].insert(*pLanguage);
            }
        }
        for (const auto& [strId, pFirst] : firstOf)
            for (const std::wstring& strLanguage : languages)
                if (languagesOf[strId].count(strLanguage) == 0)
                    Report(*pFirst, L"id",
                           L"string \"" + strId + L"\" has no text for language \"" + strLanguage + L"\"");
    } HCATCH
}

void CSkinCheck::CheckNonClient()
{
    HTRY {
        const CHXmlNode* pNonClient = m_appearance.GetXml().Find(L"nonclient");
        const std::wstring* pType = pNonClient ? pNonClient->GetAttributeValue(L"type") : nullptr;
        const std::wstring* pDirectory = pNonClient ? pNonClient->GetAttributeValue(L"dir") : nullptr;
        if (!pType || !CHStringHelper::EqualsNoCase(*pType, L"images") || !pDirectory) {
            Report(pNonClient ? pNonClient->GetSourceOffset() : kNoSourceOffset,
                   L"no <nonclient type=\"images\" dir=\"...\">: captions and frames are drawn in plain colours");
            return;
        }
        const std::wstring strDirectory = m_appearance.GetConfig().MakeImagePath(*pDirectory) + L"\\";
        for (int i = 0; i < frameImageCount; ++i)
            CheckImage(OffsetOf(*pNonClient, L"dir"), strDirectory + GetFrameImageName(i) + L".png", true);
        for (const wchar_t* pszButton : kCaptionButtons) {
            auto path = [&](const wchar_t* pszState) {
                return strDirectory + L"btn_" + pszButton + L"_" + pszState + L".png";
            };
            // Close is always shown; another button's images come as a set or not at all.
            bool bRequired = std::wstring(pszButton) == L"close";
            for (const wchar_t* pszState : kButtonStateImages)
                bRequired = bRequired || CHFileUtilities::FileExists(path(pszState));
            for (const wchar_t* pszState : kButtonStateImages)
                CheckImage(OffsetOf(*pNonClient, L"dir"), path(pszState), bRequired);
            for (const wchar_t* pszState : kInactiveStateImages)
                CheckImage(OffsetOf(*pNonClient, L"dir"), path(pszState), false);
        }
    } HCATCH
}

void CSkinCheck::CheckControlImages()
{
    HTRY {
        const CHXmlNode* pControlImages = m_appearance.GetXml().Find(L"controlimages");
        const std::wstring* pPath = pControlImages ? pControlImages->GetAttributeValue(L"path") : nullptr;
        if (!pPath) {
            Report(pControlImages ? pControlImages->GetSourceOffset() : kNoSourceOffset,
                   L"no <controlimages path=\"...\">: skinned buttons have no images");
            return;
        }
        const std::wstring strDirectory = m_appearance.GetConfig().MakeImagePath(*pPath) + L"\\";
        for (const wchar_t* pszPrefix : kControlImagePrefixes)
            for (int nState = 0; nState < stateCount; ++nState)
                CheckImage(OffsetOf(*pControlImages, L"path"),
                           strDirectory + pszPrefix + GetStateSuffix(nState) + L".png", true);
        for (const wchar_t* pszState : kButtonStateImages)
            CheckImage(OffsetOf(*pControlImages, L"path"), strDirectory + L"iconbutton_" + pszState + L".png", true);
        for (const wchar_t* pszName : {L"Prog_bar_empty.png", L"Prog_bar_full.png"})
            CheckImage(OffsetOf(*pControlImages, L"path"), strDirectory + pszName, true);
    } HCATCH
}

void CSkinCheck::CheckLauncherNeeds()
{
    HTRY {
        const CHXmlNode& skin = m_appearance.GetXml();
        const std::wstring strResources = m_appearance.GetConfig().MakeImagePath(L"Resources") + L"\\";
        std::vector<std::wstring> images = {L"progress_full", L"progress_empty", L"shadow"};
        for (int n = 1; n <= 8; ++n)
            images.push_back(L"anim_wait_" + std::to_wstring(n));
        for (const std::wstring& strImage : images)
            CheckImage(kNoSourceOffset, strResources + strImage + L".png", true);
        const CHXmlNode* pStrings = skin.Find(L"strings");
        for (const wchar_t* pszString : kLauncherStrings)
            if (m_stringIds.count(pszString) == 0)
                Report(pStrings ? pStrings->GetSourceOffset() : kNoSourceOffset,
                       std::wstring(L"the launcher's string \"") + pszString + L"\" is missing");
        if (const CHXmlNode* pEdge = skin.Find(L"application-config/option[id=\"edge-color\"]"))
            CheckReference(*pEdge, L"value", m_colorIds, L"colour");
        if (const CHXmlNode* pSpacing = skin.Find(L"application-config/option[id=\"caption-btn-spacing\"]"))
            if (const std::wstring* pValue = pSpacing->GetAttributeValue(L"value");
                pValue && !IsInteger(*pValue, 0, 1000))
                Report(*pSpacing, L"value", L"caption-btn-spacing \"" + *pValue + L"\" is not a number of pixels");
    } HCATCH
}
