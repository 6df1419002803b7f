#include "InstallerShim/InstallParsers.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <iterator>

#include "RAde/HBufMalloc.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace InstallParsers {

namespace {

const wchar_t g_szSeparators[] = L"\\/";

constexpr auto EqualsNoCase = &CHStringHelper::EqualsNoCase;
constexpr auto StartsWithNoCase = &CHStringHelper::StartsWithNoCase;

// The next token of strText from nPosition on, as written: from the first
// character that is not a blank to the next blank outside double quotes (a
// quote opens or closes a quoted run, whose blanks belong to the token; one
// left open runs to the end of the line). Backslashes are plain characters:
// a folder name never holds a quote, and the relaunch line ends its quoted
// folders in "\". nPosition becomes the index after the token, or npos
// (with an empty token) when none was left.
std::wstring NextToken(const std::wstring& strText, size_t& nPosition)
{
    const size_t nStart = nPosition < strText.size() ? strText.find_first_not_of(L' ', nPosition) : std::wstring::npos;
    if (nStart == std::wstring::npos) {
        nPosition = std::wstring::npos;
        return std::wstring();
    }
    bool bQuoted = false;
    size_t nEnd = nStart;
    for (; nEnd < strText.size() && (bQuoted || strText[nEnd] != L' '); ++nEnd)
        if (strText[nEnd] == L'"')
            bQuoted = !bQuoted;
    nPosition = nEnd;
    return strText.substr(nStart, nEnd - nStart);
}

// A relative delete path made absolute against the executable's folder;
// false when it leaves that folder (".." segments climbing out of it, or
// above the drive, which MakeAbsolutePath refuses).
bool ResolveBelowFolder(const std::wstring& strFolder, const std::wstring& strRelative, std::wstring& strAbsolute)
{
    try {
        strAbsolute = CHFileUtilities::MakeAbsolutePath(strFolder, strRelative);
    } catch (CHException&) {
        return false;
    }
    return CHFileUtilities::IsBelowFolder(strFolder, strAbsolute);
}

// Only relative paths, resolved against the executable's folder and staying
// below it, can reach the deleter: an absolute path, or one whose ".."
// segments climb out, could name any folder of the machine.
DeleteEntryVerdict DeleteEntryVerdictOf(const std::wstring& strFolder, const std::wstring& strEntry,
                                        std::wstring& strPath)
{
    if (strEntry.empty())
        return DeleteEntryVerdict::Empty;
    if (!CHFileUtilities::IsRelativePath(strEntry))
        return DeleteEntryVerdict::Absolute;
    if (!ResolveBelowFolder(strFolder, strEntry, strPath))
        return DeleteEntryVerdict::LeavesFolder;
    // The list is ";"-separated: a path holding one (from the medium's
    // folder name) would name two other paths.
    if (strPath.find(L';') != std::wstring::npos)
        return DeleteEntryVerdict::HoldsSeparator;
    return DeleteEntryVerdict::Kept;
}

}  // namespace

// ---------------------------------------------------------------------------
// Command line

void ParseCommandLine(const std::wstring& strCommandLine, std::wstring& strRun, std::wstring& strRunWorkingFolder,
                      std::wstring& strDeleteAfterInstall, std::wstring& strRemaining, std::wstring* pstrMediumFolder)
{
    HTRY {
        std::wstring strIgnoredMedium;
        const struct
        {
            const wchar_t* pszSwitch;
            std::wstring* pValue;
        } switches[] = {
            {L"/run=", &strRun},
            {L"/runWorkingFolder=", &strRunWorkingFolder},
            {L"/deleteAfterInstall=", &strDeleteAfterInstall},
            {MediumFolderSwitch, pstrMediumFolder ? pstrMediumFolder : &strIgnoredMedium},
        };

        // A quoted value keeps every character between its quotes, runs of
        // blanks included: a folder named "Disk  1" is not "Disk 1".
        size_t nPosition = 0;
        for (std::wstring strToken = NextToken(strCommandLine, nPosition); !strToken.empty();
             strToken = NextToken(strCommandLine, nPosition)) {
            auto itSwitch = std::find_if(std::begin(switches), std::end(switches), [&](const auto& entry) {
                return StartsWithNoCase(strToken, entry.pszSwitch);
            });
            if (itSwitch != std::end(switches)) {
                *itSwitch->pValue = GetTrimmedArgValue(strToken, std::wcslen(itSwitch->pszSwitch));
            } else {
                if (!strRemaining.empty())
                    strRemaining += L" ";
                strRemaining += strToken;
            }
        }
    } HCATCH
}

