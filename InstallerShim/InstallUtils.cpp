#include "InstallerShim/InstallUtils.h"

#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "RAde/HBufMalloc.h"
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
// How long the worker lets the installer write its answer after connecting.
constexpr DWORD g_dwAnswerDelayMs = 1000;
// How long the main thread gives the worker after the installer has ended:
// g_nWorkerPolls times g_dwWorkerPollMs.
constexpr int g_nWorkerPolls = 10;
constexpr DWORD g_dwWorkerPollMs = 200;
// The worker's pause before it creates the pipe (a stop request ends it).
constexpr DWORD g_dwWorkerStartDelayMs = 200;
// A read of bytes that the pipe reported waiting completes at once; one that
// hangs this long is given up.
constexpr DWORD g_dwPipeReadTimeoutMs = 5000;
// Empty messages carry nothing; a client that sends more than this many is
// not waited out.
constexpr int g_nMaxEmptyMessages = 64;

const wchar_t g_szSeparators[] = L"\\/";

constexpr auto EqualsNoCase = &CHStringHelper::EqualsNoCase;
constexpr auto StartsWithNoCase = &CHStringHelper::StartsWithNoCase;

// The next blank-separated token of strText from nPosition on. Leading blanks
// are skipped; nPosition becomes the index after the token's end, or -1 (with
// an empty token) when none was left.
std::wstring NextToken(const std::wstring& strText, std::ptrdiff_t& nPosition)
{
    if (nPosition >= 0 && static_cast<size_t>(nPosition) < strText.size()) {
        const size_t nStart = strText.find_first_not_of(L' ', static_cast<size_t>(nPosition));
        if (nStart != std::wstring::npos) {
            size_t nEnd = strText.find(L' ', nStart);
            if (nEnd == std::wstring::npos)
                nEnd = strText.size();
            nPosition = static_cast<std::ptrdiff_t>(nEnd) + 1;
            return strText.substr(nStart, nEnd - nStart);
        }
    }
    nPosition = -1;
    return std::wstring();
}

// True when strPath lies below strFolder: all of the folder's components
// (compared without regard to case), then at least one name that is not ".".
// strPath has had its ".." segments collapsed already.
bool IsBelowFolder(const std::wstring& strFolder, const std::wstring& strPath)
{
    const std::vector<std::wstring> folderParts = CHStringHelper::TokenizeString(strFolder, g_szSeparators);
    const std::vector<std::wstring> pathParts = CHStringHelper::TokenizeString(strPath, g_szSeparators);
    if (folderParts.empty() || pathParts.size() <= folderParts.size())
        return false;
    if (!std::equal(folderParts.begin(), folderParts.end(), pathParts.begin(), EqualsNoCase))
        return false;
    return std::any_of(pathParts.begin() + static_cast<std::ptrdiff_t>(folderParts.size()), pathParts.end(),
                       [](const std::wstring& strPart) { return strPart != L"."; });
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
    return IsBelowFolder(strFolder, strAbsolute);
}

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

// The number of bytes waiting in the pipe, over all messages.
DWORD BytesWaitingInPipe(HANDLE hPipe)
{
    // GetFileSize is no measure for a pipe: Wine answers 0xFFFFFFFF.
    DWORD cbTotal = 0;
    if (::PeekNamedPipe(hPipe, nullptr, 0, nullptr, &cbTotal, nullptr))
        return cbTotal;
    // A client that has closed its end (the installer may have ended) leaves
    // what it wrote readable; once that is read, the pipe reports it broken.
    const DWORD dwError = ::GetLastError();
    if (dwError == ERROR_BROKEN_PIPE)
        return 0;
    throw CHException::FromWin32Error(dwError, HSITE);
}

