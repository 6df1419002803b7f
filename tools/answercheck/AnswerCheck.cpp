#include "tools/answercheck/AnswerCheck.h"

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "InstallerShim/AnswerPipeServer.h"
#include "InstallerShim/InstallUtils.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "tools/common/ToolSupport.h"

namespace {

using InstallParsers::CAnswerLine;
using ToolSupport::Quoted;

// A key whose spelling is this close to a known one (edits of one
// character each) is taken for a slip of that key.
constexpr size_t kMaxKeySlip = 3;

bool StartsWith(const std::vector<unsigned char>& bytes, std::initializer_list<unsigned char> mark)
{
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

bool HasByteOrderMark(const std::vector<unsigned char>& bytes)
{
    return StartsWith(bytes, {0xFF, 0xFE}) || StartsWith(bytes, {0xFE, 0xFF}) || StartsWith(bytes, {0xEF, 0xBB, 0xBF});
}

std::wstring EncodingName(const std::vector<unsigned char>& bytes, const std::wstring& strText)
{
    if (StartsWith(bytes, {0xFF, 0xFE}))
        return L"UTF-16 little-endian after its byte-order mark";
    if (StartsWith(bytes, {0xFE, 0xFF}))
        return L"UTF-16 big-endian after its byte-order mark";
    if (StartsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return L"UTF-8 after its byte-order mark";
    const bool bLittleEndian = bytes.size() < 2 || strText.empty() || strText[0] == (bytes[0] | (bytes[1] << 8));
    return bLittleEndian ? L"no byte-order mark: read as UTF-16 little-endian"
                         : L"no byte-order mark: read as UTF-16 big-endian";
}

// The number of one-character edits that turn one word into the other.
size_t EditDistance(const std::wstring& strFrom, const std::wstring& strTo)
{
    std::vector<size_t> row(strTo.size() + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= strFrom.size(); ++i) {
        size_t nDiagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= strTo.size(); ++j) {
            const size_t nAbove = row[j];
            const bool bSame = std::towlower(strFrom[i - 1]) == std::towlower(strTo[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, nDiagonal + (bSame ? 0 : 1)});
            nDiagonal = nAbove;
        }
    }
    return row.back();
}

std::wstring Trimmed(const std::wstring& strText)
{
    const size_t nFirst = strText.find_first_not_of(L" \t");
    return nFirst == std::wstring::npos ? std::wstring()
                                        : strText.substr(nFirst, strText.find_last_not_of(L" \t") - nFirst + 1);
}

// The known key nearest to a word, or nullptr when none is near.
const wchar_t* NearestKey(const std::wstring& strWord)
{
    const wchar_t* pszNearest = nullptr;
    size_t nBest = kMaxKeySlip + 1;
    for (const wchar_t* pszKey : InstallParsers::AnswerKeys) {
        const std::wstring strKey(pszKey, std::wcslen(pszKey) - 1);  // without "="
        const size_t nDistance = EditDistance(Trimmed(strWord), strKey);
        if (nDistance < nBest) {
            nBest = nDistance;
            pszNearest = pszKey;
        }
    }
    return pszNearest;
}

bool IsBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t';
}

// A path with blanks quoted once: the outer quotes are taken off the value
// first, so the program ends at the first blank.
bool IsQuotedOnce(const CAnswerLine& line)
{
    const std::wstring strWritten = line.strText.substr(std::wcslen(line.pszKey));
    return !strWritten.empty() && strWritten.front() == L'"' && !line.strValue.empty() &&
           line.strValue.front() != L'"' && line.strValue.find(L'"') != std::wstring::npos;
}

std::wstring CountOf(size_t nCount, const wchar_t* pszOne, const wchar_t* pszMany)
{
    return std::to_wstring(nCount) + L" " + (nCount == 1 ? pszOne : pszMany);
}

}  // namespace

void CAnswerCheck::Report(size_t nOffset, const std::wstring& strFinding)
{
    m_findings.push_back(
        {nOffset + 1, m_strSource + L"(" + ToolSupport::LineAndColumn(m_strText, nOffset) + L"): " + strFinding});
}

