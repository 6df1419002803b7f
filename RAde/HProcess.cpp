#include "RAde/HProcess.h"

#include <psapi.h>
#include <shellapi.h>
#include <winternl.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {

// Attach looks at no more processes than this.
constexpr DWORD g_dwMaxProcesses = 2048;
// Module base names are read into a buffer of this many characters.
constexpr DWORD g_cchModuleName = 1040;

// ERROR_ELEVATION_REQUIRED: the program's manifest asks for administrator rights.
constexpr DWORD g_dwElevationRequired = 740;

CHProcess::CreateProcessFunction g_pfnCreateProcess = ::CreateProcessW;

CHException StartFailure(DWORD dwError, const std::wstring& strProgram, const std::wstring& strWorkingFolder,
                         const CHSourceSite& site)
{
    CHException e = CHException::FromWin32Error(dwError, site);
    e.AddValue(L"File", strProgram);
    if (!strWorkingFolder.empty())
        e.AddValue(L"Directory", strWorkingFolder);
    return e;
}

bool IsQuoted(const std::wstring& strProgram)
{
    return strProgram.size() >= 2 && strProgram.front() == L'"' && strProgram.back() == L'"';
}

// Unquoted, a program under a folder with a blank ("C:\Program Files\app.exe")
// lets the system try "C:\Program.exe" first, and the program would receive
// the rest of its own path as arguments.
std::wstring QuotedProgram(const std::wstring& strProgram)
{
    return IsQuoted(strProgram) ? strProgram : L"\"" + strProgram + L"\"";
}

std::wstring UnquotedProgram(const std::wstring& strProgram)
{
    return IsQuoted(strProgram) ? strProgram.substr(1, strProgram.size() - 2) : strProgram;
}

// The base name of the process's first module (its executable); false when
// the process does not let us read it.
bool ReadFirstModuleName(HANDLE hProcess, std::wstring& strName)
{
    HMODULE hModule = nullptr;
    DWORD cbNeeded = 0;
    if (!::EnumProcessModules(hProcess, &hModule, sizeof(hModule), &cbNeeded) || cbNeeded < sizeof(hModule))
        return false;
    std::wstring strBuffer(g_cchModuleName, L'\0');
    const DWORD cchName = ::GetModuleBaseNameW(hProcess, hModule, strBuffer.data(), g_cchModuleName);
    if (cchName == 0)
        return false;
    strName = strBuffer.substr(0, cchName);
    return true;
}

// No chain of processes that started each other is longer than this.
constexpr int g_nMaxAncestors = 64;

// When the process was created; 0 when that cannot be read.
ULONGLONG CreationTime(HANDLE hProcess)
{
    FILETIME created = {}, unused = {};
    if (!::GetProcessTimes(hProcess, &created, &unused, &unused, &unused))
        return 0;
    return static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// The id of the process that started this one, read through its handle: a
// process that has ended still tells it while a handle is held. 0 when it
// cannot be read.
DWORD ParentProcessId(HANDLE hProcess)
{
    using QueryFunction = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    static const auto s_pfnQuery = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION info = {};
    if (!s_pfnQuery || s_pfnQuery(hProcess, ProcessBasicInformation, &info, sizeof(info), nullptr) < 0)
        return 0;
    return static_cast<DWORD>(info.InheritedFromUniqueProcessId);
}

}  // namespace

CHProcess::~CHProcess()
{
    HTRY {
        Close();
    } HCATCH_LOG
}

void CHProcess::Close()
{
    HTRY {
        m_hThread.Reset();
        m_hProcess.Reset();
        m_dwProcessId = 0;
        m_dwThreadId = 0;
    } HCATCH
}

void CHProcess::Run(const std::wstring& strProgram, const std::wstring& strParameters,
                    const std::wstring& strWorkingFolder)
{
    HTRY {
        Close();
        const std::wstring strUnquoted = UnquotedProgram(strProgram);
        if (!CHFileUtilities::IsRelativePath(strUnquoted))
            CHFileUtilities::CheckFileExists(strUnquoted);

        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);

        // The system may write into the command line, so it lives in a buffer of our own.
        const std::wstring strCommandLine = QuotedProgram(strProgram) + L" " + strParameters;
        if (strCommandLine.size() >= CommandLineBufferSize)
            throw CHException(HError::BufferTooSmall, HSITE);
        std::vector<wchar_t> commandLine(CommandLineBufferSize, L'\0');
        std::copy(strCommandLine.begin(), strCommandLine.end(), commandLine.begin());

        CHLogging::LogDebug(L"Running command \"%s\" with parameters \"%s\"\n", strProgram.c_str(),
                            strParameters.c_str());

        PROCESS_INFORMATION info = {};
        if (!g_pfnCreateProcess(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE,
                                nullptr, strWorkingFolder.empty() ? nullptr : strWorkingFolder.c_str(), &startup,
                                &info)) {
            const DWORD dwError = ::GetLastError();
            if (dwError != g_dwElevationRequired)
                throw StartFailure(dwError, strProgram, strWorkingFolder, HSITE);
            RunThroughShell(strUnquoted, strParameters, strWorkingFolder);
            return;
        }
        m_hProcess.Reset(info.hProcess);
        m_hThread.Reset(info.hThread);
        m_dwProcessId = info.dwProcessId;
        m_dwThreadId = info.dwThreadId;
        ::AllowSetForegroundWindow(m_dwProcessId);
    } HCATCH
}

