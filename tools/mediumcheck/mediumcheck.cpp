// mediumcheck [FOLDER]
//
// Tells the maker of an installation medium what the launcher will make of
// it before it ships. Reads FOLDER\autorun.inf (FOLDER defaults to the
// current directory) with the launcher's own reader, prints on standard
// output the relaunch arguments that stage one would hand its copy, and then
// one finding per line, in UTF-8:
//
//   FOLDER\autorun.inf(LINE,COLUMN): what is wrong     (the key's line, the value's or the entry's column)
//   FILE: what is wrong                                (where no line belongs to it)
//
// A finding is anything that stops a stage or silently does less than the
// file asks: a value that stage one refuses (cut at 1024 characters, or
// holding a double quote or a control character); an installer that is
// missing or no Windows executable; working folders that do not exist;
// delete entries that stage one drops (empty, absolute, leaving the medium,
// holding ";" once absolute) or that stage two leaves in place (another
// drive than the working folder) or that name nothing; no InstallerShim.exe
// beside the file; no skin where stage two's deletion dialog looks for it,
// and the skin's own findings (those of skincheck); lines the profile reader
// ignores, unknown keys and keys given twice.
//
// Exit code 0 when there is no finding, 1 when there are findings, 2 when the
// check could not run (bad usage, no such folder, autorun.inf unreadable).
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "InstallerShim/FileDeleter.h"
#include "InstallerShim/InstallParsers.h"
#include "InstallerShim/InstallUtils.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HStringHelper.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HXmlNode.h"
#include "tools/mediumcheck/AutorunInfText.h"
#include "tools/common/ToolSupport.h"
#include "tools/skincheck/SkinCheck.h"

using InstallParsers::CDeleteEntry;
using InstallParsers::DeleteEntryVerdict;
using ToolSupport::OneLineDescription;
using ToolSupport::Printable;
using ToolSupport::Quoted;
using ToolSupport::WriteUtf8;

