// The launcher's work around the installer: the instructions in the command
// line and "autorun.inf", the relaunch from %TEMP%, running the installer,
// the installer's answer on the named pipe, and the programs started
// afterwards.
//
// The answer is read on a worker thread (the pipe server) while the main
// thread waits for the installer; the answer members are read only after
// that worker has ended.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "RAde/HUniqueHandle.h"
#include "RAde/HWorkerThreadHost.h"

class CInstallUtils : public CHWorkerThreadHost
{
public:
    // The pipe on which the installer sends its answer.
    static constexpr wchar_t PipeName[] = L"\\\\.\\pipe\\HulvsInstaller";
    // The installer's exit code that asks for a restart.
    static constexpr DWORD RebootExitCode = 3010;
    // The section of "autorun.inf" that the launcher reads.
    static constexpr wchar_t AutorunSection[] = L"InstallerShim";
    static constexpr wchar_t AutorunFileName[] = L"autorun.inf";
    static constexpr wchar_t DefaultInstaller[] = L"Setup\\HalvikInstaller.exe";
    // The language of an answer that names none.
    static constexpr wchar_t DefaultLanguage[] = L"en-uk";

    using AutorunList = std::vector<std::pair<std::wstring, std::wstring>>;  // (program, argument)

    CInstallUtils() = default;
    // Stops the pipe worker before the members it fills are destroyed.
    ~CInstallUtils() override;

    // ---- Command line and "autorun.inf"

    // One value of the "InstallerShim" section of the "autorun.inf" beside the executable.
    static void ReadIniValue(const std::wstring& strKey, std::wstring& strValue, const std::wstring& strDefault);
    // The relaunch copy's working folder, and the relaunch arguments
    // ("/run=", "/runWorkingFolder=", "/deleteAfterInstall=", each value quoted).
    static void ReadAutorunInf(std::wstring& strWorkingFolder, std::wstring& strRelaunchArguments);
    static void ParseCommandLine(const std::wstring& strCommandLine, std::wstring& strRun,
                                 std::wstring& strRunWorkingFolder, std::wstring& strDeleteAfterInstall,
                                 std::wstring& strRemaining);
    // The value of a switch token: without its first nPrefixLength
    // characters, and without its outer quotes when it begins with one.
    static std::wstring GetTrimmedArgValue(const std::wstring& strToken, size_t nPrefixLength);

    // ---- Relaunch from %TEMP%

    // Copies the executable into %TEMP% and starts the copy; false (nothing
    // done) when such a copy is running already.
    static bool CopyExeToTmpAndStart(const std::wstring& strExecutable, const std::wstring& strArguments,
                                     const std::wstring& strWorkingFolder);
    static void EnsureNoTrailingSeparator(std::wstring& strPath);
    // Deletes a file, or a folder with its tree; a missing path is only logged.
    static void DeletePath(std::wstring strPath);

    // ---- Installer run and answer

    // Runs the installer, waits for it and collects its answer.
    void RunInstallerAndGetAutorunInfo(const std::wstring& strRun, const std::wstring& strArguments,
                                       const std::wstring& strRunWorkingFolder, bool& bReboot);
    DWORD RunInstallerAndWaitForCompletion(const std::wstring& strRun, const std::wstring& strArguments,
                                           const std::wstring& strWorkingFolder);
    void GetInstallerResponseFromNamedPipe(HANDLE hPipe);
    std::wstring ReadTextFileFromPipe(HANDLE hPipe);
    static void ParseAutorunProgramAndArgument(const std::wstring& strValue, CInstallUtils& target);
    // Starts every autorun with the environment a fresh logon would give it.
    void StartAutoRuns();

    std::wstring GetUILanguage() const { return m_language; }
    bool GetDeleteFiles() const { return m_deleteFiles; }
    const AutorunList& GetAutoruns() const { return m_autoruns; }

protected:
    // The pipe server.
    void WorkerProc(DWORD dwParameter) override;

private:
    AutorunList m_autoruns;
    std::wstring m_language;
    bool m_deleteFiles = false;
    CHFileHandle m_hPipe;
};

// True when the token opens a double quote that it does not close.
bool HasUnclosedQuote(const std::wstring& strToken);
