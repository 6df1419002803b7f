// The launcher's work around the installer: the instructions in the command
// line and "autorun.inf", the relaunch from %TEMP%, running the installer,
// and the programs started afterwards.
//
// The installer's answer on the named pipe is served by the base class
// CAnswerPipeServer while the main thread waits for the installer; the text
// of command line, "autorun.inf" and answer is taken apart by
// InstallParsers.
#pragma once

#include <windows.h>

#include <string>

#include "InstallerShim/AnswerPipeServer.h"
#include "InstallerShim/InstallParsers.h"

class CInstallUtils : public CAnswerPipeServer
{
public:
    // The installer's exit code that asks for a restart.
    static constexpr DWORD RebootExitCode = 3010;
    // The installer's exit code that says it has started a restart itself.
    static constexpr DWORD RestartStartedExitCode = 1641;
    // The section of "autorun.inf" that the launcher reads.
    static constexpr wchar_t AutorunSection[] = L"InstallerShim";
    static constexpr wchar_t AutorunFileName[] = L"autorun.inf";
    static constexpr wchar_t DefaultInstaller[] = L"Setup\\HalvikInstaller.exe";
    // A value of "autorun.inf" is read into this many characters (terminating
    // zero included); a value that fills them was cut.
    static constexpr DWORD IniValueBufferChars = 1025;

    // ---- Command line and "autorun.inf"

    // One value of the "InstallerShim" section of the "autorun.inf" beside the
    // executable. A value that fills the buffer (1024 characters) was cut and
    // is an error (1011), never taken as if whole.
    static void ReadIniValue(const std::wstring& strKey, std::wstring& strValue, const std::wstring& strDefault);
    // ReadIniValue on the "autorun.inf" in strFolder; false when the value
    // filled the buffer and was cut (strValue then holds the cut text).
    // Public, like ReadAutorunInfFrom: it reads the folder it is given, so
    // the reading can be checked on a file of one's own, not only on the one
    // beside the running executable.
    static bool ReadIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey, std::wstring& strValue,
                                 const std::wstring& strDefault);
    // The relaunch copy's working folder, and the relaunch arguments
    // ("/run=", "/runWorkingFolder=", "/deleteAfterInstall=" and
    // "/mediumFolder=" with the executable's folder, each value quoted). Only
    // delete paths below the executable's own folder are passed on. A value
    // that holds a double quote or a control character (which no path holds)
    // is an error naming its key and the file: it never reaches the line.
    static void ReadAutorunInf(std::wstring& strWorkingFolder, std::wstring& strRelaunchArguments);
    // ReadAutorunInf for an executable in strExeDirectory (public for the
    // same reason as ReadIniValueFrom).
    static void ReadAutorunInfFrom(const std::wstring& strExeDirectory, std::wstring& strWorkingFolder,
                                   std::wstring& strRelaunchArguments);
    // Text work only, done in InstallParsers; named here as well because the
    // launcher's flow reaches all its operations through this class.
    static void ParseCommandLine(const std::wstring& strCommandLine, std::wstring& strRun,
                                 std::wstring& strRunWorkingFolder, std::wstring& strDeleteAfterInstall,
                                 std::wstring& strRemaining, std::wstring* pstrMediumFolder = nullptr)
    {
        InstallParsers::ParseCommandLine(strCommandLine, strRun, strRunWorkingFolder, strDeleteAfterInstall,
                                         strRemaining, pstrMediumFolder);
    }
    static constexpr auto GetTrimmedArgValue = &InstallParsers::GetTrimmedArgValue;

    // ---- Relaunch from %TEMP%

    // Copies the executable into a new folder of its own below %TEMP% and
    // starts the copy there; true once it runs. The copy folders that earlier
    // starts left are removed then (a copy that still runs keeps its
    // folder). Where policy forbids starting programs from %TEMP%
    // (ERROR_ACCESS_DENIED or ERROR_ACCESS_DISABLED_BY_POLICY when the copy
    // is started), false with *pbStartRefused set: the caller may run the
    // copy's part itself. A copy that did not start is removed again.
    static bool CopyExeToTmpAndStart(const std::wstring& strExecutable, const std::wstring& strArguments,
                                     const std::wstring& strWorkingFolder, bool* pbStartRefused = nullptr);
    static void EnsureNoTrailingSeparator(std::wstring& strPath);
    // Deletes a file, or a folder with its tree, never following a link (one
    // that the system opens as what it leads to is left with a warning); a
    // missing path is only logged.
    static void DeletePath(std::wstring strPath);

    // ---- Installer run and autoruns

    // Runs the installer, waits for it and collects its answer.
    void RunInstallerAndGetAutorunInfo(const std::wstring& strRun, const std::wstring& strArguments,
                                       const std::wstring& strRunWorkingFolder, bool& bReboot);
    DWORD RunInstallerAndWaitForCompletion(const std::wstring& strRun, const std::wstring& strArguments,
                                           const std::wstring& strWorkingFolder);
    // Starts every autorun of the answer with the environment a fresh logon
    // would give it.
    void StartAutoRuns();
    // StartAutoRuns for a list of one's own. Public: it needs nothing of
    // this object, so a list parsed without an installer run can be started.
    static void StartAutoRuns(const AutorunList& autoruns);

    DWORD GetInstallerExitCode() const { return m_dwInstallerExitCode; }

    // What the launcher does after the installer, by its exit code: start the
    // autoruns, restart Windows (3010), or nothing more (1641: the installer
    // has started a restart itself). The staged files are deleted first
    // either way, when the answer allows it.
    enum class CAfterInstaller
    {
        Autoruns,
        Restart,
        Nothing
    };
    static CAfterInstaller WhatFollowsExitCode(DWORD dwExitCode);

    // The launcher waits for its installer as long as it runs; a check of
    // the installer's answer gives up after dwTimeoutMs and ends it.
    void SetInstallerTimeout(DWORD dwTimeoutMs) { m_dwInstallerTimeoutMs = dwTimeoutMs; }
    bool InstallerTimedOut() const { return m_bInstallerTimedOut; }

private:
    // ReadIniValueFrom for a value that must be whole: a cut one throws 1011.
    static std::wstring ReadWholeIniValueFrom(const std::wstring& strFolder, const std::wstring& strKey,
                                              const std::wstring& strDefault);
    // Throws ERROR_INVALID_NAME, with the key and the file, for a value that
    // cannot be carried in the relaunch line's quotes.
    static void CheckCommandLineValue(const std::wstring& strFolder, const std::wstring& strKey,
                                      const std::wstring& strValue);

    // Waits for the installer (up to the time-out) and returns its exit code.
    DWORD WaitForInstaller(HANDLE hInstaller);

    DWORD m_dwInstallerExitCode = 0;
    DWORD m_dwInstallerTimeoutMs = INFINITE;
    bool m_bInstallerTimedOut = false;
};
