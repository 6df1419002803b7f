#include "InstallerShim/InstallParsers.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <iterator>
#include <string_view>

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

std::wstring DeleteListBelowFolder(const std::wstring& strExeDirectory, const std::wstring& strDeleteValue)
{
    HTRY {
        // Only relative paths, resolved against the executable's folder and
        // staying below it, can reach the deleter: an absolute path, or one
        // whose ".." segments climb out, could name any folder of the machine.
        std::wstring strDeleteList;
        for (const std::wstring& strPiece : CHStringHelper::TokenizeString(strDeleteValue, L";")) {
            if (!CHFileUtilities::IsRelativePath(strPiece))
                continue;
            std::wstring strPath;
            if (!ResolveBelowFolder(strExeDirectory, strPiece, strPath)) {
                CHLogging::LogWarning(L"Delete path %s leaves the folder %s; it is not deleted.\n", strPiece.c_str(),
                                      strExeDirectory.c_str());
                continue;
            }
            // The list is ";"-separated: a path holding one (from the
            // medium's folder name) would name two other paths.
            if (strPath.find(L';') != std::wstring::npos) {
                CHLogging::LogWarning(L"Delete path %s holds a \";\", which the delete list cannot carry; it is not "
                                      L"deleted.\n",
                                      strPath.c_str());
                continue;
            }
            if (!strDeleteList.empty())
                strDeleteList += L";";
            strDeleteList += strPath;
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

void ParseAutorunProgramAndArgument(const std::wstring& strValue, AutorunList& autoruns)
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

        // Only a file that is there is started: a folder, or a name the
        // answer garbled, is left out.
        if (strProgram.empty() || !CHFileUtilities::FileExists(strProgram) ||
            CHFileUtilities::IsDirectory(strProgram)) {
            CHLogging::LogWarning(L"Autorun program %s not found; it is not started.\n", strProgram.c_str());
            return;
        }
        autoruns.emplace_back(strProgram, strArgument);
    } HCATCH
}

void ApplyAnswerLines(const std::wstring& strText, CInstallerAnswer& answer)
{
    HTRY {
        // The answer's keys (in any case), each with what its value sets.
        using CApply = std::function<void(const std::wstring&)>;
        const std::pair<std::wstring_view, CApply> keys[] = {
            {L"autorun=",
             [&answer](const std::wstring& strValue) { ParseAutorunProgramAndArgument(strValue, answer.autoruns); }},
            {L"language=", [&answer](const std::wstring& strValue) { answer.strLanguage = strValue; }},
            {L"delete-files=",
             [&answer](const std::wstring& strValue) { answer.bDeleteFiles = EqualsNoCase(strValue, L"true"); }},
        };
        // A carriage return before the line feed stays part of the line.
        for (const std::wstring& strLine : CHStringHelper::TokenizeString(strText, L"\n")) {
            for (const auto& [strKey, apply] : keys)
                if (StartsWithNoCase(strLine, strKey)) {
                    apply(GetTrimmedArgValue(strLine, strKey.size()));
                    break;
                }
        }
    } HCATCH
}

}  // namespace InstallParsers
