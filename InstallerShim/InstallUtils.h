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
    // The installer's exit code that says it has started a restart itself.
    static constexpr DWORD RestartStartedExitCode = 1641;
    // The section of "autorun.inf" that the launcher reads.
    static constexpr wchar_t AutorunSection[] = L"InstallerShim";
    static constexpr wchar_t AutorunFileName[] = L"autorun.inf";
    static constexpr wchar_t DefaultInstaller[] = L"Setup\\HalvikInstaller.exe";
    // The language of an answer that names none.
    static constexpr wchar_t DefaultLanguage[] = L"en-uk";
    // A value of "autorun.inf" is read into this many characters (terminating
    // zero included); a value that fills them was cut.
    static constexpr DWORD IniValueBufferChars = 1025;
    // The pipe's server end. Overlapped, so that waiting for a client can be
    // given up when the worker is asked to stop. FILE_FLAG_FIRST_PIPE_INSTANCE
    // makes the creation fail when another process already serves this name
    // (it would read the installer's answer, or hand us one of its own);
    // PIPE_REJECT_REMOTE_CLIENTS keeps other machines out: the installer runs
    // on this one.
    static constexpr DWORD PipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    static constexpr DWORD PipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    static constexpr DWORD PipeBufferSize = 4096;
    // A longer answer is refused (its defaults apply), never allocated blindly.
    static constexpr DWORD MaxAnswerBytes = 64 * 1024;

    using AutorunList = std::vector<std::pair<std::wstring, std::wstring>>;  // (program, argument)

    CInstallUtils() = default;
    // Stops the pipe worker before the members it fills are destroyed.
    ~CInstallUtils() override;

    // ---- Command line and "autorun.inf"

    // One value of the "InstallerShim" section of the "autorun.inf" beside the
    // executable. A value that fills the buffer (1024 characters) was cut and
    // is an error (1011), never taken as if whole.
    static void ReadIniValue(const std::wstring& strKey, std::wstring& strValue, const std::wstring& strDefault);
    // The relaunch copy's working folder, and the relaunch arguments
    // ("/run=", "/runWorkingFolder=", "/deleteAfterInstall=", each value quoted).
    // Only delete paths below the executable's own folder are passed on.
    static void ReadAutorunInf(std::wstring& strWorkingFolder, std::wstring& strRelaunchArguments);
    static void ParseCommandLine(const std::wstring& strCommandLine, std::wstring& strRun,
                                 std::wstring& strRunWorkingFolder, std::wstring& strDeleteAfterInstall,
                                 std::wstring& strRemaining);
    // The value of a switch token: without its first nPrefixLength
    // characters, and without its outer quotes when it begins with one.
    static std::wstring GetTrimmedArgValue(const std::wstring& strToken, size_t nPrefixLength);

    // ---- Relaunch from %TEMP%

    // Copies the executable into %TEMP% and starts the copy; false (nothing
    // done) when such a copy is running already. Where policy forbids
    // starting programs from %TEMP% (ERROR_ACCESS_DENIED or
    // ERROR_ACCESS_DISABLED_BY_POLICY when the copy is started), false as
    // well, with *pbStartRefused set: the caller may run the copy's part itself.
    static bool CopyExeToTmpAndStart(const std::wstring& strExecutable, const std::wstring& strArguments,
                                     const std::wstring& strWorkingFolder, bool* pbStartRefused = nullptr);
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
    DWORD GetInstallerExitCode() const { return m_dwInstallerExitCode; }
    bool GetDeleteFiles() const { return m_deleteFiles; }
    const AutorunList& GetAutoruns() const { return m_autoruns; }

protected:
    // The pipe server.
    void WorkerProc(DWORD dwParameter) override;

    // The helpers below are protected only so that the tests can reach them
    // through a subclass; nothing else derives from this class.

    // ReadIniValue on the "autorun.inf" in strFolder; false when the value
    // filled the buffer and was cut (strValue then holds the cut text).
    static bool ReadIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey, std::wstring& strValue,
                                 const std::wstring& strDefault);
    // ReadAutorunInf for an executable in strExeDirectory.
    static void ReadAutorunInfFrom(const std::wstring& strExeDirectory, std::wstring& strWorkingFolder,
                                   std::wstring& strRelaunchArguments);
    // True when a process other than this one runs the image at that full
    // path (compared without regard to case).
    static bool IsImageRunning(const std::wstring& strImagePath);

private:
    // ReadIniValueFrom for a value that must be whole: a cut one throws 1011.
    static std::wstring ReadWholeIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey,
                                              const std::wstring& strDefault);
    // Ends the pipe worker: connects a client that writes nothing, so a
    // worker still waiting reads an empty answer, then stops it.
    void ReleasePipeWorker();
    // Waits for the installer to connect; false when the worker was asked to
    // stop first or the connection failed.
    bool WaitForClient();

    AutorunList m_autoruns;
    std::wstring m_language;
    bool m_deleteFiles = false;
    DWORD m_dwInstallerExitCode = 0;
    CHFileHandle m_hPipe;
};

// True when the token opens a double quote that it does not close.
bool HasUnclosedQuote(const std::wstring& strToken);