namespace {
const wchar_t kLauncherFile[] = L"InstallerShim.exe";
constexpr const wchar_t* kKnownKeys[] = {L"workingFolder", L"run", L"runWorkingFolder", L"deleteAfterInstall"};

// The system's reason for a failed call, read before anything can change it.
class CSystemError
{
public:
    CSystemError() : m_dwError(::GetLastError()) {}
    std::wstring Text() const { return GetErrorMessageText(m_dwError); }

private:
    DWORD m_dwError;
};

// The file's first bytes, at most nLimit of them (an installer may be large); false when it cannot be read.
bool ReadFileStart(const std::wstring& strPath, DWORD nLimit, std::string& bytes)
{
    CHFileHandle file(::CreateFileW(CHFileUtilities::GetUnicodePath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bytes.assign(nLimit, '\0');
    DWORD dwRead = 0;
    const bool bRead = ::ReadFile(file.Get(), bytes.data(), nLimit, &dwRead, nullptr);
    bytes.resize(bRead ? dwRead : 0);
    return bRead;
}

// "MZ", and at the offset it names the "PE\0\0" signature of a Windows executable.
bool IsWindowsExecutable(const std::wstring& strPath)
{
    HTRY {
        constexpr DWORD kHeaderOffsetField = 0x3C;
        constexpr DWORD kLargestHeaderOffset = 0x10000;
        std::string bytes;
        if (CHFileUtilities::IsDirectory(strPath) || !ReadFileStart(strPath, kLargestHeaderOffset + 4, bytes) ||
            bytes.size() < kHeaderOffsetField + 4 || bytes.compare(0, 2, "MZ") != 0)
            return false;
        DWORD dwHeader = 0;
        std::copy_n(bytes.data() + kHeaderOffsetField, sizeof(dwHeader), reinterpret_cast<char*>(&dwHeader));
        return size_t{dwHeader} + 4 <= bytes.size() && bytes.compare(dwHeader, 4, std::string("PE\0\0", 4)) == 0;
    } HCATCH
}

// The text of the launcher's error box for the error, on one line.
std::wstring ErrorBoxText(const CHException& e)
{
    std::wstring strText;
    for (wchar_t ch : e.GetDescription(CHException::DescribeNewest)) {
        const bool bBlank = ch <= L' ';
        if (!bBlank)
            strText += ch;
        else if (!strText.empty() && strText.back() != L' ')
            strText += L' ';
    }
    if (!strText.empty() && strText.back() == L' ')
        strText.pop_back();
    return strText;
}

struct CFinding
{
    std::wstring strFile;
    size_t nLine = 0;  // 0: no position
    size_t nColumn = 0;
    std::wstring strMessage;

    std::wstring Text() const
    {
        const std::wstring strPosition =
            nLine == 0 ? std::wstring() : L"(" + std::to_wstring(nLine) + L"," + std::to_wstring(nColumn) + L")";
        return Printable(strFile + strPosition + L": " + strMessage);
    }
};

// One value of the section as the launcher reads it, and where it stands.
struct CValue
{
    const wchar_t* pszKey = nullptr;
    std::wstring strValue;
    bool bWhole = true;
    bool bReachesTheLine = true;
    const CAutorunInfText::CKeyLine* pLine = nullptr;
    size_t nColumn = 0;          // of the value as read (the reader takes enclosing quotes off)
    size_t nFinding = SIZE_MAX;  // the finding that refuses it
};

class CMediumCheck
{
public:
    CMediumCheck(const std::wstring& strFolder, const std::string& autorunBytes)
        : m_strFolder(strFolder), m_strAutorunFile(strFolder + CInstallUtils::AutorunFileName),
          m_text(autorunBytes, CInstallUtils::AutorunSection)
    {
    }

    void Run();
    // Empty when stage one stops before it relaunches.
    const std::wstring& RelaunchArguments() const { return m_strRelaunchArguments; }
    const std::vector<CFinding>& Findings() const { return m_findings; }

private:
    size_t Report(const CValue& value, size_t nOffset, const std::wstring& strMessage);
    size_t ReportFile(const std::wstring& strFile, const std::wstring& strMessage);
    CValue Read(const wchar_t* pszKey, const wchar_t* pszDefault);
    // Reports a value stage one refuses; true when it is fit to check further.
    bool CheckCommandLineValue(CValue& value);
    // The value made absolute against the medium, as stage one does; false (reported) when it cannot be.
    bool AbsolutePath(CValue& value, std::wstring& strPath);

    void CheckLines();
    void BuildRelaunchArguments();
    void CheckInstaller();
    void CheckFolder(CValue& value, const wchar_t* pszWhat, const wchar_t* pszConsequence);
    void CheckDeleteEntries();
    void CheckDeleteEntry(const CValue& value, const CDeleteEntry& entry);
    void CheckLauncherBeside();
    void CheckSkin();

    std::wstring m_strFolder;  // absolute, with a trailing "\"
    std::wstring m_strAutorunFile;
    CAutorunInfText m_text;
    CValue m_workingFolder, m_run, m_runWorkingFolder, m_deleteAfterInstall;
    std::wstring m_strWorkingFolder;  // absolute; empty when stage one refuses it
    bool m_bDeletes = false;
    std::wstring m_strRelaunchArguments;
    std::vector<CFinding> m_findings;
};

void CMediumCheck::Run()
{
    HTRY {
        CheckLines();
        m_workingFolder = Read(L"workingFolder", L"");
        m_run = Read(L"run", CInstallUtils::DefaultInstaller);
        m_runWorkingFolder = Read(L"runWorkingFolder", L"");
        m_deleteAfterInstall = Read(L"deleteAfterInstall", L"");
        CheckFolder(m_workingFolder, L"the working folder",
                    L"stage one cannot start its copy there and ends in the error box");
        CheckInstaller();
        CheckFolder(m_runWorkingFolder, L"the installer's working folder",
                    L"stage two cannot start the installer in it");
        CheckDeleteEntries();
        // After the checks of the values: the text of stage one's error box joins the refusal it comes from.
        BuildRelaunchArguments();
        CheckLauncherBeside();
        std::stable_sort(m_findings.begin(), m_findings.end(), [](const CFinding& a, const CFinding& b) {
            return a.nLine - 1 < b.nLine - 1 || (a.nLine == b.nLine && a.nColumn < b.nColumn);
        });
        CheckSkin();
    } HCATCH
}

size_t CMediumCheck::Report(const CValue& value, size_t nOffset, const std::wstring& strMessage)
{
    if (!value.pLine)
        return ReportFile(m_strAutorunFile, strMessage);
    m_findings.push_back({m_strAutorunFile, value.pLine->nLine, value.nColumn + nOffset, strMessage});
    return m_findings.size() - 1;
}

size_t CMediumCheck::ReportFile(const std::wstring& strFile, const std::wstring& strMessage)
{
    m_findings.push_back({strFile, 0, 0, strMessage});
    return m_findings.size() - 1;
}

CValue CMediumCheck::Read(const wchar_t* pszKey, const wchar_t* pszDefault)
{
    HTRY {
        CValue value;
        value.pszKey = pszKey;
        value.bWhole = CInstallUtils::ReadIniValueFrom(m_strFolder, pszKey, value.strValue, pszDefault);
        value.bReachesTheLine = InstallParsers::CanReachTheCommandLine(value.strValue);
        value.pLine = m_text.FindKey(pszKey);
        if (value.pLine) {
            const size_t nShift = value.strValue.empty() ? 0 : value.pLine->strValue.find(value.strValue);
            value.nColumn = value.pLine->nValueColumn + (nShift == std::wstring::npos ? 0 : nShift);
        }
        return value;
    } HCATCH
}

bool CMediumCheck::CheckCommandLineValue(CValue& value)
{
    HTRY {
        const std::wstring strKey = value.pszKey;
        if (!value.bWhole && strKey == L"deleteAfterInstall") {
            Report(value, 0, L"the value is longer than 1024 characters: stage one cuts it and deletes nothing");
            return false;
        }
        if (!value.bWhole)
            value.nFinding = Report(value, 0,
                                    L"the value of " + strKey +
                                        L" is longer than 1024 characters: stage one refuses it and ends "
                                        L"in the error box");
        else if (!value.bReachesTheLine)
            value.nFinding = Report(value, 0,
                                    L"the value of " + strKey +
                                        L" holds a double quote or a control character: stage one "
                                        L"refuses it and ends in the error box");
        return value.bWhole && value.bReachesTheLine;
    } HCATCH
}

bool CMediumCheck::AbsolutePath(CValue& value, std::wstring& strPath)
{
    if (!CheckCommandLineValue(value))
        return false;
    try {
        strPath = CHFileUtilities::MakeAbsolutePath(m_strFolder, value.strValue);
        return true;
    } catch (const CHException&) {
        value.nFinding =
            Report(value, 0,
                   Quoted(value.strValue) + L" climbs above its drive's root: stage one refuses it and ends in "
                                            L"the error box");
        return false;
    }
}

void CMediumCheck::CheckLines()
{
    HTRY {
        for (const CAutorunInfText::CLineFinding& finding : m_text.LineFindings())
            m_findings.push_back({m_strAutorunFile, finding.nLine, finding.nColumn, finding.strMessage});
        for (const CAutorunInfText::CKeyLine& key : m_text.Keys()) {
            const bool bKnown = std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys), [&](const wchar_t* pszKey) {
                return CHStringHelper::EqualsNoCase(key.strKey, pszKey);
            });
            const CAutorunInfText::CKeyLine* pFirst = m_text.FindKey(key.strKey);
            if (!bKnown)
                m_findings.push_back({m_strAutorunFile, key.nLine, 1,
                                      L"unknown key " + Quoted(key.strKey) +
                                          L": the launcher reads only workingFolder, run, runWorkingFolder and "
                                          L"deleteAfterInstall"});
            else if (pFirst != &key)
                m_findings.push_back({m_strAutorunFile, key.nLine, 1,
                                      Quoted(key.strKey) + L" is given again: the reader takes the one on line " +
                                          std::to_wstring(pFirst->nLine)});
        }
    } HCATCH
}

void CMediumCheck::BuildRelaunchArguments()
{
    HTRY {
        std::wstring strWorkingFolder;
        try {
            CInstallUtils::ReadAutorunInfFrom(m_strFolder, strWorkingFolder, m_strRelaunchArguments);
            return;
        } catch (const CHException& e) {
            m_strRelaunchArguments.clear();
            // What the launcher's error box shows; attached to the refusal of the key it names.
            const std::wstring strSeen = L": the user sees " + Quoted(ErrorBoxText(e));
            const CHXmlNode* pEntry = e.GetXml().Find(L"errorentry");
            const CHXmlNode* pKey = pEntry ? pEntry->Find(L"Key") : nullptr;
            for (const CValue* pValue : {&m_workingFolder, &m_run, &m_runWorkingFolder, &m_deleteAfterInstall})
                if (pKey && CHStringHelper::EqualsNoCase(pKey->GetValue(), pValue->pszKey) &&
                    pValue->nFinding != SIZE_MAX) {
                    m_findings[pValue->nFinding].strMessage += strSeen;
                    return;
                }
            ReportFile(m_strAutorunFile, L"stage one ends in the error box" + strSeen);
        }
    } HCATCH
}

void CMediumCheck::CheckInstaller()
{
    HTRY {
        CValue& run = m_run;
        std::wstring strInstaller;
        if (!AbsolutePath(run, strInstaller))
            return;
        const std::wstring strWhat = L"the installer " + Quoted(strInstaller) + (run.pLine ? L"" : L" (run's default)");
        if (!CHFileUtilities::FileExists(strInstaller))
            Report(run, 0, strWhat + L" is missing");
        else if (!IsWindowsExecutable(strInstaller))
            Report(run, 0, strWhat + L" is not a Windows executable (no MZ and PE header)");
    } HCATCH
}

void CMediumCheck::CheckFolder(CValue& value, const wchar_t* pszWhat, const wchar_t* pszConsequence)
{
    HTRY {
        std::wstring strFolder;
        if (!AbsolutePath(value, strFolder))
            return;
        // Stage two's current directory, as its deleter compares it: without a trailing separator.
        if (&value == &m_workingFolder) {
            m_strWorkingFolder = strFolder;
            CInstallUtils::EnsureNoTrailingSeparator(m_strWorkingFolder);
        }
        if (!CHFileUtilities::IsDirectory(strFolder))
            Report(value, 0, std::wstring(pszWhat) + L" " + Quoted(strFolder) + L" does not exist: " + pszConsequence);
    } HCATCH
}

void CMediumCheck::CheckDeleteEntries()
{
    HTRY {
        CValue& value = m_deleteAfterInstall;
        if (!CheckCommandLineValue(value))
            return;
        for (const CDeleteEntry& entry : InstallParsers::ClassifyDeleteEntries(m_strFolder, value.strValue))
            CheckDeleteEntry(value, entry);
    } HCATCH
}

void CMediumCheck::CheckDeleteEntry(const CValue& value, const CDeleteEntry& entry)
{
    HTRY {
        const std::wstring strEntry = L"delete entry " + Quoted(entry.strText);
        switch (entry.verdict) {
        case DeleteEntryVerdict::Empty:
            Report(value, entry.nOffset, L"an empty delete entry");
            return;
        case DeleteEntryVerdict::Absolute:
            Report(value, entry.nOffset,
                   strEntry + L" is absolute: stage one drops it (only paths below the "
                              L"medium's folder are deleted)");
            return;
        case DeleteEntryVerdict::LeavesFolder:
            Report(value, entry.nOffset, strEntry + L" leaves the medium's folder: stage one drops it");
            return;
        case DeleteEntryVerdict::HoldsSeparator:
            Report(value, entry.nOffset,
                   strEntry + L" holds a \";\" once absolute (" + Quoted(entry.strPath) + L"): stage one drops it");
            return;
        case DeleteEntryVerdict::Kept:
            break;
        }
        m_bDeletes = true;
        // Stage two runs in the working folder and deletes only on its drive.
        if (!m_strWorkingFolder.empty() && !CFileDeleter::IsOnDriveOf(entry.strPath, m_strWorkingFolder))
            Report(value, entry.nOffset,
                   strEntry + L" is on another drive than the working folder " + Quoted(m_strWorkingFolder) +
                       L": stage two leaves it in place");
        else if (!CHFileUtilities::FileExists(entry.strPath))
            Report(value, entry.nOffset, strEntry + L" names nothing: " + Quoted(entry.strPath) + L" does not exist");
    } HCATCH
}

void CMediumCheck::CheckLauncherBeside()
{
    HTRY {
        if (!CHFileUtilities::FileExists(m_strFolder + kLauncherFile))
            ReportFile(m_strAutorunFile, std::wstring(L"there is no ") + kLauncherFile + L" beside this file");
    } HCATCH
}

void CMediumCheck::CheckSkin()
{
    HTRY {
        // Stage two reads the skin of its current directory, the working
        // folder, for the dialog it deletes behind; it reads it for nothing else.
        if (m_strWorkingFolder.empty())
            return;
        const std::wstring strSkin = CHFileUtilities::ConcatPathname(m_strWorkingFolder, CSkinCheck::SkinFileName);
        if (!CHFileUtilities::FileExists(strSkin)) {
            if (m_bDeletes)
                ReportFile(strSkin, L"missing: stage two reads it for its deletion dialog and, without it, ends in "
                                    L"the error box");
            return;
        }
        try {
            CSkinCheck check(m_strWorkingFolder);
            for (const CSkinCheck::CFinding& finding : check.Run()) {
                const std::wstring strPosition = check.Position(finding.nOffset);
                const size_t nComma = strPosition.find(L',');
                m_findings.push_back({strSkin, std::stoul(strPosition.substr(0, nComma)),
                                      std::stoul(strPosition.substr(nComma + 1)), finding.strMessage});
            }
        } catch (const CHException& e) {
            ReportFile(strSkin, L"cannot be checked: " + OneLineDescription(e));
        }
    } HCATCH
}

// The folder made absolute, with the trailing separator the launcher's own
// folder has; false (with the reason written) when it is no folder.
bool MediumFolder(const std::wstring& strArgument, std::wstring& strFolder)
{
    HTRY {
        const DWORD cch = ::GetFullPathNameW(strArgument.c_str(), 0, nullptr, nullptr);
        std::wstring strFull(cch, L'\0');
        if (cch == 0 || ::GetFullPathNameW(strArgument.c_str(), cch, strFull.data(), nullptr) >= cch) {
            WriteUtf8(STD_ERROR_HANDLE, L"mediumcheck: " + strArgument + L": " + CSystemError().Text() + L"\n");
            return false;
        }
        strFolder = strFull.c_str();
        const DWORD dwAttributes = ::GetFileAttributesW(CHFileUtilities::GetUnicodePath(strFolder).c_str());
        if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            const std::wstring strReason =
                dwAttributes == INVALID_FILE_ATTRIBUTES ? CSystemError().Text() : GetErrorMessageText(ERROR_DIRECTORY);
            WriteUtf8(STD_ERROR_HANDLE, L"mediumcheck: " + strFolder + L": " + strReason + L"\n");
            return false;
        }
        CHFileUtilities::EnsurePathSeparatorAtEnd(strFolder, L"\\");
        return true;
    } HCATCH
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 2 || (argc == 2 && (argv[1][0] == L'/' || argv[1][0] == L'-'))) {
        WriteUtf8(STD_ERROR_HANDLE, L"usage: mediumcheck [FOLDER]\n  checks the medium in FOLDER (its autorun.inf, "
                                    L"installer, delete entries and skin; the current folder by default)\n");
        return 2;
    }
    try {
        std::wstring strFolder;
        if (!MediumFolder(argc == 2 ? argv[1] : L".", strFolder))
            return 2;
        const std::wstring strAutorunFile = strFolder + CInstallUtils::AutorunFileName;
        std::vector<unsigned char> bytes;
        try {
            bytes = ToolSupport::ReadFileBytes(strAutorunFile);
        } catch (const CHException& e) {
            WriteUtf8(STD_ERROR_HANDLE, L"mediumcheck: " + OneLineDescription(e) + L"\n");
            return 2;
        }
        CMediumCheck check(strFolder, std::string(bytes.begin(), bytes.end()));
        check.Run();
        std::wstring strOut = check.RelaunchArguments().empty() ? L"" : check.RelaunchArguments() + L"\n";
        for (const CFinding& finding : check.Findings())
            strOut += finding.Text() + L"\n";
        WriteUtf8(STD_OUTPUT_HANDLE, strOut);
        return check.Findings().empty() ? 0 : 1;
    } catch (const CHException& e) {
        WriteUtf8(STD_ERROR_HANDLE, L"mediumcheck: " + OneLineDescription(e) + L"\n");
        return 2;
    }
}