void CHProcess::RunThroughShell(const std::wstring& strProgram, const std::wstring& strParameters,
                                const std::wstring& strWorkingFolder)
{
    HTRY {
        CHLogging::LogInfo(L"%s needs administrator rights: it is started through the shell.\n", strProgram.c_str());
        // No shell error box: the caller reports a failure itself.
        SHELLEXECUTEINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        info.lpFile = strProgram.c_str();
        info.lpParameters = strParameters.c_str();
        info.lpDirectory = strWorkingFolder.empty() ? nullptr : strWorkingFolder.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (!::ShellExecuteExW(&info))
            throw StartFailure(::GetLastError(), strProgram, strWorkingFolder, HSITE);
        m_hProcess.Reset(info.hProcess);
        m_dwProcessId = info.hProcess ? ::GetProcessId(info.hProcess) : 0;
        if (m_dwProcessId != 0)
            ::AllowSetForegroundWindow(m_dwProcessId);
    } HCATCH
}

void CHProcess::SetCreateProcessFunction(CreateProcessFunction pfnCreate) noexcept
{
    g_pfnCreateProcess = pfnCreate ? pfnCreate : ::CreateProcessW;
}

bool CHProcess::Attach(const std::wstring& strModuleName, DWORD dwAccess)
{
    HTRY {
        Close();

        std::vector<DWORD> processIds(g_dwMaxProcesses);
        DWORD cbReturned = 0;
        HCHECK_WIN32(
            ::EnumProcesses(processIds.data(), static_cast<DWORD>(processIds.size() * sizeof(DWORD)), &cbReturned));
        processIds.resize(cbReturned / sizeof(DWORD));

        for (DWORD dwProcessId : processIds) {
            CHKernelHandle hProcess(
                ::OpenProcess(dwAccess | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwProcessId));
            if (!hProcess)
                continue;  // gone already, or not ours to look at
            std::wstring strName;
            if (!ReadFirstModuleName(hProcess.Get(), strName))
                continue;
            if (CHStringHelper::ContainsNoCase(strName, strModuleName)) {
                m_hProcess = std::move(hProcess);
                m_dwProcessId = dwProcessId;
                return true;
            }
        }
        return false;
    } HCATCH
}

bool CHProcess::IsRunning(const std::wstring& strModuleName)
{
    HTRY {
        CHProcess process;
        return process.Attach(strModuleName, 0);
    } HCATCH
}

DWORD CHProcess::Wait(DWORD dwMilliseconds)
{
    HTRY {
        return ::WaitForSingleObject(m_hProcess.Get(), dwMilliseconds);
    } HCATCH
}

DWORD CHProcess::GetExitCode()
{
    HTRY {
        if (!m_hProcess)
            throw CHException(HError::ProcessNotStarted, HSITE);
        DWORD dwExitCode = 0;
        HCHECK_WIN32(::GetExitCodeProcess(m_hProcess.Get(), &dwExitCode));
        return dwExitCode;
    } HCATCH
}

std::wstring CHProcess::GetImagePath(DWORD dwProcessId)
{
    HTRY {
        CHKernelHandle hProcess(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
        if (!hProcess)
            return std::wstring();
        std::wstring strPath(32768, L'\0');
        DWORD cchPath = static_cast<DWORD>(strPath.size());
        if (!::QueryFullProcessImageNameW(hProcess.Get(), 0, strPath.data(), &cchPath))
            return std::wstring();
        strPath.resize(cchPath);
        return strPath;
    } HCATCH
}

bool CHProcess::IsSelfOrDescendantOf(HANDLE hProcess, HANDLE hAncestor)
{
    HTRY {
        const DWORD dwAncestorId = ::GetProcessId(hAncestor);
        const DWORD dwProcessId = ::GetProcessId(hProcess);
        if (dwAncestorId == 0 || dwProcessId == 0)
            return false;
        if (dwProcessId == dwAncestorId)
            return true;
        const ULONGLONG nAncestorCreated = CreationTime(hAncestor);
        // Each link is held open while its parent is asked for, so that its
        // id cannot go to another process meanwhile.
        CHKernelHandle hLink;
        HANDLE hChild = hProcess;
        ULONGLONG nChildCreated = CreationTime(hChild);
        for (int i = 0; i < g_nMaxAncestors && nChildCreated != 0; ++i) {
            const DWORD dwParent = ParentProcessId(hChild);
            if (dwParent == 0)
                return false;
            if (dwParent == dwAncestorId)
                return nAncestorCreated != 0 && nAncestorCreated <= nChildCreated;
            CHKernelHandle hParent(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwParent));
            const ULONGLONG nParentCreated = hParent ? CreationTime(hParent.Get()) : 0;
            if (nParentCreated == 0 || nParentCreated > nChildCreated)
                return false;
            hLink = std::move(hParent);
            hChild = hLink.Get();
            nChildCreated = nParentCreated;
        }
        return false;
    } HCATCH
}
