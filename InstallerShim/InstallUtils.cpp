#include "InstallerShim/InstallUtils.h"

#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

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

// An image path in the one form used for comparing: plain (no "\\?\"),
// backslashes, and long names where it was given in 8.3 form.
std::wstring ComparableImagePath(const std::wstring& strPath)
{
    std::wstring strComparable = CHFileUtilities::SetPathSeparator(strPath, L'\\');
    CHFileUtilities::RemoveUnicodePath(strComparable);
    if (strComparable.find(L'~') != std::wstring::npos) {
        try {
            strComparable = CHFileUtilities::GetLongFilePath(strComparable);
        } catch (CHException&) {
            // Not there (any more): compared as given.
        }
    }
    return strComparable;
}

// The ids of the running processes.
std::vector<DWORD> RunningProcessIds()
{
    std::vector<DWORD> processIds(1024);
    for (;;) {
        const DWORD cbGiven = static_cast<DWORD>(processIds.size() * sizeof(DWORD));
        DWORD cbReturned = 0;
        if (!::EnumProcesses(processIds.data(), cbGiven, &cbReturned))
            throw CHException::FromLastError(HSITE);
        // A full array may have left processes out: ask again with more room.
        if (cbReturned < cbGiven) {
            processIds.resize(cbReturned / sizeof(DWORD));
            return processIds;
        }
        processIds.resize(processIds.size() * 2);
    }
}

// The full image path of a process; false when it cannot be read (gone
// already, or not ours to look at).
bool ReadImagePath(DWORD dwProcessId, std::wstring& strPath)
{
    CHKernelHandle hProcess(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
    if (!hProcess)
        return false;
    std::wstring strBuffer(32768, L'\0');
    DWORD cchPath = static_cast<DWORD>(strBuffer.size());
    if (!::QueryFullProcessImageNameW(hProcess.Get(), 0, strBuffer.data(), &cchPath))
        return false;
    strPath.assign(strBuffer.data(), cchPath);
    return true;
}

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
        return strValue;
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
        const std::wstring strDeleteList = InstallParsers::DeleteListBelowFolder(strExeDirectory, strDeleteValue);

        strRelaunchArguments =
            CHStringHelper::Format(L"/run=\"%s\" /runWorkingFolder=\"%s\" /deleteAfterInstall=\"%s\"", strRun.c_str(),
                                   strRunWorkingFolder.c_str(), strDeleteList.c_str());
    } HCATCH
}

// ---------------------------------------------------------------------------
// Relaunch from %TEMP%

bool CInstallUtils::CopyExeToTmpAndStart(const std::wstring& strExecutable, const std::wstring& strArguments,
                                         const std::wstring& strWorkingFolder, bool* pbStartRefused)
{
    HTRY {
        const std::wstring strCopy = CHFileUtilities::MakeAbsolutePath(
            CHFileUtilities::GetTempDirectory(), CHFileUtilities::GetFilenameFromPath(strExecutable));
        // A copy that runs already is stage two of an earlier start: it
        // cannot be overwritten, and a second one must not begin.
        if (IsImageRunning(strCopy))
            return false;
        if (CHFileUtilities::FileExists(strCopy))
            CHFileUtilities::DeleteFileW(strCopy, true);
        CHFileUtilities::CopyFileW(strExecutable, strCopy, true);

        std::wstring strFolder = strWorkingFolder;
        EnsureNoTrailingSeparator(strFolder);
        CHLogging::LogDebug(L"Running %s in %s with command line %s.\n", strCopy.c_str(), strFolder.c_str(),
                            strArguments.c_str());
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
        return true;
    } HCATCH
}

bool CInstallUtils::IsImageRunning(const std::wstring& strImagePath)
{
    HTRY {
        // Matched by full path: a match by base name would find stage one
        // itself (it has the copy's name), and this process is left out for
        // the same reason.
        const std::wstring strWanted = ComparableImagePath(strImagePath);
        const DWORD dwOwnId = ::GetCurrentProcessId();
        for (DWORD dwProcessId : RunningProcessIds()) {
            std::wstring strImage;
            if (dwProcessId == dwOwnId || !ReadImagePath(dwProcessId, strImage))
                continue;
            if (CHStringHelper::EqualsNoCase(ComparableImagePath(strImage), strWanted))
                return true;
        }
        return false;
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
        // tree read-only files are deleted too.
        if (CHFileUtilities::IsDirectory(strPath))
            CHFileUtilities::DeleteDirectory(strPath);
        else
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
            if (!::ShellExecuteExW(&info))
                throw CHException::FromLastError(HSITE).AddValue(L"File", strRun);
            if (info.hProcess) {
                CHKernelHandle hProcess(info.hProcess);
                // Its window may come to the front, not behind the one the user clicked in.
                ::AllowSetForegroundWindow(::GetProcessId(hProcess.Get()));
                CHMessageWait::WaitFor(hProcess.Get(), INFINITE);
                DWORD dwCode = 0;
                if (::GetExitCodeProcess(hProcess.Get(), &dwCode))
                    dwExitCode = dwCode;
            }
        } else {
            CHProcess process;
            process.Run(strRun, strArguments, strWorkingFolder);
            CHMessageWait::WaitFor(process.GetProcessHandle(), INFINITE);
            dwExitCode = process.GetExitCode();
        }
        CHLogging::LogDebug(L"Installer exited with code %d.\n", static_cast<int>(dwExitCode));
        return dwExitCode;
    } HCATCH
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
