// Helpers of the skin tests: skin folders a test writes, the sample skin
// beside the test program, a name map, and solid PNG files.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "AnimationTestSupport.h"
#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/DEVEDar/HImage.h"
#include "TestSupport.h"

// Writes the image as a PNG file.
inline void SavePng(const CHImage& image, const std::wstring& strPath)
{
    image.Save(strPath);
}

// A folder with a "SkinningConfig.xml" (UTF-8 with a byte-order mark) whose
// top element holds strBody, and the images a test adds.
class CSkinFolder : public CTempFolder
{
public:
    explicit CSkinFolder(const std::wstring& strBody) : CTempFolder(L"skin")
    {
        WriteFileBytes(*this / L"SkinningConfig.xml", "\xEF\xBB\xBF<skin>" + Utf8Of(strBody) + "</skin>");
    }

    // A solid image of one pixel value (blue, green, red, alpha bytes), its
    // folders made on the way.
    void AddImage(const std::wstring& strRelative, int nWidth, int nHeight, DWORD dwPixel) const
    {
        for (size_t nSlash = strRelative.find(L'\\'); nSlash != std::wstring::npos;
             nSlash = strRelative.find(L'\\', nSlash + 1))
            ::CreateDirectoryW((*this / strRelative.substr(0, nSlash)).c_str(), nullptr);
        SavePng(AnimationTest::SolidImage(nWidth, nHeight, dwPixel), *this / strRelative);
    }
};

// A dialog's names for the skin: its form id and its controls.
class CTestNameMap : public CHDialogSkinXmlConfig::CNameMap
{
public:
    CTestNameMap(std::optional<std::wstring> formId, std::map<int, std::wstring> names = {})
        : m_formId(std::move(formId)), m_names(std::move(names))
    {
    }

    std::optional<std::wstring> GetFormId() const override { return m_formId; }
    std::optional<std::wstring> GetControlName(int nControlId) const override
    {
        auto it = m_names.find(nControlId);
        return it == m_names.end() ? std::nullopt : std::optional<std::wstring>(it->second);
    }
    int GetControlId(const std::wstring& strName) const override
    {
        for (const auto& [nId, strKnown] : m_names)
            if (strKnown == strName)
                return nId;
        return 0;
    }

private:
    std::optional<std::wstring> m_formId;
    std::map<int, std::wstring> m_names;
};

// Reads and applies the folder's skin with the language and DPI scale set first.
inline void LoadSkin(CHDialogAppeareaceDef& appearance, const std::wstring& strFolder,
                     const std::wstring& strLanguage = L"", float fDpiScale = 1.0f)
{
    appearance.SetDpiScale(fDpiScale);
    appearance.SetLanguage(strLanguage);
    appearance.ReadSkinFile(strFolder);
    appearance.AttachSkin();
}

// "r,g,b" of a colour, "none" without one.
inline std::wstring ColorText(std::optional<COLORREF> cr)
{
    if (!cr)
        return L"none";
    return std::to_wstring(GetRValue(*cr)) + L"," + std::to_wstring(GetGValue(*cr)) + L"," +
           std::to_wstring(GetBValue(*cr));
}

// A stored colour-set value as a colour.
inline std::optional<COLORREF> ColorOf(std::optional<INT_PTR> value)
{
    return value ? std::optional<COLORREF>(static_cast<COLORREF>(*value)) : std::nullopt;
}
