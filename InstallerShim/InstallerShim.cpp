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
// Stage one holds the instance lock and owns the never-shown marker window;
// it destroys the window before relaunching and ends at once, so the copy
// passes the same single-instance check. The exit code is always 0.
#include <windows.h>

#include <string>
#include <vector>

#include "InstallerShim/DeviceStaging.h"
#include "InstallerShim/FileDeleter.h"
#include "InstallerShim/InstallUtils.h"
#include "InstallerShim/StartupHardening.h"
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
        // Already registered (or not registrable): the check below still works.
        ::RegisterClassExW(&windowClass);
    } HCATCH
}

// True when no other launcher runs: the instance lock is ours (within the
// time-out) and no marker window exists. The lock stays held on success.
bool CheckSingleInstance(const wchar_t* pszClassName, bool bActivate)
{
    HTRY {
        g_instanceLock.Init(CHStringHelper::Format(L"CreatingWindow_%s", pszClassName), false);
        if (!g_instanceLock.Lock())
            return false;
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

// Stage one: relaunch a copy of this executable from %TEMP%.
void RelaunchFromTemp(const std::wstring& strExeDirectory, const std::wstring& strRemaining)
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
        CInstallUtils::CopyExeToTmpAndStart(strExecutable, strArguments, strWorkingFolder);
    } HCATCH
}

// Stage two: run the installer, then delete, start the autoruns or restart.
void RunInstaller(CFileDeleter& fileDeleter, std::wstring strRun, std::wstring strRunWorkingFolder,
                  const std::wstring& strDeleteList, const std::wstring& strRemaining)
{
    HTRY {
        const std::wstring strCurrentDirectory = CHFileUtilities::GetCurrentDirectoryW();
        strRun = CHFileUtilities::MakeAbsolutePath(strCurrentDirectory, strRun);
        strRunWorkingFolder = CHFileUtilities::MakeAbsolutePath(strCurrentDirectory, strRunWorkingFolder);

        CInstallUtils installUtils;
        bool bReboot = false;
        installUtils.RunInstallerAndGetAutorunInfo(strRun, strRemaining, strRunWorkingFolder, bReboot);

        if (installUtils.GetDeleteFiles() && !strDeleteList.empty())
            RunFileDeleter(fileDeleter, CHStringHelper::TokenizeString(strDeleteList, L";"), strCurrentDirectory,
                           installUtils.GetUILanguage());
        if (!bReboot)
            installUtils.StartAutoRuns();
        else
            CHSystem::ExitWindows(EWX_REBOOT);
    } HCATCH
}

// One run, after the device test: the single-instance check, then stage one or two.
void RunFromMedium(CFileDeleter& fileDeleter, const std::wstring& strExeDirectory, const std::wstring& strCommandLine)
{
    HTRY {
        RegisterMarkerWindowClass();
        if (!CheckSingleInstance(kMarkerWindowClass, false))
            return;
        CreateMarkerWindow();

        std::wstring strRun, strRunWorkingFolder, strDeleteList, strRemaining;
        CInstallUtils::ParseCommandLine(strCommandLine, strRun, strRunWorkingFolder, strDeleteList, strRemaining);
        if (strRun.empty())
            RelaunchFromTemp(strExeDirectory, strRemaining);
        else
            RunInstaller(fileDeleter, strRun, strRunWorkingFolder, strDeleteList, strRemaining);
    } HCATCH
}

// The one message box of a failed run, after the error is logged.
void ReportFailure(const CHException& e) noexcept
{
    try {
        CHLogging::Log({HLOG_ERROR, false}, L"%s\n", e.GetDescription(7).c_str());
        ::MessageBoxW(nullptr, e.GetDescription(0).c_str(), kMessageBoxCaption, MB_OK);
    } catch (...) {
        // Nothing is left to report to.
    }
}

} // namespace

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
                CHLogging::Log({HLOG_DEBUG, false}, L"Started from a device's memory (%s).\n",
                               strExeDirectory.c_str());
                StageFromDevice(bHandled);
            }
            if (!bHandled)
                RunFromMedium(g_fileDeleter, strExeDirectory, pszCommandLine ? pszCommandLine : L"");
        } HCATCH
    } catch (CHException& e) {
        ReportFailure(e);
    }
    // COM is not left initialised: the device path uninitialises it when it is done with the devices.
    return 0;
}