std::wstring GetTrimmedArgValue(const std::wstring& strToken, size_t nPrefixLength)
{
    HTRY {
        std::wstring strValue = strToken.substr(std::min(nPrefixLength, strToken.size()));
        // The last character is taken to be the closing quote, whatever it is.
        if (!strValue.empty() && strValue.front() == L'"')
            strValue = strValue.size() >= 2 ? strValue.substr(1, strValue.size() - 2) : std::wstring();
        return strValue;
    } HCATCH
}

bool HasUnclosedQuote(const std::wstring& strToken)
{
    HTRY {
        const size_t nFirst = strToken.find(L'"');
        if (nFirst == std::wstring::npos)
            return false;
        if (nFirst == strToken.size() - 1)
            return true;
        return strToken.find(L'"', nFirst + 1) == std::wstring::npos;
    } HCATCH
}

// ---------------------------------------------------------------------------
// "autorun.inf"

std::vector<CDeleteEntry> ClassifyDeleteEntries(const std::wstring& strExeDirectory, const std::wstring& strDeleteValue)
{
    HTRY {
        std::vector<CDeleteEntry> entries;
        for (size_t nStart = 0; nStart < strDeleteValue.size();) {
            const size_t nEnd = std::min(strDeleteValue.find(L';', nStart), strDeleteValue.size());
            CDeleteEntry entry;
            entry.strText = strDeleteValue.substr(nStart, nEnd - nStart);
            entry.nOffset = nStart;
            entry.verdict = DeleteEntryVerdictOf(strExeDirectory, entry.strText, entry.strPath);
            entries.push_back(std::move(entry));
            nStart = nEnd + 1;
        }
        return entries;
    } HCATCH
}

std::wstring DeleteListBelowFolder(const std::wstring& strExeDirectory, const std::wstring& strDeleteValue)
{
    HTRY {
        std::wstring strDeleteList;
        for (const CDeleteEntry& entry : ClassifyDeleteEntries(strExeDirectory, strDeleteValue)) {
            if (entry.verdict == DeleteEntryVerdict::LeavesFolder)
                CHLogging::LogWarning(L"Delete path %s leaves the folder %s; it is not deleted.\n",
                                      entry.strText.c_str(), strExeDirectory.c_str());
            if (entry.verdict == DeleteEntryVerdict::HoldsSeparator)
                CHLogging::LogWarning(L"Delete path %s holds a \";\", which the delete list cannot carry; it is not "
                                      L"deleted.\n",
                                      entry.strPath.c_str());
            if (entry.verdict != DeleteEntryVerdict::Kept)
                continue;
            if (!strDeleteList.empty())
                strDeleteList += L";";
            strDeleteList += entry.strPath;
        }
        return strDeleteList;
    } HCATCH
}

bool CanReachTheCommandLine(const std::wstring& strValue)
{
    HTRY {
        return std::none_of(strValue.begin(), strValue.end(), [](wchar_t ch) { return ch == L'"' || ch < L' '; });
    } HCATCH
}

// ---------------------------------------------------------------------------
// The installer's answer