// One overlapped read from the pipe into pBuffer; true when the current
// message goes on beyond what was read (ERROR_MORE_DATA).
bool ReadPipeChunk(HANDLE hPipe, BYTE* pBuffer, DWORD cbBuffer, DWORD& cbRead)
{
    CHKernelHandle hDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!hDone)
        throw CHException::FromLastError(HSITE);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = hDone.Get();
    if (!::ReadFile(hPipe, pBuffer, cbBuffer, nullptr, &overlapped)) {
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_IO_PENDING && dwError != ERROR_MORE_DATA)
            throw CHException::FromWin32Error(dwError, HSITE);
    }
    // The overlapped structure must outlive the read: a read that does not
    // complete is cancelled and its end awaited before this returns.
    if (::WaitForSingleObject(hDone.Get(), g_dwPipeReadTimeoutMs) != WAIT_OBJECT_0) {
        ::CancelIo(hPipe);
        ::GetOverlappedResult(hPipe, &overlapped, &cbRead, TRUE);
        throw CHException::FromWin32Error(ERROR_TIMEOUT, HSITE);
    }
    cbRead = 0;
    if (::GetOverlappedResult(hPipe, &overlapped, &cbRead, FALSE))
        return false;
    const DWORD dwError = ::GetLastError();
    if (dwError == ERROR_MORE_DATA)
        return true;
    throw CHException::FromWin32Error(dwError, HSITE);
}

// An answer too long to be one: logged, and read as empty (the defaults apply).
std::wstring RefuseLongAnswer()
{
    CHLogging::LogWarning(L"The installer's answer is larger than %u bytes; it is ignored.\n",
                   static_cast<unsigned>(CInstallUtils::MaxAnswerBytes));
    return std::wstring();
}

} // namespace

CInstallUtils::~CInstallUtils()
{
    HTRY {
        // The worker writes the members below and uses the pipe: it ends
        // first (the base destructor would stop it only after they are gone).
        StopWorkerThread();
        m_hPipe.Reset();
        m_autoruns.clear();
    } HCATCH_LOG
}

// ---------------------------------------------------------------------------
// Command line and "autorun.inf"

void CInstallUtils::ReadIniValue(const std::wstring& strKey, std::wstring& strValue, const std::wstring& strDefault)
{
    HTRY {
        strValue = ReadWholeIniValueFrom(CHFileUtilities::GetExeDirectory(), strKey, strDefault);
    } HCATCH
}

bool CInstallUtils::ReadIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey,
                                     std::wstring& strValue, const std::wstring& strDefault)
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

        // Only relative paths, resolved against the executable's folder and
        // staying below it, can reach the deleter: an absolute path, or one
        // whose ".." segments climb out, could name any folder of the machine.
        std::wstring strDeleteList;
        std::wstring strDeleteValue;
        if (!ReadIniValueFrom(strExeDirectory, L"deleteAfterInstall", strDeleteValue, L"")) {
            // A cut list may end in a cut path that names another file.
            CHLogging::LogWarning(L"The value of deleteAfterInstall in %s is too long; nothing will be deleted.\n",
                           CHFileUtilities::MakeAbsolutePath(strExeDirectory, AutorunFileName).c_str());
            strDeleteValue.clear();
        }
        for (const std::wstring& strPiece : CHStringHelper::TokenizeString(strDeleteValue, L";")) {
            if (!CHFileUtilities::IsRelativePath(strPiece))
                continue;
            std::wstring strPath;
            if (!ResolveBelowFolder(strExeDirectory, strPiece, strPath)) {
                CHLogging::LogWarning(L"Delete path %s leaves the folder %s; it is not deleted.\n",
                               strPiece.c_str(), strExeDirectory.c_str());
                continue;
            }
            if (!strDeleteList.empty())
                strDeleteList += L";";
            strDeleteList += strPath;
        }

        strRelaunchArguments = CHStringHelper::Format(L"/run=\"%s\" /runWorkingFolder=\"%s\" /deleteAfterInstall=\"%s\"",
                                                      strRun.c_str(), strRunWorkingFolder.c_str(),
                                                      strDeleteList.c_str());
    } HCATCH
}

