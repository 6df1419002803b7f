// rand_s (the system's cryptographic generator, in msvcrt) is declared only
// when this is defined before the C runtime's headers come in.
#define _CRT_RAND_S
#include "InstallerShim/InstallUtils.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HMessageWait.h"
#include "RAde/HProcess.h"
#include "RAde/HStringHelper.h"
#include "RAde/HUpdateUtilities.h"
#include "RAde/HVersionHelper.h"

namespace {

// The installer's exit code when it could not be asked for one.
constexpr DWORD g_dwUnknownInstallerExitCode = 1603;
// How long the main thread gives the worker after the installer has ended:
// g_nWorkerPolls times g_dwWorkerPollMs.
constexpr int g_nWorkerPolls = 10;
constexpr DWORD g_dwWorkerPollMs = 200;

// Each start copies the launcher into a folder of its own below %TEMP%,
// named after the executable, a dash and this many hexadecimal digits: no
// other program there (an earlier copy still running, anything of the same
// name, a link planted in its place) stands in the way of the copy.
constexpr size_t g_nCopyFolderDigits = 16;
constexpr int g_nCopyFolderAttempts = 8;

std::wstring CopyFolderStem(const std::wstring& strExeName)
{
    const std::wstring strStem = CHFileUtilities::GetFilenameWithoutExtension(strExeName);
    return (strStem.empty() ? strExeName : strStem) + L"-";
}

bool IsCopyFolderName(const std::wstring& strName, const std::wstring& strStem)
{
    return strName.size() == strStem.size() + g_nCopyFolderDigits &&
           CHStringHelper::StartsWithNoCase(strName, strStem) &&
           strName.find_first_not_of(L"0123456789ABCDEF", strStem.size()) == std::wstring::npos;
}

std::wstring RandomCopyFolderName(const std::wstring& strStem)
{
    unsigned int nHigh = 0, nLow = 0;
    if (rand_s(&nHigh) != 0 || rand_s(&nLow) != 0)
        throw CHException::FromWin32Error(ERROR_GEN_FAILURE, HSITE);
    return strStem + CHStringHelper::Format(L"%08X%08X", nHigh, nLow);
}

// Removes the copy folders that earlier starts left, but strKeep: a running
// copy cannot be deleted, so its folder stays, and so does a folder that
// holds anything but the copy. A link of that name is never followed. (A
// copy just started may not have been opened yet: Wine maps its image only
// once the new process runs.)
void RemoveStaleCopyFolders(const std::wstring& strTemp, const std::wstring& strExeName, const std::wstring& strKeep)
{
    const std::wstring strStem = CopyFolderStem(strExeName);
    const std::wstring strLongTemp = CHFileUtilities::GetUnicodePath(strTemp);
    WIN32_FIND_DATAW data;
    CHFindHandle find(::FindFirstFileExW(CHFileUtilities::ConcatPathname(strLongTemp, strStem + L"*").c_str(),
                                         FindExInfoBasic, &data, FindExSearchLimitToDirectories, nullptr, 0));
    for (bool bEntry = find.IsValid(); bEntry; bEntry = ::FindNextFileW(find.Get(), &data)) {
        const DWORD dwAttributes = data.dwFileAttributes;
        if (!(dwAttributes & FILE_ATTRIBUTE_DIRECTORY) || (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !IsCopyFolderName(data.cFileName, strStem) ||
            CHStringHelper::EqualsNoCase(data.cFileName, CHFileUtilities::GetFilenameFromPath(strKeep)))
            continue;
        const std::wstring strFolder = CHFileUtilities::ConcatPathname(strLongTemp, data.cFileName);
        const std::wstring strCopy = CHFileUtilities::ConcatPathname(strFolder, strExeName);
        // A copy from a read-only medium is read-only itself.
        ::SetFileAttributesW(strCopy.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(strCopy.c_str());
        ::RemoveDirectoryW(strFolder.c_str());
    }
}

// A new, empty folder of this start's own for the copy.
std::wstring CreateCopyFolder(const std::wstring& strTemp, const std::wstring& strExeName)
{
    for (int i = 0;; ++i) {
        const std::wstring strFolder =
            CHFileUtilities::ConcatPathname(strTemp, RandomCopyFolderName(CopyFolderStem(strExeName)));
        if (::CreateDirectoryW(CHFileUtilities::GetUnicodePath(strFolder).c_str(), nullptr))
            return strFolder;
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_ALREADY_EXISTS || i + 1 == g_nCopyFolderAttempts)
            throw CHException::FromWin32Error(dwError, HSITE).AddValue(L"Directory", strFolder);
    }
}

// The copy and its folder go again unless the copy was started.
class CUnstartedCopy
{
public:
    CUnstartedCopy(std::wstring strFolder, std::wstring strCopy)
        : m_strFolder(std::move(strFolder)), m_strCopy(std::move(strCopy))
    {
    }
    ~CUnstartedCopy()
    {
        if (m_bStarted)
            return;
        ::SetFileAttributesW(CHFileUtilities::GetUnicodePath(m_strCopy).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(CHFileUtilities::GetUnicodePath(m_strCopy).c_str());
        ::RemoveDirectoryW(CHFileUtilities::GetUnicodePath(m_strFolder).c_str());
    }
    CUnstartedCopy(const CUnstartedCopy&) = delete;
    CUnstartedCopy& operator=(const CUnstartedCopy&) = delete;

    void Started() { m_bStarted = true; }

private:
    std::wstring m_strFolder, m_strCopy;
    bool m_bStarted = false;
};

}  // namespace

// ---------------------------------------------------------------------------
// Command line and "autorun.inf"

void CInstallUtils::ReadIniValue(const std::wstring& strKey, std::wstring& strValue, const std::wstring& strDefault)
{
    HTRY {
        strValue = ReadWholeIniValueFrom(CHFileUtilities::GetExeDirectory(), strKey, strDefault);
    } HCATCH
}

bool CInstallUtils::ReadIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey, std::wstring& strValue,
                                     const std::wstring& strDefault)
{
    HTRY {
        const std::wstring strFile = CHFileUtilities::MakeAbsolutePath(strFolder, AutorunFileName);
        std::wstring strBuffer(IniValueBufferChars, L'\0');
        // A missing file, section or key gives the default.
        const DWORD cchValue = ::GetPrivateProfileStringW(AutorunSection, strKey.c_str(), strDefault.c_str(),
                                                          strBuffer.data(), IniValueBufferChars, strFile.c_str());
        strValue.assign(strBuffer.data(), std::min(cchValue, IniValueBufferChars - 1));
        // The system cuts a longer value to fit, terminating zero included,
        // and reports what it kept: a value that fills the buffer may have
        // been longer.
        return cchValue < IniValueBufferChars - 1;
    } HCATCH
}

std::wstring CInstallUtils::ReadWholeIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey,
                                                  const std::wstring& strDefault)
{
    HTRY {
        // A cut path would name another file or folder.
        std::wstring strValue;
        if (!ReadIniValueFrom(strFolder, strKey, strValue, strDefault))
            throw CHException(HError::BufferTooSmall, HSITE)
                .AddValue(L"Key", strKey)
                .AddValue(L"File", CHFileUtilities::MakeAbsolutePath(strFolder, AutorunFileName));
        CheckCommandLineValue(strFolder, strKey, strValue);
        return strValue;
    } HCATCH
}

