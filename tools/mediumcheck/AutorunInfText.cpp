#include "tools/mediumcheck/AutorunInfText.h"

#include <windows.h>

#include <algorithm>

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"

namespace {
const wchar_t kBlanks[] = L" \t\r";

std::wstring Decode(const std::string& bytes)
{
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        std::wstring strText((bytes.size() - 2) / 2, L'\0');
        std::copy_n(bytes.data() + 2, strText.size() * 2, reinterpret_cast<char*>(strText.data()));
        return strText;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return CHStringHelper::MultiByteToString(bytes.data() + 3, bytes.size() - 3, CP_UTF8);
    return CHStringHelper::MultiByteToString(bytes.data(), bytes.size(), CP_ACP);
}

std::wstring Trimmed(const std::wstring& strText)
{
    const size_t nStart = strText.find_first_not_of(kBlanks);
    if (nStart == std::wstring::npos)
        return std::wstring();
    return strText.substr(nStart, strText.find_last_not_of(kBlanks) + 1 - nStart);
}
}  // namespace

CAutorunInfText::CAutorunInfText(const std::string& bytes, const std::wstring& strSection) : m_strSection(strSection)
{
    HTRY {
        const std::wstring strText = Decode(bytes);
        size_t nLine = 1;
        for (size_t nStart = 0; nStart < strText.size(); ++nLine) {
            const size_t nEnd = std::min(strText.find(L'\n', nStart), strText.size());
            ReadLine(strText.substr(nStart, nEnd - nStart), nLine);
            nStart = nEnd + 1;
        }
    } HCATCH
}

const CAutorunInfText::CKeyLine* CAutorunInfText::FindKey(const std::wstring& strKey) const
{
    auto it = std::find_if(m_keys.begin(), m_keys.end(),
                           [&](const CKeyLine& key) { return CHStringHelper::EqualsNoCase(key.strKey, strKey); });
    return it == m_keys.end() ? nullptr : &*it;
}

void CAutorunInfText::ReadLine(const std::wstring& strLine, size_t nLine)
{
    HTRY {
        const size_t nStart = strLine.find_first_not_of(kBlanks);
        if (nStart == std::wstring::npos || strLine[nStart] == L';')
            return;
        if (strLine[nStart] == L'[')
            ReadSectionHeader(strLine, nLine, nStart);
        else if (m_bInside)
            ReadKeyLine(strLine, nLine, nStart);
    } HCATCH
}

void CAutorunInfText::ReadSectionHeader(const std::wstring& strLine, size_t nLine, size_t nStart)
{
    HTRY {
        const size_t nClose = strLine.find(L']', nStart);
        if (nClose == std::wstring::npos) {
            m_findings.push_back({nLine, nStart + 1,
                                  L"a section header without \"]\": the reader does not take it "
                                  L"for one"});
            return;
        }
        const bool bOurs =
            CHStringHelper::EqualsNoCase(Trimmed(strLine.substr(nStart + 1, nClose - nStart - 1)), m_strSection);
        if (bOurs && m_bSeen)
            m_findings.push_back(
                {nLine, nStart + 1,
                 L"a second [" + m_strSection + L"] section: the reader takes only the first one's keys"});
        m_bInside = bOurs && !m_bSeen;
        m_bSeen = m_bSeen || bOurs;
    } HCATCH
}

void CAutorunInfText::ReadKeyLine(const std::wstring& strLine, size_t nLine, size_t nStart)
{
    HTRY {
        const size_t nEquals = strLine.find(L'=', nStart);
        if (nEquals == std::wstring::npos) {
            m_findings.push_back(
                {nLine, nStart + 1, L"neither key=value, comment nor blank: the reader ignores this line"});
            return;
        }
        CKeyLine key;
        key.strKey = Trimmed(strLine.substr(nStart, nEquals - nStart));
        if (key.strKey.empty()) {
            m_findings.push_back({nLine, nStart + 1, L"a value without a key: the reader ignores this line"});
            return;
        }
        const size_t nValue = strLine.find_first_not_of(kBlanks, nEquals + 1);
        key.strValue = nValue == std::wstring::npos ? std::wstring() : Trimmed(strLine.substr(nValue));
        key.nLine = nLine;
        key.nValueColumn = (nValue == std::wstring::npos ? nEquals + 1 : nValue) + 1;
        m_keys.push_back(std::move(key));
    } HCATCH
}