void CInstallUtils::ParseCommandLine(const std::wstring& strCommandLine, std::wstring& strRun,
                                     std::wstring& strRunWorkingFolder, std::wstring& strDeleteAfterInstall,
                                     std::wstring& strRemaining)
{
    HTRY {
        const struct
        {
            const wchar_t* pszSwitch;
            std::wstring* pValue;
        } switches[] = {
            {L"/run=", &strRun},
            {L"/runWorkingFolder=", &strRunWorkingFolder},
            {L"/deleteAfterInstall=", &strDeleteAfterInstall},
        };

        std::ptrdiff_t nPosition = 0;
        std::wstring strToken = NextToken(strCommandLine, nPosition);
        while (!strToken.empty()) {
            // A quoted value with blanks arrives in pieces: join them again
            // (runs of blanks inside the quotes become one). A quote that is
            // never closed takes the rest of the line.
            while (nPosition >= 0 && HasUnclosedQuote(strToken)) {
                const std::wstring strNext = NextToken(strCommandLine, nPosition);
                if (strNext.empty())
                    break;
                strToken += L" " + strNext;
            }

            auto itSwitch = std::find_if(std::begin(switches), std::end(switches),
                                         [&](const auto& entry) { return StartsWithNoCase(strToken, entry.pszSwitch); });
            if (itSwitch != std::end(switches)) {
                *itSwitch->pValue = GetTrimmedArgValue(strToken, std::wcslen(itSwitch->pszSwitch));
            } else {
                if (!strRemaining.empty())
                    strRemaining += L" ";
                strRemaining += strToken;
            }

            if (nPosition < 0)
                break;
            strToken = NextToken(strCommandLine, nPosition);
        }
    } HCATCH
}

std::wstring CInstallUtils::GetTrimmedArgValue(const std::wstring& strToken, size_t nPrefixLength)
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
        CHLogging::LogDebug(L"Running %s in %s with command line %s.\n", strCopy.c_str(),
                       strFolder.c_str(), strArguments.c_str());
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
            if (EqualsNoCase(ComparableImagePath(strImage), strWanted))
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
// Installer run and answer

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