std::wstring CAnswerCheck::GetFindings() const
{
    HTRY {
        auto findings = m_findings;
        std::stable_sort(findings.begin(), findings.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::wstring strLines;
        for (const auto& finding : findings)
            strLines += finding.second + L"\n";
        return strLines;
    } HCATCH
}

void CAnswerCheck::CheckAnswer(const CAnswerPipeServer::CReceipt& receipt,
                               const InstallParsers::CInstallerAnswer& answer)
{
    HTRY {
        const std::wstring strSize = std::to_wstring(receipt.cbSent) + L" bytes from " + m_strSource;
        if (!receipt.bInstallerConnected) {
            Describe(L"answer: none came through " + m_strSource);
            Report(L"no client of the installer connected: the launcher takes no answer (nothing is started or "
                   L"deleted)");
        } else if (receipt.bRefused) {
            Describe(L"answer: " + strSize + L", taken as none");
            Report(L"the answer is " + std::to_wstring(receipt.cbSent) + L" bytes, over the launcher's cap of " +
                   std::to_wstring(CAnswerPipeServer::MaxAnswerBytes) +
                   L" (or a flood of empty messages): the launcher ignores all of it (nothing is started or deleted)");
        } else if (receipt.bytes.empty()) {
            Describe(L"answer: " + strSize);
            Report(L"the installer connected and wrote nothing: the launcher takes no answer (nothing is started or "
                   L"deleted)");
        } else {
            m_strText = InstallParsers::DecodeAnswer(receipt.bytes);
            Describe(L"answer: " + strSize + L", " + EncodingName(receipt.bytes, m_strText));
        }
        DescribeAnswer(answer);
        if (m_strText.empty())
            return;
        CheckEncoding(receipt.bytes);
        CheckLineEnds();
        for (const CAnswerLine& line : InstallParsers::SplitAnswerLines(m_strText))
            CheckLine(line);
    } HCATCH
}

void CAnswerCheck::DescribeAnswer(const InstallParsers::CInstallerAnswer& answer)
{
    HTRY {
        // Every autorun line, the ones the launcher skips included.
        bool bAutorunLines = false;
        for (const CAnswerLine& line : InstallParsers::SplitAnswerLines(m_strText)) {
            if (line.pszKey != InstallParsers::AutorunKey)
                continue;
            bAutorunLines = true;
            const auto [strProgram, strArgument] = InstallParsers::SplitAutorunValue(line.strValue);
            if (!InstallParsers::IsStartableProgram(strProgram)) {
                Describe(L"autorun: " + Quoted(strProgram) + L" is not there: not started");
                continue;
            }
            Describe(L"autorun: " + Quoted(strProgram) + L" with arguments " + Quoted(strArgument) + L" in " +
                     Quoted(CHFileUtilities::GetPathFromFilename(strProgram)) +
                     L", with the environment read afresh from the registry");
        }
        if (!bAutorunLines)
            Describe(L"autorun: none");
        Describe(L"language: " +
                 (answer.strLanguage.empty() ? std::wstring(L"none") : ToolSupport::Printable(answer.strLanguage)));
        Describe(std::wstring(L"delete-files: ") + (answer.bDeleteFiles
                                                        ? L"true: the staged files are deleted behind the wait dialog"
                                                        : L"not true: nothing is deleted"));
    } HCATCH
}

void CAnswerCheck::DescribeExitCode(DWORD dwExitCode, const InstallParsers::CInstallerAnswer& answer)
{
    HTRY {
        std::wstring strLine = L"exit code " + std::to_wstring(dwExitCode) + L": ";
        if (answer.bDeleteFiles)
            strLine += L"the staged files are deleted, then ";
        switch (CInstallUtils::WhatFollowsExitCode(dwExitCode)) {
        case CInstallUtils::CAfterInstaller::Autoruns:
            strLine += answer.autoruns.empty()
                           ? L"nothing is started"
                           : CountOf(answer.autoruns.size(), L"autorun is", L"autoruns are") + L" started";
            break;
        case CInstallUtils::CAfterInstaller::Restart:
            strLine += L"Windows is restarted; no autorun is started";
            break;
        case CInstallUtils::CAfterInstaller::Nothing:
            strLine += L"nothing more: the installer has started a restart itself; no autorun is started";
            break;
        }
        Describe(strLine);
    } HCATCH
}

void CAnswerCheck::CheckEncoding(const std::vector<unsigned char>& bytes)
{
    HTRY {
        if (bytes.empty() || HasByteOrderMark(bytes))
            return;
        // UTF-16 text of the Latin alphabet has a zero in every other byte;
        // UTF-8 and the ANSI code pages have none.
        if (std::find(bytes.begin(), bytes.end(), 0) == bytes.end()) {
            Report(0, L"no byte-order mark, and the bytes look like 8-bit text (UTF-8 or an ANSI code page), which "
                      L"the launcher reads as UTF-16 and does not understand: send UTF-16 little-endian after FF FE");
            return;
        }
        const auto itWide = std::find_if(m_strText.begin(), m_strText.end(), [](wchar_t ch) { return ch > 0x7F; });
        if (itWide != m_strText.end())
            Report(static_cast<size_t>(itWide - m_strText.begin()),
                   L"non-ASCII text in an answer without a byte-order mark: the launcher guesses the byte order from "
                   L"the text's statistics; begin the answer with FF FE");
    } HCATCH
}

void CAnswerCheck::CheckLineEnds()
{
    HTRY {
        // A carriage return stays part of its line, so the value ends in it.
        size_t nCrLf = 0, nLoneCr = 0, nFirstCrLf = 0, nFirstLoneCr = 0;
        for (size_t n = m_strText.find(L'\r'); n != std::wstring::npos; n = m_strText.find(L'\r', n + 1)) {
            const bool bCrLf = n + 1 < m_strText.size() && m_strText[n + 1] == L'\n';
            size_t& nCount = bCrLf ? nCrLf : nLoneCr;
            if (nCount++ == 0)
                (bCrLf ? nFirstCrLf : nFirstLoneCr) = n;
        }
        if (nCrLf > 0)
            Report(nFirstCrLf, CountOf(nCrLf, L"line ends", L"lines end") +
                                   L" in CR LF: the launcher keeps the CR in the value (\"true\\r\" is not true, an "
                                   L"argument ends in it); end each line with a line feed alone");
        if (nLoneCr > 0)
            Report(nFirstLoneCr, CountOf(nLoneCr, L"carriage return", L"carriage returns") +
                                     L" without a line feed: it does not end a line, the text after it belongs to "
                                     L"the same line; end each line with a line feed alone");
    } HCATCH
}

void CAnswerCheck::CheckLine(const CAnswerLine& line)
{
    HTRY {
        if (!line.pszKey)
            return CheckUnknownKey(line);
        const size_t nValueOffset = line.nOffset + std::wcslen(line.pszKey);
        std::wstring strValue = line.strValue;
        if (!strValue.empty() && strValue.back() == L'\r')
            strValue.pop_back();  // told once, for all lines, above
        if (!strValue.empty() && (IsBlank(strValue.front()) || IsBlank(strValue.back())))
            Report(nValueOffset, std::wstring(L"the value of ") + line.pszKey + L" " +
                                     (IsBlank(strValue.front()) ? L"begins" : L"ends") +
                                     L" with a blank, which stays part of it");
        if (line.pszKey == InstallParsers::AutorunKey) {
            const std::wstring strProgram = InstallParsers::SplitAutorunValue(line.strValue).first;
            if (!InstallParsers::IsStartableProgram(strProgram))
                Report(nValueOffset,
                       L"autorun program " + Quoted(strProgram) +
                           L" is not a file that is there: the launcher skips it" +
                           (IsQuotedOnce(line) ? L" (a path with blanks needs two pairs of quotes)" : L""));
        } else if (line.pszKey == InstallParsers::DeleteFilesKey && !CHStringHelper::EqualsNoCase(strValue, L"true") &&
                   !CHStringHelper::EqualsNoCase(strValue, L"false")) {
            Report(nValueOffset,
                   L"delete-files is " + Quoted(strValue) + L", which forbids deleting: only \"true\" allows it");
        } else if (line.pszKey == InstallParsers::LanguageKey && strValue.empty()) {
            Report(nValueOffset, L"the language is empty: the wait dialog finds no strings for it");
        }
    } HCATCH
}

void CAnswerCheck::CheckUnknownKey(const CAnswerLine& line)
{
    HTRY {
        const size_t nEquals = line.strText.find(L'=');
        if (nEquals == std::wstring::npos) {
            Report(line.nOffset, L"a line without \"=\" is ignored");
            return;
        }
        const std::wstring strKey = line.strText.substr(0, nEquals);
        std::wstring strFinding = L"unknown key " + Quoted(strKey) + L": the line is ignored";
        if (const wchar_t* pszNearest = NearestKey(strKey))
            strFinding += std::wstring(L"; did you mean ") + Quoted(pszNearest) + L"?";
        Report(line.nOffset, strFinding);
    } HCATCH
}
