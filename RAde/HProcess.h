// A started or attached process: start a program, find a running one by its
// module name, wait for it and read its exit code; and what the system tells
// of any process: its executable and the processes it descends from.
#pragma once

#include <windows.h>

#include <string>

#include "RAde/HUniqueHandle.h"

class CHProcess
{
public:
    // The longest command line Run builds, terminating zero included: the
    // most the system takes, so that a relaunch naming deep folders is never
    // refused for its length alone.
    static constexpr size_t CommandLineBufferSize = 32767;

    CHProcess() = default;
    CHProcess(const CHProcess&) = delete;
    CHProcess& operator=(const CHProcess&) = delete;
    virtual ~CHProcess();

    // Starts "program" parameters (the program quoted unless it already is)
    // in strWorkingFolder (the caller's when empty), with the caller's
    // environment. An absolute program must exist. Not waited for. A program
    // whose manifest requires administrator rights (ERROR_ELEVATION_REQUIRED)
    // is started through the shell instead, which asks for them. The started
    // program may take the foreground, so that its window does not open
    // behind the one the user clicked in.
    void Run(const std::wstring& strProgram, const std::wstring& strParameters, const std::wstring& strWorkingFolder);
    // Finds a running process whose module base name contains strModuleName
    // (without regard to case) and holds a handle to it with dwAccess added to
    // query and read rights.
    bool Attach(const std::wstring& strModuleName, DWORD dwAccess);
    static bool IsRunning(const std::wstring& strModuleName);
    // The wait's result (WAIT_OBJECT_0, WAIT_TIMEOUT, ...).
    DWORD Wait(DWORD dwMilliseconds);
    // STILL_ACTIVE (259) while it runs; throws 2005 when no process is held.
    DWORD GetExitCode();
    void Close();

    HANDLE GetProcessHandle() const { return m_hProcess.Get(); }

    // The full path of a process's executable; "" when it cannot be read
    // (the process has ended, or is not ours to look at).
    static std::wstring GetImagePath(DWORD dwProcessId);
    // True when hProcess's process is hAncestor's, or one that it started,
    // directly or through processes that it started. A parent must have been
    // created before its child: a process id that the system handed out again
    // after its process ended never counts as the parent. hProcess may have
    // ended (its handle keeps what is asked); an ended link between it and
    // the ancestor, that nobody holds any more, breaks the chain.
    static bool IsSelfOrDescendantOf(HANDLE hProcess, HANDLE hAncestor);

    // How processes are created: CreateProcessW, or a stand-in that tests
    // install to fail as a locked-down or elevation-requiring machine does
    // (nullptr puts CreateProcessW back).
    using CreateProcessFunction = decltype(&::CreateProcessW);
    static void SetCreateProcessFunction(CreateProcessFunction pfnCreate) noexcept;
    DWORD GetProcessId() const { return m_dwProcessId; }

private:
    void RunThroughShell(const std::wstring& strProgram, const std::wstring& strParameters,
                         const std::wstring& strWorkingFolder);

    CHKernelHandle m_hProcess;
    CHKernelHandle m_hThread;
    DWORD m_dwProcessId = 0;
    DWORD m_dwThreadId = 0;
};
