// The text of a medium's "autorun.inf", line by line: where the keys of one
// section stand (for the positions of findings), and the lines of the file
// that the system's profile reader passes over without a word. The values
// themselves are never taken from here: the launcher's own reader
// (CInstallUtils::ReadIniValueFrom) reads them.
//
// Read as the profile reader reads a file: a section begins at a line
// "[name]" and runs to the next one; of several sections of one name only the
// first is consulted, and of several equal keys in it only the first one. A
// line is blank, a comment (";" first), a section header or "key=value"; key
// and value lose the blanks around them. Anything else in the section is
// ignored by the reader, and so is reported here.
#pragma once

#include <string>
#include <vector>

class CAutorunInfText
{
public:
    // Lines and columns count from 1; a column counts UTF-16 code units.
    struct CKeyLine
    {
        std::wstring strKey;
        std::wstring strValue;  // as written, without the blanks around it
        size_t nLine = 0;
        size_t nValueColumn = 0;
    };
    struct CLineFinding
    {
        size_t nLine = 0;
        size_t nColumn = 0;
        std::wstring strMessage;
    };

    // The file's bytes, decoded as the profile reader decodes them: UTF-16LE
    // after FF FE, UTF-8 after EF BB BF, the ANSI code page otherwise.
    CAutorunInfText(const std::string& bytes, const std::wstring& strSection);

    // The keys of the first section of the name, in their order.
    const std::vector<CKeyLine>& Keys() const { return m_keys; }
    // The first line of the key (any case), or nullptr.
    const CKeyLine* FindKey(const std::wstring& strKey) const;
    // Section headers without "]" anywhere, a second section of the name,
    // and the lines of the section that are not "key=value".
    const std::vector<CLineFinding>& LineFindings() const { return m_findings; }

private:
    void ReadLine(const std::wstring& strLine, size_t nLine);
    void ReadSectionHeader(const std::wstring& strLine, size_t nLine, size_t nStart);
    void ReadKeyLine(const std::wstring& strLine, size_t nLine, size_t nStart);

    std::wstring m_strSection;
    bool m_bSeen = false;    // a section of the name came
    bool m_bInside = false;  // in the first one
    std::vector<CKeyLine> m_keys;
    std::vector<CLineFinding> m_findings;
};
