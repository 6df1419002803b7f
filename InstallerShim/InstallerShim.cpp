// Entry point of the installer launcher. One start is one of three runs:
//
//   device path  started from a phone's memory (below %TEMP%\WPDNSE): the
//                install files are staged from the device;
//   stage one    started from the medium without "/run=": the launcher copies
//                itself into %TEMP% and relaunches the copy with the
//                installer, its working folder and the files to delete;
//   stage two    the copy, with "/run=": it runs the installer, takes its
//                answer from the pipe, deletes the staged files behind a
//                wait dialog when the answer allows it, then starts the
//                autoruns or restarts Windows (exit code 3010).
//
// Every run holds the instance lock while it works, and stages one and two
// own the never-shown marker window. Stage one destroys the window before it
// relaunches and gives the lock back as soon as its copy has started, so the
// copy passes the same single-instance check (it waits up to 10 s for the
// lock: a slow exit of stage one is no second launcher). The main thread
// answers messages while it waits (for the installer, its answer, the
// deletion), so that a program broadcasting a setting change is never
// blocked by it. The exit code is always 0.
#include <windows.h>

#include <string>
#include <vector>

#include "InstallerShim/DeviceStaging.h"
#include "InstallerShim/FileDeleter.h"
#include "InstallerShim/InstallUtils.h"
#include "InstallerShim/StartupHardening.h"
#include "RAde/DEVEDar/HWindowClass.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HMutexLock.h"
#include "RAde/HStringHelper.h"
#include "RAde/HSystem.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr wchar_t kMarkerWindowClass[] = L"HUIL InstallerShim";
constexpr wchar_t kMessageBoxCaption[] = L"Installer";
constexpr DWORD kInstanceLockWaitMs = 500;
// Stage one's copy waits this long for stage one to give the lock back.
constexpr DWORD kCopysInstanceLockWaitMs = 10000;

// The instance lock, taken once and held until the process ends. A second
// launcher waits for it at most half a second.
class CInstanceLock : public CHMutexLock
{
public:
    CInstanceLock() { SetTimeout(kInstanceLockWaitMs); }
};
CInstanceLock g_instanceLock;

// The never-shown window by which a later start sees that a launcher runs.
CHWindowHandle g_markerWindow;

// The marker class is the system dialog class under the launcher's own name.
void RegisterMarkerWindowClass()
{
    HTRY {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), L"#32770", &windowClass))
            return;
        windowClass.lpszClassName = kMarkerWindowClass;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        // Not registrable: the check below still works.
        RegisterWindowClass(windowClass);
    } HCATCH
}

// True when no other launcher runs: the instance lock is ours (within the
// time-out; a lock this run holds already counts) and no marker window
// exists. The lock stays held on success.
bool CheckSingleInstance(const wchar_t* pszClassName, bool bActivate)
{
    HTRY {
        if (!g_instanceLock.IsOwned()) {
            g_instanceLock.Init(CHStringHelper::Format(L"CreatingWindow_%s", pszClassName), false);
            if (!g_instanceLock.Lock())
                return false;
        }
        HWND hExisting = ::FindWindowW(pszClassName, nullptr);
        if (!hExisting)
            return true;
        if (bActivate) {
            if (!::IsWindowVisible(hExisting))
                ::ShowWindow(hExisting, SW_SHOW);
            if (::IsIconic(hExisting))
                ::ShowWindow(hExisting, SW_RESTORE);
            ::SetForegroundWindow(hExisting);
        }
        return false;
    } HCATCH
}

void CreateMarkerWindow()
{
    HTRY {
        g_markerWindow.Reset(::CreateWindowExW(0, kMarkerWindowClass, kMarkerWindowClass, 0, CW_USEDEFAULT,
                                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                               ::GetModuleHandleW(nullptr), nullptr));
    } HCATCH
}

// The copy must pass its own single-instance check.
void DestroyMarkerWindow()
{
    HTRY {
        if (g_markerWindow && ::DestroyWindow(g_markerWindow.Get()))
            g_markerWindow.Detach();
    } HCATCH
}

// What stage two's command line names: the installer, its working folder,
// the staged paths and the medium they lie below, and the installer's own
// arguments.
struct CStageTwoLine
{
    std::wstring strRun, strRunWorkingFolder, strDeleteList, strRemaining, strMediumFolder;
};

CStageTwoLine ParseStageTwoLine(const std::wstring& strCommandLine)
{
    HTRY {
        CStageTwoLine line;
        CInstallUtils::ParseCommandLine(strCommandLine, line.strRun, line.strRunWorkingFolder, line.strDeleteList,
                                        line.strRemaining, &line.strMediumFolder);
        return line;
    } HCATCH
}

void RunInstaller(CFileDeleter& fileDeleter, CStageTwoLine line);

// Where policy forbids programs in %TEMP%, this process does the copy's part
// itself: it becomes stage two with the relaunch arguments, in the working folder.
void RunStageTwoInPlace(CFileDeleter& fileDeleter, const std::wstring& strArguments,
                        const std::wstring& strWorkingFolder)
{
    HTRY {
        CHLogging::LogWarning(
            L"Starting programs from %%TEMP%% is not allowed here; the installer runs from %s with %s.\n",
            strWorkingFolder.c_str(), strArguments.c_str());
        CreateMarkerWindow();
        std::wstring strFolder = strWorkingFolder;
        CInstallUtils::EnsureNoTrailingSeparator(strFolder);
        HCHECK_WIN32(::SetCurrentDirectoryW(strFolder.c_str()), .AddValue(L"Directory", strFolder));
        RunInstaller(fileDeleter, ParseStageTwoLine(strArguments));
    } HCATCH
}

