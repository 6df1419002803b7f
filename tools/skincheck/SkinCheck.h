// The checks of skincheck.exe, shared with the tools that look at a skin as
// part of a larger whole (mediumcheck.exe checks the skin of a medium's
// working folder). CSkinCheck reads FOLDER\SkinningConfig.xml with the
// skinned GUI library's own reader and lookups and returns its findings:
// anything that would fail, or silently fall back to a default, when the
// launcher shows its dialogs: the reader's first error; colours that are not
// "#rrggbb"; references to colour, font or string ids the file does not
// define; a string that lacks a language other strings have; images that are
// missing or do not decode, and larger "@2x" pictures beside them that do not
// decode or are not twice the size; images and strings the launcher needs
// that the skin lacks; non-ASCII text in a file without a byte-order mark
// (which would be read in the ANSI code page). Findings that belong to the
// file as a whole are reported at line 1, column 1.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "RAde/DEVEDar/HDialogAppeareaceDef.h"
#include "RAde/HException.h"

class CSkinCheck
{
public:
    static constexpr wchar_t SkinFileName[] = L"SkinningConfig.xml";

    struct CFinding
    {
        size_t nOffset;  // in the file's text; kNoSourceOffset: the file as a whole
        std::wstring strMessage;
    };

    explicit CSkinCheck(const std::wstring& strFolder) : m_strFolder(strFolder) {}

    // Returns the findings; throws only when the file cannot be read at all.
    std::vector<CFinding> Run();
    // "LINE,COLUMN" of an offset in the text that was checked.
    std::wstring Position(size_t nOffset) const;

private:
    void Report(size_t nOffset, const std::wstring& strMessage) { m_findings.push_back({nOffset, strMessage}); }
    void Report(const CHXmlNode& node, const wchar_t* pszAttribute, const std::wstring& strMessage)
    {
        Report(OffsetOf(node, pszAttribute), strMessage);
    }
    // Where the attribute (the node itself, without one) begins.
    static size_t OffsetOf(const CHXmlNode& node, const wchar_t* pszAttribute);

    void CheckEncoding(const std::string& bytes);
    void CheckColors();
    void CheckFonts();
    void CheckNamedImages();
    void CheckForms();
    void CheckColorsAndFontsOf(const CHXmlNode& node);
    void CheckStringsAndLanguages();
    void CheckNonClient();
    void CheckControlImages();
    void CheckLauncherNeeds();
    // The attribute names an id that the set of known ids lacks.
    void CheckReference(const CHXmlNode& node, const wchar_t* pszAttribute, const std::set<std::wstring>& known,
                        const wchar_t* pszKind);
    // An image file: missing (when required) or not decodable.
    void CheckImage(size_t nOffset, const std::wstring& strPath, bool bRequired);
    // The larger picture beside a plain one ("@2x"), which screens of 150 % and more show.
    void CheckLargeImage(size_t nOffset, const std::wstring& strPath, const CHImage& plain);
    // Loads the image; false, with the loader's reason reported, when it does not load.
    bool LoadOrReport(size_t nOffset, const std::wstring& strPath, CHImage& image);
    // Ids of the children of a list, reporting those without one and those defined twice.
    std::set<std::wstring> CollectIds(const wchar_t* pszList, const wchar_t* pszItem, const wchar_t* pszKind);

    std::wstring m_strFolder;
    std::wstring m_strText;
    CHDialogAppeareaceDef m_appearance;
    std::set<std::wstring> m_colorIds, m_fontIds, m_stringIds;
    std::vector<CFinding> m_findings;
};