void CInstallUtils::CheckCommandLineValue(const std::wstring& strFolder, const std::wstring& strKey,
                                          const std::wstring& strValue)
{
    HTRY {
        // Quoted on the relaunch line, a quote would end the value early and
        // let the rest of it write switches and installer arguments of its own.
        if (!InstallParsers::CanReachTheCommandLine(strValue))
            throw CHException::FromWin32Error(ERROR_INVALID_NAME, HSITE)
                .AddValue(L"Key", strKey)
                .AddValue(L"File", CHFileUtilities::MakeAbsolutePath(strFolder, AutorunFileName));
    } HCATCH
}

void CInstallUtils::ReadAutorunInf(std::wstring& strWorkingFolder, std::wstring& strRelaunchArguments)
{
    HTRY {
        ReadAutorunInfFrom(CHFileUtilities::GetExeDirectory(), strWorkingFolder, strRelaunchArguments);
    } HCATCH
}

void CInstallUtils::ReadAutorunInfFrom(const std::wstring& strExeDirectory, std::wstring& strWorkingFolder,
                                       std::wstring& strRelaunchArguments)
{
    HTRY {
        auto absoluteValue = [&](const wchar_t* pszKey, const std::wstring& strDefault) {
            return CHFileUtilities::MakeAbsolutePath(strExeDirectory,
                                                     ReadWholeIniValueFrom(strExeDirectory, pszKey, strDefault));
        };
        strWorkingFolder = absoluteValue(L"workingFolder", L"");
        const std::wstring strRun = absoluteValue(L"run", DefaultInstaller);
        const std::wstring strRunWorkingFolder = absoluteValue(L"runWorkingFolder", L"");

        std::wstring strDeleteValue;
        if (!ReadIniValueFrom(strExeDirectory, L"deleteAfterInstall", strDeleteValue, L"")) {
            // A cut list may end in a cut path that names another file.
            CHLogging::LogWarning(L"The value of deleteAfterInstall in %s is too long; nothing will be deleted.\n",
                                  CHFileUtilities::MakeAbsolutePath(strExeDirectory, AutorunFileName).c_str());
            strDeleteValue.clear();
        }
        CheckCommandLineValue(strExeDirectory, L"deleteAfterInstall", strDeleteValue);
        const std::wstring strDeleteList = InstallParsers::DeleteListBelowFolder(strExeDirectory, strDeleteValue);

        // The medium's folder goes along, so that stage two can tell the
        // paths the list may name (a folder name never holds a quote).
        strRelaunchArguments =
            CHStringHelper::Format(L"/run=\"%s\" /runWorkingFolder=\"%s\" /deleteAfterInstall=\"%s\" %s\"%s\"",
                                   strRun.c_str(), strRunWorkingFolder.c_str(), strDeleteList.c_str(),
                                   InstallParsers::MediumFolderSwitch, strExeDirectory.c_str());
    } HCATCH
}