std::vector<CAnswerLine> SplitAnswerLines(const std::wstring& strText)
{
    HTRY {
        std::vector<CAnswerLine> lines;
        size_t nNumber = 1;
        for (size_t nStart = 0; nStart < strText.size(); ++nNumber) {
            const size_t nEnd = std::min(strText.find(L'\n', nStart), strText.size());
            if (nEnd > nStart) {
                CAnswerLine line;
                line.nNumber = nNumber;
                line.nOffset = nStart;
                line.strText = strText.substr(nStart, nEnd - nStart);
                auto itKey = std::find_if(std::begin(AnswerKeys), std::end(AnswerKeys), [&](const wchar_t* pszKey) {
                    return StartsWithNoCase(line.strText, pszKey);
                });
                if (itKey != std::end(AnswerKeys)) {
                    line.pszKey = *itKey;
                    line.strValue = GetTrimmedArgValue(line.strText, std::wcslen(*itKey));
                }
                lines.push_back(std::move(line));
            }
            nStart = nEnd + 1;
        }
        return lines;
    } HCATCH
}

std::wstring DecodeAnswer(const std::vector<unsigned char>& bytes)
{
    HTRY {
        CHBufMalloc content;
        content.Copy(bytes.data(), bytes.size());
        return CHFileUtilities::FileContentToString(content, HTEXT_ENCODING_UTF16LE);
    } HCATCH
}

std::pair<std::wstring, std::wstring> SplitAutorunValue(const std::wstring& strValue)
{
    HTRY {
        std::wstring strProgram;
        std::wstring strArgument;
        const size_t nLength = strValue.size();
        // The position of the character that separates program and argument;
        // it belongs to neither.
        size_t nSeparator = 0;
        if (!strValue.empty() && strValue.front() == L'"') {
            // "program" argument: the program runs to the last quote.
            const size_t nQuote = strValue.rfind(L'"');
            if (nQuote > 1) {
                strProgram = strValue.substr(1, nQuote - 1);
                nSeparator = nQuote + 1;
            } else {
                nSeparator = nQuote;
            }
        } else {
            nSeparator = std::min(strValue.find(L' '), nLength);
            strProgram = strValue.substr(0, nSeparator);
        }
        if (nSeparator + 1 < nLength)
            strArgument = strValue.substr(nSeparator + 1);
        return {strProgram, strArgument};
    } HCATCH
}

bool IsStartableProgram(const std::wstring& strProgram)
{
    HTRY {
        // Only a file that is there is started: a folder, or a name the
        // answer garbled, is left out.
        return !strProgram.empty() && CHFileUtilities::FileExists(strProgram) &&
               !CHFileUtilities::IsDirectory(strProgram);
    } HCATCH
}

void ParseAutorunProgramAndArgument(const std::wstring& strValue, AutorunList& autoruns)
{
    HTRY {
        auto autorun = SplitAutorunValue(strValue);
        if (!IsStartableProgram(autorun.first)) {
            CHLogging::LogWarning(L"Autorun program %s not found; it is not started.\n", autorun.first.c_str());
            return;
        }
        autoruns.push_back(std::move(autorun));
    } HCATCH
}

void ApplyAnswerLines(const std::wstring& strText, CInstallerAnswer& answer)
{
    HTRY {
        // What each key's value sets.
        using CApply = std::function<void(const std::wstring&)>;
        const std::pair<const wchar_t*, CApply> keys[] = {
            {AutorunKey,
             [&answer](const std::wstring& strValue) { ParseAutorunProgramAndArgument(strValue, answer.autoruns); }},
            {LanguageKey, [&answer](const std::wstring& strValue) { answer.strLanguage = strValue; }},
            {DeleteFilesKey,
             [&answer](const std::wstring& strValue) { answer.bDeleteFiles = EqualsNoCase(strValue, L"true"); }},
        };
        for (const CAnswerLine& line : SplitAnswerLines(strText))
            for (const auto& [pszKey, apply] : keys)
                if (line.pszKey == pszKey)
                    apply(line.strValue);
    } HCATCH
}

}  // namespace InstallParsers