// Stage one: relaunch a copy of this executable from %TEMP%.
void RelaunchFromTemp(CFileDeleter& fileDeleter, const std::wstring& strExeDirectory, const std::wstring& strRemaining)
{
    HTRY {
        std::wstring strWorkingFolder, strArguments;
        CInstallUtils::ReadAutorunInf(strWorkingFolder, strArguments);
        if (!strRemaining.empty()) {
            if (!strArguments.empty())
                strArguments += L" ";
            strArguments += strRemaining;
        }
        DestroyMarkerWindow();
        const std::wstring strExecutable =
            CHFileUtilities::MakeAbsolutePath(strExeDirectory, CHFileUtilities::GetExeFile());
        bool bStartRefused = false;
        if (CInstallUtils::CopyExeToTmpAndStart(strExecutable, strArguments, strWorkingFolder, &bStartRefused))
            g_instanceLock.Unlock();  // the copy takes over at once
        else if (bStartRefused)
            RunStageTwoInPlace(fileDeleter, strArguments, strWorkingFolder);
    } HCATCH
}

// Stage two: run the installer, then delete, start the autoruns or restart.
void RunInstaller(CFileDeleter& fileDeleter, CStageTwoLine line)
{
    HTRY {
        const std::wstring strCurrentDirectory = CHFileUtilities::GetCurrentDirectoryW();
        line.strRun = CHFileUtilities::MakeAbsolutePath(strCurrentDirectory, line.strRun);
        line.strRunWorkingFolder = CHFileUtilities::MakeAbsolutePath(strCurrentDirectory, line.strRunWorkingFolder);

        CInstallUtils installUtils;
        bool bReboot = false;
        installUtils.RunInstallerAndGetAutorunInfo(line.strRun, line.strRemaining, line.strRunWorkingFolder, bReboot);

        // A line without the medium's folder (written by hand) is taken to
        // come from the current directory.
        const CStagingFolders folders = {
            line.strMediumFolder.empty() ? strCurrentDirectory
                                         : CHFileUtilities::MakeAbsolutePath(strCurrentDirectory, line.strMediumFolder),
            line.strRunWorkingFolder};
        if (installUtils.GetDeleteFiles() && !line.strDeleteList.empty())
            RunFileDeleter(fileDeleter, CHStringHelper::TokenizeString(line.strDeleteList, L";"), strCurrentDirectory,
                           installUtils.GetUILanguage(), folders);
        switch (CInstallUtils::WhatFollowsExitCode(installUtils.GetInstallerExitCode())) {
        case CInstallUtils::CAfterInstaller::Nothing:
            CHLogging::LogInfo(L"The installer has started a restart itself (exit code 1641): no autoruns, no second "
                               L"restart.\n");
            break;
        case CInstallUtils::CAfterInstaller::Autoruns:
            installUtils.StartAutoRuns();
            break;
        case CInstallUtils::CAfterInstaller::Restart:
            CHSystem::ExitWindows(EWX_REBOOT);
            break;
        }
    } HCATCH
}

// One run, after the device test: the single-instance check, then stage one or two.
void RunFromMedium(CFileDeleter& fileDeleter, const std::wstring& strExeDirectory, const std::wstring& strCommandLine)
{
    HTRY {
        const CStageTwoLine line = ParseStageTwoLine(strCommandLine);
        RegisterMarkerWindowClass();
        g_instanceLock.SetTimeout(line.strRun.empty() ? kInstanceLockWaitMs : kCopysInstanceLockWaitMs);
        if (!CheckSingleInstance(kMarkerWindowClass, false))
            return;
        CreateMarkerWindow();

        if (line.strRun.empty())
            RelaunchFromTemp(fileDeleter, strExeDirectory, line.strRemaining);
        else
            RunInstaller(fileDeleter, line);
    } HCATCH
}

// The one message box of a failed run, after the error is logged.
void ReportFailure(const CHException& e) noexcept
{
    try {
        CHLogging::LogError(L"%s\n", e.GetDescription(CHException::DescribeEverything).c_str());
        ::MessageBoxW(nullptr, e.GetDescription(CHException::DescribeNewest).c_str(), kMessageBoxCaption, MB_OK);
    } catch (...) {
        // Nothing is left to report to.
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR pszCommandLine, int)
{
    RestrictDllSearchToSystemFolder();
    static CFileDeleter g_fileDeleter;
    try {
        HTRY {
            const std::wstring strExeDirectory = CHFileUtilities::GetExeDirectory();
            // A device that offered no install files sends the run on as one from the medium.
            bool bHandled = IsStartedFromDevice(strExeDirectory);
            if (bHandled) {
                CHLogging::LogDebug(L"Started from a device's memory (%s).\n", strExeDirectory.c_str());
                // A double click on the phone's file stages once.
                RegisterMarkerWindowClass();
                if (!CheckSingleInstance(kMarkerWindowClass, false))
                    return 0;
                StageFromDevice(bHandled);
            }
            if (!bHandled)
                RunFromMedium(g_fileDeleter, strExeDirectory, pszCommandLine ? pszCommandLine : L"");
        } HCATCH
    } catch (CHException& e) {
        ReportFailure(e);
    }
    // A deletion still running keeps the process, answering messages meanwhile.
    try {
        g_fileDeleter.WaitUntilWorkerEnds();
    } catch (CHException& e) {
        CHLogging::LogError(L"%s\n", e.GetDescription(CHException::DescribeEverything).c_str());
    }
    // COM is not left initialised: the device path uninitialises it when it is done with the devices.
    return 0;
}