// ---------------------------------------------------------------------------
// Relaunch from %TEMP%

bool CInstallUtils::CopyExeToTmpAndStart(const std::wstring& strExecutable, const std::wstring& strArguments,
                                         const std::wstring& strWorkingFolder, bool* pbStartRefused)
{
    HTRY {
        const std::wstring strTemp = CHFileUtilities::GetTempDirectory();
        const std::wstring strExeName = CHFileUtilities::GetFilenameFromPath(strExecutable);
        const std::wstring strCopyFolder = CreateCopyFolder(strTemp, strExeName);
        const std::wstring strCopy = CHFileUtilities::ConcatPathname(strCopyFolder, strExeName);
        CUnstartedCopy unstarted(strCopyFolder, strCopy);
        CHFileUtilities::CopyFileW(strExecutable, strCopy, true);

        std::wstring strFolder = strWorkingFolder;
        EnsureNoTrailingSeparator(strFolder);
        CHProcess process;
        try {
            process.Run(strCopy, strArguments, strFolder);
        } catch (const CHException& error) {
            if (!pbStartRefused || !(error.FindErrorCode(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), nullptr) ||
                                     error.FindErrorCode(HRESULT_FROM_WIN32(ERROR_ACCESS_DISABLED_BY_POLICY), nullptr)))
                throw;
            *pbStartRefused = true;
            return false;
        }
        unstarted.Started();
        // Once the copy runs: what is done now is no longer on the way to the
        // installer (the first line logged reads the logging configuration,
        // the search goes through all of %TEMP%).
        CHLogging::LogDebug(L"Running %s in %s with command line %s.\n", strCopy.c_str(), strFolder.c_str(),
                            strArguments.c_str());
        RemoveStaleCopyFolders(strTemp, strExeName, strCopyFolder);
        return true;
    } HCATCH
}

void CInstallUtils::EnsureNoTrailingSeparator(std::wstring& strPath)
{
    HTRY {
        if (!strPath.empty() && (strPath.back() == L'\\' || strPath.back() == L'/'))
            strPath.pop_back();
    } HCATCH
}

void CInstallUtils::DeletePath(std::wstring strPath)
{
    HTRY {
        EnsureNoTrailingSeparator(strPath);
        if (!CHFileUtilities::FileExists(strPath)) {
            CHLogging::LogDebug(L"Path %s not found!.\n", strPath.c_str());
            return;
        }
        // A single file keeps its read-only protection; inside a folder's
        // tree read-only files are deleted too. A folder's tree is deleted
        // without following a link, its top included.
        if (CHFileUtilities::IsDirectory(strPath)) {
            CHFileUtilities::DeleteDirectory(strPath);
            return;
        }
        // A file link that the system opens as its target would take the target along.
        std::wstring strLeadsTo;
        if (CHFileUtilities::GetLinkKind(strPath, &strLeadsTo) == HLinkKind::LeadsElsewhere) {
            CHLogging::LogWarning(L"%s leads to %s: it is left as it is, and nothing it leads to is deleted.\n",
                                  strPath.c_str(), strLeadsTo.c_str());
            return;
        }
        CHFileUtilities::DeleteFileW(strPath, false);
    } HCATCH
}

// ---------------------------------------------------------------------------
// Installer run and autoruns

