// skinbench [SKIN FOLDER]: how long loading a skin takes, for the sample skin
// and for a skin ten times its size, and their ratio.
//
// Loading is what the launcher does before its first skinned dialog: read
// "SkinningConfig.xml", apply it (fonts, colours, named images, the general
// form, frame and caption-button images, default control images), then load
// every form record and look up every string. The larger skin repeats every
// entry of the sample's lists ten times under new ids and names ten times as
// many images, so it has ten times the elements and ten times the images to
// decode. Linear growth gives a ratio of about 10. Each figure is the best of
// several runs. The program prints the figures; it judges nothing.
#include <windows.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "RAde/HXmlNode.h"

namespace {
constexpr int kRuns = 5;
constexpr int kScale = 10;
const wchar_t* const kLists[] = {L"colors", L"fonts",   L"fontadjustments",   L"images",
                                 L"forms",  L"strings", L"application-config"};

// A name map for a form without controls.
class CFormMap : public CHDialogSkinXmlConfig::CNameMap
{
public:
    explicit CFormMap(std::wstring strFormId) : m_strFormId(std::move(strFormId)) {}
    std::optional<std::wstring> GetFormId() const override { return m_strFormId; }
    std::optional<std::wstring> GetControlName(int) const override { return std::nullopt; }
    int GetControlId(const std::wstring&) const override { return 0; }

private:
    std::wstring m_strFormId;
};

struct CSkinSize
{
    size_t nTextUnits = 0;
    size_t nElements = 0;
    size_t nImages = 0;
};

size_t CountElements(const CHXmlNode& node)
{
    size_t nCount = 1;
    for (const auto& child : node.GetChildNodes())
        nCount += CountElements(*child);
    return nCount;
}

// The PNG files below a folder, relative to the top folder.
void FindImages(const std::wstring& strTop, const std::wstring& strRelative, std::vector<std::wstring>& images)
{
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strTop + L"\\" + strRelative + L"*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring strName = data.cFileName;
        if (strName == L"." || strName == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FindImages(strTop, strRelative + strName + L"\\", images);
        else if (strName.size() > 4 && CHStringHelper::EqualsNoCase(strName.substr(strName.size() - 4), L".png"))
            images.push_back(strRelative + strName);
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
}

// Every "id" (and the "value" of image entries) of a copied element gets the copy's suffix.
void Rename(CHXmlNode& node, const std::wstring& strSuffix)
{
    if (CHXmlAttribute* pId = node.GetAttribute(L"id"))
        pId->SetValue(pId->GetValue() + strSuffix);
    for (const auto& child : node.GetChildNodes())
        Rename(*child, strSuffix);
}

std::wstring Escape(const std::wstring& strText)
{
    std::wstring strOut;
    for (wchar_t ch : strText)
        strOut += ch == L'&' ? L"&amp;" : ch == L'<' ? L"&lt;" : ch == L'"' ? L"&quot;" : std::wstring(1, ch);
    return strOut;
}

std::wstring ToText(const CHXmlNode& node)
{
    std::wstring strText = L"<" + node.GetName();
    for (const auto& attribute : node.GetAttributes())
        strText += L" " + attribute->GetName() + L"=\"" + Escape(attribute->GetValue()) + L"\"";
    strText += L">";
    for (const auto& child : node.GetChildNodes())
        strText += ToText(*child);
    return strText + L"</" + node.GetName() + L">\r\n";
}

// Writes the larger skin into the folder: the sample's lists ten times over,
// and ten times as many images. Its images are the sample's, and are loaded
// from the sample's folder.
void WriteLargerSkin(const std::wstring& strSample, const std::wstring& strFolder)
{
    HTRY {
        CHXmlNode sample;
        sample.LoadFromFile(strSample + L"\\SkinningConfig.xml");
        // The images a load of the sample decodes: named, frame, caption-button and control images.
        std::vector<std::wstring> images;
        for (const wchar_t* pszFolder : {L"images\\", L"nonclient\\", L"controls\\"})
            FindImages(strSample, pszFolder, images);

        std::wstring strText = L"<skin>\r\n";
        for (const auto& child : sample.GetChildNodes()) {
            const bool bList = std::find(std::begin(kLists), std::end(kLists), child->GetName()) != std::end(kLists);
            if (!bList) {
                strText += ToText(*child);
                continue;
            }
            CHXmlNode list;
            list.SetName(child->GetName());
            for (int nCopy = 0; nCopy < kScale; ++nCopy)
                for (const auto& item : child->GetChildNodes()) {
                    CHXmlNode* pCopy = list.AppendCopy(*item);
                    if (nCopy > 0)
                        Rename(*pCopy, L"-" + std::to_wstring(nCopy));
                }
            if (child->GetName() == L"images")
                for (int nCopy = 1; nCopy < kScale; ++nCopy)
                    for (const std::wstring& strImage : images) {
                        CHXmlNode* pImage = list.AppendChild(L"image", L"");
                        pImage->AppendAttribute(L"id", strImage + std::to_wstring(nCopy));
                        pImage->AppendAttribute(L"value", strImage);
                    }
            strText += ToText(list);
        }
        strText += L"</skin>\r\n";
        CHFileUtilities::WriteTextFile(strFolder + L"\\SkinningConfig.xml", strText, false, HTEXT_ENCODING_UTF8);
    } HCATCH
}

// Loads the skin as the launcher does, then every form and every string.
CSkinSize LoadSkin(const std::wstring& strFolder, const std::wstring& strImageFolder)
{
    HTRY {
        CHDialogAppeareaceDef appearance;
        appearance.SetLanguage(L"en-uk");
        appearance.ReadSkinFile(strFolder);
        appearance.GetConfig().SetImageDirectory(strImageFolder);
        appearance.AttachSkin();
        CSkinSize size;
        const CHXmlNode& skin = appearance.GetXml();
        if (const CHXmlNode* pForms = skin.Find(L"forms"))
            for (const CHXmlNode* pForm : pForms->GetChildren(L"form")) {
                const CFormMap map(*pForm->GetAttributeValue(L"id"));
                appearance.GetFormRecord(&map);
            }
        if (const CHXmlNode* pStrings = skin.Find(L"strings"))
            for (const CHXmlNode* pString : pStrings->GetChildren(L"string"))
                appearance.GetConfig().GetString(*pString->GetAttributeValue(L"id"));
        size.nElements = CountElements(skin);
        return size;
    } HCATCH
}

double BestSeconds(const std::wstring& strFolder, const std::wstring& strImageFolder)
{
    double dBest = 1e30;
    for (int nRun = 0; nRun < kRuns; ++nRun) {
        const LONGLONG nStart = Now();
        LoadSkin(strFolder, strImageFolder);
        dBest = std::min(dBest, Seconds(Now() - nStart));
    }
    return dBest;
}

// The images a load decodes: the named ones, the form backgrounds, and the
// frame, caption-button and default control images of the sample's folders.
size_t ImagesLoaded(const CHXmlNode& skin, const std::wstring& strImageFolder)
{
    size_t nImages = 0;
    if (const CHXmlNode* pImages = skin.Find(L"images"))
        nImages += pImages->GetChildren(L"image").size();
    if (const CHXmlNode* pForms = skin.Find(L"forms"))
        for (const CHXmlNode* pForm : pForms->GetChildren(L"form"))
            nImages += pForm->Find(L"background[type=\"image\"]") ? 1 : 0;
    std::vector<std::wstring> files;
    FindImages(strImageFolder, L"nonclient\\", files);
    FindImages(strImageFolder, L"controls\\", files);
    return nImages + files.size();
}

CSkinSize Measure(const std::wstring& strFolder, const std::wstring& strImageFolder)
{
    CSkinSize size = LoadSkin(strFolder, strImageFolder);
    CHXmlNode skin;
    skin.LoadFromFile(strFolder + L"\\SkinningConfig.xml");
    size.nTextUnits = CHFileUtilities::ReadTextFile(strFolder + L"\\SkinningConfig.xml", HTEXT_ENCODING_ANSI).size();
    size.nImages = ImagesLoaded(skin, strImageFolder);
    return size;
}

void Print(const char* pszName, const CSkinSize& size, double dSeconds)
{
    std::printf("  %-12s XML %7.1f KB, %5zu elements, %5zu images: %8.1f ms\n", pszName,
                static_cast<double>(size.nTextUnits) * 2 / 1024, size.nElements, size.nImages, dSeconds * 1000);
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        const std::wstring strSample = argc > 1 ? argv[1] : OwnFolder() + L"skin";
        const std::wstring strLarger =
            CHFileUtilities::GetTempDirectory() + L"skinbench-" + std::to_wstring(::GetCurrentProcessId());
        CHFileUtilities::BuildDirectory(strLarger);
        WriteLargerSkin(strSample, strLarger);

        LoadSkin(strSample, strSample);  // GDI+ starts once, outside the timing
        const CSkinSize sample = Measure(strSample, strSample);
        const CSkinSize larger = Measure(strLarger, strSample);
        const double dSample = BestSeconds(strSample, strSample);
        const double dLarger = BestSeconds(strLarger, strSample);
        CHFileUtilities::DeleteDirectory(strLarger);

        std::printf("skinbench: read and apply a skin, then every form record and string (best of %d runs)\n", kRuns);
        Print("sample skin", sample, dSample);
        Print("ten times", larger, dLarger);
        std::printf("  ratio        %.2f (the larger skin is %.1f times the elements and %.1f times the images)\n",
                    dLarger / dSample, static_cast<double>(larger.nElements) / static_cast<double>(sample.nElements),
                    static_cast<double>(larger.nImages) / static_cast<double>(sample.nImages));
        return 0;
    } catch (const CHException& e) {
        std::printf("skinbench: %ls\n", e.GetDescription(7).c_str());
        return 1;
    }
}