void CInstallUtils::ReleasePipeWorker()
{
    HTRY {
        // A client that writes nothing ends the worker's wait with an empty
        // answer (the defaults). Without a free pipe instance the stop
        // request alone ends the wait.
        CHFileHandle hClient;
        if (::WaitNamedPipeW(PipeName, NMPWAIT_USE_DEFAULT_WAIT))
            hClient.Reset(::CreateFileW(PipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        StopWorkerThread();
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

void CInstallUtils::WorkerProc(DWORD)
{
    HTRY {
        if (!ContinueWorking(g_dwWorkerStartDelayMs))
            return;

        // Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and
        // PIPE_REJECT_REMOTE_CLIENTS (a second "first instance" is created
        // there), so under Wine a squatter is not detected; on Windows the
        // creation fails and the run goes on without an answer.
        m_hPipe.Reset();
        m_hPipe.Reset(::CreateNamedPipeW(PipeName, PipeOpenMode, PipeMode, PIPE_UNLIMITED_INSTANCES, PipeBufferSize,
                                         PipeBufferSize, 0, nullptr));
        if (!m_hPipe) {
            const DWORD dwError = ::GetLastError();
            CHLogging::LogWarning(L"Pipe %s could not be created (error %u), it may be in use by another process; the "
                           L"installer's answer is not read.\n",
                           PipeName, static_cast<unsigned>(dwError));
            return;
        }
        if (!WaitForClient())
            return;

        // The installer writes its whole answer within a second of
        // connecting. Once a stop is requested the installer has ended (or
        // the answer no longer matters), so what waits is read at once.
        ContinueWorking(g_dwAnswerDelayMs);
        GetInstallerResponseFromNamedPipe(m_hPipe.Get());

        ::FlushFileBuffers(m_hPipe.Get());
        ::DisconnectNamedPipe(m_hPipe.Get());
    } HCATCH
}

bool CInstallUtils::WaitForClient()
{
    HTRY {
        CHKernelHandle hConnected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!hConnected)
            throw CHException::FromLastError(HSITE);
        OVERLAPPED overlapped = {};
        overlapped.hEvent = hConnected.Get();
        if (::ConnectNamedPipe(m_hPipe.Get(), &overlapped))
            return true;
        const DWORD dwError = ::GetLastError();
        // The client came before the wait began; it may even have written
        // its answer and closed its end already (ERROR_NO_DATA).
        if (dwError == ERROR_PIPE_CONNECTED || dwError == ERROR_NO_DATA)
            return true;
        if (dwError != ERROR_IO_PENDING)
            return false;

        // Whichever comes first: a client, or the stop request (the stop
        // event is set after the stop flag, so a request made before this
        // wait began is seen too).
        const std::array<HANDLE, 2> handles = {hConnected.Get(), GetStopEvent()};
        const DWORD dwWait = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                                      INFINITE);
        if (dwWait != WAIT_OBJECT_0)
            ::CancelIo(m_hPipe.Get());
        // The overlapped structure lives until the operation has ended. A
        // client that connected just as the stop came is served all the same.
        DWORD dwIgnored = 0;
        return ::GetOverlappedResult(m_hPipe.Get(), &overlapped, &dwIgnored, TRUE) != FALSE;
    } HCATCH
}

void CInstallUtils::GetInstallerResponseFromNamedPipe(HANDLE hPipe)
{
    HTRY {
        m_autoruns.clear();
        m_language = DefaultLanguage;
        m_deleteFiles = false;

        // The answer's keys (in any case), each with what its value sets.
        using CApply = std::function<void(const std::wstring&)>;
        const std::pair<std::wstring_view, CApply> keys[] = {
            {L"autorun=", [this](const std::wstring& strValue) { ParseAutorunProgramAndArgument(strValue, *this); }},
            {L"language=", [this](const std::wstring& strValue) { m_language = strValue; }},
            {L"delete-files=", [this](const std::wstring& strValue) { m_deleteFiles = EqualsNoCase(strValue, L"true"); }},
        };
        const std::wstring strText = ReadTextFileFromPipe(hPipe);
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

std::wstring CInstallUtils::ReadTextFileFromPipe(HANDLE hPipe)
{
    HTRY {
        DWORD cbWaiting = BytesWaitingInPipe(hPipe);
        if (cbWaiting == 0)
            return std::wstring();
        if (cbWaiting > MaxAnswerBytes)
            return RefuseLongAnswer();

        // Every message that waits, in order, each read to its end.
        std::vector<BYTE> answer;
        std::vector<BYTE> chunk(PipeBufferSize);
        int nEmptyMessages = 0;
        while (cbWaiting > 0 && answer.size() <= MaxAnswerBytes && nEmptyMessages <= g_nMaxEmptyMessages) {
            DWORD cbRead = 0;
            const bool bMessageGoesOn = ReadPipeChunk(hPipe, chunk.data(), static_cast<DWORD>(chunk.size()), cbRead);
            answer.insert(answer.end(), chunk.begin(), chunk.begin() + cbRead);
            if (bMessageGoesOn)
                continue;
            if (cbRead == 0)
                ++nEmptyMessages;
            cbWaiting = BytesWaitingInPipe(hPipe);
        }
        if (answer.size() > MaxAnswerBytes || nEmptyMessages > g_nMaxEmptyMessages)
            return RefuseLongAnswer();

        CHBufMalloc content;
        content.Copy(answer.data(), answer.size());
        return CHFileUtilities::FileContentToString(content, HTEXT_ENCODING_UTF16LE);
    } HCATCH
}

void CInstallUtils::ParseAutorunProgramAndArgument(const std::wstring& strValue, CInstallUtils& target)
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
            CHLogging::LogWarning(L"Autorun program %s not found; it is not started.\n",
                           strProgram.c_str());
            return;
        }
        target.m_autoruns.emplace_back(strProgram, strArgument);
    } HCATCH
}

void CInstallUtils::StartAutoRuns()
{
    HTRY {
        for (const auto& [strProgram, strArgument] : m_autoruns) {
            // Each with the environment read afresh from the registry (the
            // installer may have changed it), in its own folder; not waited for.
            CHProcess process;
            CHUpdateUtilities::StartProcessEnvVarsUpdated(process, strProgram, strArgument, true);
        }
    } HCATCH
}