void CInstallUtils::RunInstallerAndGetAutorunInfo(const std::wstring& strRun, const std::wstring& strArguments,
                                                  const std::wstring& strRunWorkingFolder, bool& bReboot)
{
    HTRY {
        StartWorkerThread(0);
        DWORD dwExitCode = g_dwUnknownInstallerExitCode;
        try {
            dwExitCode = RunInstallerAndWaitForCompletion(strRun, strArguments, strRunWorkingFolder);
        } catch (...) {
            // The worker may be waiting for a client that never comes: it is
            // released before the error leaves, so the process can end.
            HTRY {
                ReleasePipeWorker();
            } HCATCH_LOG
            throw;
        }
        m_dwInstallerExitCode = dwExitCode;
        bReboot = dwExitCode == RebootExitCode;

        // The installer may connect until about 2 s after it has ended, and
        // the worker reads 1 s after the connection.
        for (int i = 0; i < g_nWorkerPolls && IsWorking(); ++i)
            CHMessageWait::Sleep(g_dwWorkerPollMs);
        if (IsWorking())
            ReleasePipeWorker();
    } HCATCH
}

DWORD CInstallUtils::RunInstallerAndWaitForCompletion(const std::wstring& strRun, const std::wstring& strArguments,
                                                      const std::wstring& strWorkingFolder)
{
    HTRY {
        DWORD dwExitCode = g_dwUnknownInstallerExitCode;
        if (CHVersionHelper::IsWindowsVistaOrNewer()) {
            // Through the shell, which asks for elevation when the installer's
            // manifest requires it. No shell error box: the launcher reports
            // the failure itself, in its one message box.
            SHELLEXECUTEINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
            info.hwnd = nullptr;
            info.lpVerb = L"open";
            info.lpFile = strRun.c_str();
            info.lpParameters = strArguments.c_str();
            info.lpDirectory = strWorkingFolder.empty() ? nullptr : strWorkingFolder.c_str();
            info.nShow = SW_SHOWNORMAL;
            HCHECK_WIN32(::ShellExecuteExW(&info), .AddValue(L"File", strRun));
            if (info.hProcess) {
                CHKernelHandle hProcess(info.hProcess);
                AcceptAnswersFrom(hProcess.Get());
                // Its window may come to the front, not behind the one the user clicked in.
                ::AllowSetForegroundWindow(::GetProcessId(hProcess.Get()));
                dwExitCode = WaitForInstaller(hProcess.Get());
            }
        } else {
            CHProcess process;
            process.Run(strRun, strArguments, strWorkingFolder);
            AcceptAnswersFrom(process.GetProcessHandle());
            dwExitCode = WaitForInstaller(process.GetProcessHandle());
        }
        CHLogging::LogDebug(L"Installer exited with code %d.\n", static_cast<int>(dwExitCode));
        return dwExitCode;
    } HCATCH
}

DWORD CInstallUtils::WaitForInstaller(HANDLE hInstaller)
{
    HTRY {
        if (CHMessageWait::WaitFor(hInstaller, m_dwInstallerTimeoutMs) == WAIT_TIMEOUT) {
            CHLogging::LogWarning(L"The installer did not end within %u ms; it is ended.\n",
                                  static_cast<unsigned>(m_dwInstallerTimeoutMs));
            m_bInstallerTimedOut = true;
            HCHECK_WIN32(::TerminateProcess(hInstaller, g_dwUnknownInstallerExitCode));
            CHMessageWait::WaitFor(hInstaller, INFINITE);
        }
        DWORD dwCode = g_dwUnknownInstallerExitCode;
        ::GetExitCodeProcess(hInstaller, &dwCode);
        return dwCode;
    } HCATCH
}

CInstallUtils::CAfterInstaller CInstallUtils::WhatFollowsExitCode(DWORD dwExitCode)
{
    if (dwExitCode == RestartStartedExitCode)
        return CAfterInstaller::Nothing;
    return dwExitCode == RebootExitCode ? CAfterInstaller::Restart : CAfterInstaller::Autoruns;
}

void CInstallUtils::StartAutoRuns()
{
    HTRY {
        StartAutoRuns(GetAutoruns());
    } HCATCH
}

void CInstallUtils::StartAutoRuns(const AutorunList& autoruns)
{
    HTRY {
        for (const auto& [strProgram, strArgument] : autoruns) {
            // Each with the environment read afresh from the registry (the
            // installer may have changed it), in its own folder; not waited for.
            CHProcess process;
            CHUpdateUtilities::StartProcessEnvVarsUpdated(process, strProgram, strArgument, true);
        }
    } HCATCH
}
