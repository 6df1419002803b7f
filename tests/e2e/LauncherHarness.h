// What the launcher's end-to-end tests share: a medium folder of the test's
// own (the launcher, its "autorun.inf", the fake installer, recording
// autoruns), the launcher's log file, the processes a run leaves, the
// launcher's message box, and answers in the encodings an installer may use.
//
// The launcher's fixed names (pipe, instance lock, marker window, its copy in
// %TEMP%, the logging key) are shared by every launcher in the prefix, so the
// programs built from these tests take CTest resource locks and never run
// beside each other.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ProcessProbeRecord.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HUniqueHandle.h"
#include "TestSupport.h"

namespace e2e {

// Long enough for a prefix under load; a healthy run takes a few seconds.
constexpr DWORD g_dwChainTimeoutMs = 30000;

inline bool SamePath(const std::wstring& str1, const std::wstring& str2)
{
    return ::CompareStringOrdinal(str1.c_str(), static_cast<int>(str1.size()), str2.c_str(),
                                  static_cast<int>(str2.size()), TRUE) == CSTR_EQUAL;
}

// True when the path lies inside the folder (at any depth).
inline bool IsBelow(const std::wstring& strPath, const std::wstring& strFolder)
{
    const std::wstring strPrefix = strFolder + L"\\";
    return strPath.size() > strPrefix.size() && SamePath(strPath.substr(0, strPrefix.size()), strPrefix);
}

// Polls the condition every 50 ms until it holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD dwTimeoutMs)
{
    const ULONGLONG nDeadline = ::GetTickCount64() + dwTimeoutMs;
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount64() >= nDeadline)
            return false;
        ::Sleep(50);
    }
}

inline void CopyProgram(const std::wstring& strName, const std::wstring& strTarget)
{
    CHFileUtilities::BuildDirectory(CHFileUtilities::GetPathFromFilename(strTarget));
    ASSERT_TRUE(::CopyFileW((TestProgramFolder() + strName).c_str(), strTarget.c_str(), FALSE))
        << testing::PrintToString(strTarget) << " error " << ::GetLastError();
}

// Small files in as many folders, below strFolder (made too).
inline void WriteManyFiles(const std::wstring& strFolder, int nFolders, int nFilesEach)
{
    for (int nFolder = 0; nFolder < nFolders; ++nFolder) {
        const std::wstring strSub = strFolder + L"\\f" + std::to_wstring(nFolder);
        CHFileUtilities::BuildDirectory(strSub);
        for (int nFile = 0; nFile < nFilesEach; ++nFile)
            WriteFileBytes(strSub + L"\\" + std::to_wstring(nFile) + L".txt", "staged");
    }
}

// ---------------------------------------------------------------------------
// Stage one's copies of the launcher: each in a folder of its own below
// %TEMP%, "InstallerShim-" and 16 hexadecimal digits

inline std::vector<std::wstring> LauncherCopyFolders(std::wstring strTemp = CHFileUtilities::GetTempDirectory())
{
    std::vector<std::wstring> folders;
    CHFileUtilities::EnsurePathSeparatorAtEnd(strTemp, L"\\");
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strTemp + L"InstallerShim-*").c_str(), &data);
    for (BOOL bMore = hFind != INVALID_HANDLE_VALUE; bMore; bMore = ::FindNextFileW(hFind, &data))
        folders.push_back(strTemp + data.cFileName);
    if (hFind != INVALID_HANDLE_VALUE)
        ::FindClose(hFind);
    return folders;
}

inline std::vector<std::wstring> LauncherCopies(const std::wstring& strTemp = CHFileUtilities::GetTempDirectory())
{
    std::vector<std::wstring> copies;
    for (const std::wstring& strFolder : LauncherCopyFolders(strTemp))
        if (Exists(strFolder + L"\\InstallerShim.exe"))
            copies.push_back(strFolder + L"\\InstallerShim.exe");
    return copies;
}

inline bool IsLauncherCopy(const std::wstring& strImage)
{
    const std::wstring strPrefix = CHFileUtilities::GetTempDirectory() + L"InstallerShim-";
    return strImage.size() > strPrefix.size() && SamePath(strImage.substr(0, strPrefix.size()), strPrefix) &&
           SamePath(CHFileUtilities::GetFilenameFromPath(strImage), L"InstallerShim.exe");
}

// Removes every copy and its folder, waiting for a copy that is ending.
inline void RemoveLauncherCopies()
{
    for (const std::wstring& strFolder : LauncherCopyFolders()) {
        const std::wstring strCopy = strFolder + L"\\InstallerShim.exe";
        WaitUntil(
            [&] {
                ::SetFileAttributesW(strCopy.c_str(), FILE_ATTRIBUTE_NORMAL);
                return ::DeleteFileW(strCopy.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
            },
            5000);
        CTempFolder::RemoveTree(L"\\\\?\\" + strFolder);
    }
}

// ---------------------------------------------------------------------------
// Processes, found by the path of their executable

struct CRunningProcess
{
    DWORD dwProcessId = 0;
    std::wstring strImage;
};

inline std::wstring ImageOf(HANDLE hProcess)
{
    std::wstring strImage(32768, L'\0');
    DWORD cchImage = static_cast<DWORD>(strImage.size());
    if (!::QueryFullProcessImageNameW(hProcess, 0, strImage.data(), &cchImage))
        return std::wstring();
    strImage.resize(cchImage);
    return strImage;
}

using ImagePredicate = std::function<bool(const std::wstring&)>;

// Wine names a new process's image only once the process runs: its id is
// listed (into pUnnamed) a moment before its image can be tested.
inline std::vector<CRunningProcess> ProcessesWhere(const ImagePredicate& isWanted,
                                                   std::vector<DWORD>* pUnnamed = nullptr)
{
    std::vector<CRunningProcess> found;
    CHFileHandle hSnapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!hSnapshot)
        return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = ::Process32FirstW(hSnapshot.Get(), &entry); bMore;
         bMore = ::Process32NextW(hSnapshot.Get(), &entry)) {
        CHKernelHandle hProcess(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!hProcess || ::WaitForSingleObject(hProcess.Get(), 0) != WAIT_TIMEOUT)
            continue;
        std::wstring strImage = ImageOf(hProcess.Get());
        if (strImage.empty() && pUnnamed)
            pUnnamed->push_back(entry.th32ProcessID);
        else if (!strImage.empty() && isWanted(strImage))
            found.push_back({entry.th32ProcessID, strImage});
    }
    return found;
}

// Whether a process may still turn out to be wanted: one without an image
// counts for a short while after it was first seen, as a process that was
// started last (an autorun started as the launcher ends) looks at first.
class CJustStartedProcesses
{
public:
    bool AnyAmong(const std::vector<DWORD>& unnamed)
    {
        const ULONGLONG nNow = ::GetTickCount64();
        bool bAny = false;
        for (DWORD dwId : unnamed)
            bAny |= nNow - m_firstSeen.try_emplace(dwId, nNow).first->second < 2000;
        return bAny;
    }

private:
    std::map<DWORD, ULONGLONG> m_firstSeen;
};

inline bool WaitUntilNoProcess(const ImagePredicate& isWanted, DWORD dwTimeoutMs)
{
    CJustStartedProcesses justStarted;
    return WaitUntil(
        [&] {
            std::vector<DWORD> unnamed;
            return ProcessesWhere(isWanted, &unnamed).empty() && !justStarted.AnyAmong(unnamed);
        },
        dwTimeoutMs);
}

// Ends what is still running; returns the images it had to end.
inline std::vector<std::wstring> TerminateProcesses(const ImagePredicate& isWanted)
{
    std::vector<std::wstring> ended;
    for (const CRunningProcess& process : ProcessesWhere(isWanted)) {
        CHKernelHandle hProcess(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.dwProcessId));
        if (hProcess && ::TerminateProcess(hProcess.Get(), 99)) {
            ::WaitForSingleObject(hProcess.Get(), 5000);
            ended.push_back(process.strImage);
        }
    }
    return ended;
}

// Starts a program with the test's environment; the handle, or an invalid one (a test failure).
inline CHKernelHandle StartProgram(const std::wstring& strProgram, const std::wstring& strArguments,
                                   const std::wstring& strWorkingFolder = std::wstring())
{
    std::wstring strCommand = L"\"" + strProgram + L"\"";
    if (!strArguments.empty())
        strCommand += L" " + strArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(strProgram.c_str(), strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          strWorkingFolder.empty() ? nullptr : strWorkingFolder.c_str(), &startup, &info)) {
        ADD_FAILURE() << "could not start " << testing::PrintToString(strCommand) << ": error " << ::GetLastError();
        return CHKernelHandle();
    }
    ::CloseHandle(info.hThread);
    return CHKernelHandle(info.hProcess);
}

// The exit code once the process has ended; nothing when it is still running after the time-out.
inline std::optional<DWORD> ExitCodeAfter(const CHKernelHandle& hProcess, DWORD dwTimeoutMs)
{
    if (!hProcess || ::WaitForSingleObject(hProcess.Get(), dwTimeoutMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD dwExitCode = 0;
    ::GetExitCodeProcess(hProcess.Get(), &dwExitCode);
    return dwExitCode;
}

// ---------------------------------------------------------------------------
// Top-level windows, and the launcher's message box among them: a dialog-class
// window captioned "Installer"

struct CTopLevelWindow
{
    HWND hWnd = nullptr;
    DWORD dwProcessId = 0;
    std::wstring strClass, strTitle;
};

// Every top-level window, shown or not.
inline std::vector<CTopLevelWindow> TopLevelWindows()
{
    std::vector<CTopLevelWindow> windows;
    ::EnumWindows(
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            CTopLevelWindow window;
            window.hWnd = hWnd;
            ::GetWindowThreadProcessId(hWnd, &window.dwProcessId);
            wchar_t szText[256] = {};
            window.strClass.assign(szText, ::GetClassNameW(hWnd, szText, 256));
            window.strTitle.assign(szText, ::GetWindowTextW(hWnd, szText, 256));
            reinterpret_cast<std::vector<CTopLevelWindow>*>(lParam)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

inline std::optional<CTopLevelWindow> FindInstallerMessageBox(const std::function<bool(DWORD)>& isOwner)
{
    for (const CTopLevelWindow& window : TopLevelWindows())
        if (window.strClass == L"#32770" && window.strTitle == L"Installer" && isOwner(window.dwProcessId))
            return window;
    return std::nullopt;
}

// The text of a message box: its static control has the id 0xFFFF.
inline std::wstring MessageBoxText(HWND hWnd)
{
    std::wstring strText(8192, L'\0');
    strText.resize(::GetDlgItemTextW(hWnd, 0xFFFF, strText.data(), static_cast<int>(strText.size())));
    return strText;
}

// Presses the OK button (posted: the box's thread answers when it can).
inline void DismissMessageBox(HWND hWnd)
{
    ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

inline int TopLevelWindowsOf(DWORD dwProcessId)
{
    int nWindows = 0;
    for (const CTopLevelWindow& window : TopLevelWindows())
        nWindows += window.dwProcessId == dwProcessId ? 1 : 0;
    return nWindows;
}

// A user of a dialog: from a thread of its own, waits for a top-level window
// with the title and acts on it once act(window) says it has (it may wait for
// the dialog to reach a state first). Gives up after the time-out, and stops
// when it goes.
class CDialogUser
{
public:
    CDialogUser(std::wstring strTitle, std::function<bool(HWND)> act, DWORD dwTimeoutMs = g_dwChainTimeoutMs)
        : m_thread([this, strTitle = std::move(strTitle), act = std::move(act), dwTimeoutMs] {
              const ULONGLONG nDeadline = ::GetTickCount64() + dwTimeoutMs;
              while (!m_bStop && ::GetTickCount64() < nDeadline) {
                  for (const CTopLevelWindow& window : TopLevelWindows())
                      if (window.strTitle == strTitle && act(window.hWnd)) {
                          m_bActed = true;
                          return;
                      }
                  ::Sleep(10);
              }
          })
    {
    }
    ~CDialogUser()
    {
        m_bStop = true;
        m_thread.join();
    }
    CDialogUser(const CDialogUser&) = delete;
    CDialogUser& operator=(const CDialogUser&) = delete;

    bool Acted() const { return m_bActed; }

private:
    std::atomic<bool> m_bStop{false}, m_bActed{false};
    std::thread m_thread;
};

inline std::wstring ControlText(HWND hDialog, int nId)
{
    wchar_t szText[1024] = {};
    ::GetDlgItemTextW(hDialog, nId, szText, 1024);
    return szText;
}

inline bool IsControlShown(HWND hDialog, int nId)
{
    return (::GetWindowLongW(::GetDlgItem(hDialog, nId), GWL_STYLE) & WS_VISIBLE) != 0;
}

// ---------------------------------------------------------------------------
// Answers as an installer may encode them

inline std::string Utf16BeWithMark(const std::wstring& strText)
{
    std::string bytes("\xFE\xFF", 2);
    for (wchar_t ch : strText) {
        bytes += static_cast<char>((ch >> 8) & 0xFF);
        bytes += static_cast<char>(ch & 0xFF);
    }
    return bytes;
}

inline std::string Utf8(const std::wstring& strText, bool bMark)
{
    std::string bytes(::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                            nullptr, nullptr),
                      '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr);
    return bMark ? "\xEF\xBB\xBF" + bytes : bytes;
}

// ---------------------------------------------------------------------------
// The launcher's log file, configured in the user's registry while it lives

class CLauncherLog
{
public:
    static constexpr wchar_t Key[] = L"Software\\Halvik\\Logging\\Halvik software";

    explicit CLauncherLog(std::wstring strFile) : m_strFile(std::move(strFile))
    {
        m_bKeyExisted = ::RegOpenKeyExW(HKEY_CURRENT_USER, Key, 0, KEY_READ, &m_hPrevious) == ERROR_SUCCESS;
        m_previousLevel = ReadValue(L"FileLogLevel");
        m_previousFile = ReadValue(L"File");
        HKEY hKey = nullptr;
        EXPECT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        const DWORD dwDebug = 4;
        ::RegSetValueExW(hKey, L"FileLogLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwDebug), sizeof(dwDebug));
        ::RegSetValueExW(hKey, L"File", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_strFile.c_str()),
                         static_cast<DWORD>((m_strFile.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(hKey);
    }
    ~CLauncherLog()
    {
        if (!m_bKeyExisted) {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, Key);
        } else {
            Restore(L"FileLogLevel", m_previousLevel);
            Restore(L"File", m_previousFile);
            ::RegCloseKey(m_hPrevious);
        }
        ::DeleteFileW(m_strFile.c_str());
        ::DeleteFileW((m_strFile + L"_old").c_str());
    }
    CLauncherLog(const CLauncherLog&) = delete;
    CLauncherLog& operator=(const CLauncherLog&) = delete;

    std::wstring Text() const
    {
        try {
            return CHFileUtilities::ReadTextFile(m_strFile, HTEXT_ENCODING_ANSI);
        } catch (CHException&) {
            return std::wstring();
        }
    }
    // The log's lines (without their line ends) that contain every one of the parts.
    std::vector<std::wstring> LinesWith(std::initializer_list<std::wstring> parts) const
    {
        std::vector<std::wstring> lines;
        const std::wstring strText = Text();
        for (size_t nPos = 0; nPos < strText.size();) {
            size_t nEnd = strText.find(L'\n', nPos);
            nEnd = nEnd == std::wstring::npos ? strText.size() : nEnd;
            std::wstring strLine = strText.substr(nPos, nEnd - nPos);
            nPos = nEnd + 1;
            if (!strLine.empty() && strLine.back() == L'\r')
                strLine.pop_back();
            bool bAll = true;
            for (const std::wstring& strPart : parts)
                bAll = bAll && strLine.find(strPart) != std::wstring::npos;
            if (bAll)
                lines.push_back(strLine);
        }
        return lines;
    }
    const std::wstring& File() const { return m_strFile; }

private:
    struct CValue
    {
        DWORD dwType = 0;
        std::vector<BYTE> data;
    };
    std::optional<CValue> ReadValue(const wchar_t* pszName) const
    {
        if (!m_bKeyExisted)
            return std::nullopt;
        CValue value;
        DWORD cbData = 0;
        if (::RegQueryValueExW(m_hPrevious, pszName, nullptr, &value.dwType, nullptr, &cbData) != ERROR_SUCCESS)
            return std::nullopt;
        value.data.resize(cbData);
        ::RegQueryValueExW(m_hPrevious, pszName, nullptr, &value.dwType, value.data.data(), &cbData);
        return value;
    }
    static void Restore(const wchar_t* pszName, const std::optional<CValue>& value)
    {
        HKEY hKey = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, Key, 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
            return;
        if (value)
            ::RegSetValueExW(hKey, pszName, 0, value->dwType, value->data.data(),
                             static_cast<DWORD>(value->data.size()));
        else
            ::RegDeleteValueW(hKey, pszName);
        ::RegCloseKey(hKey);
    }

    std::wstring m_strFile;
    bool m_bKeyExisted = false;
    HKEY m_hPrevious = nullptr;
    std::optional<CValue> m_previousLevel, m_previousFile;
};

// ---------------------------------------------------------------------------
// A medium folder: the launcher, the fake installer as Setup\HalvikInstaller.exe
// beside the sample skin (the wait dialog's look in the installer's working
// folder), a recording autorun (ProcessProbe.exe) as Apps\Probe.exe, and
// files staged for deletion in Staged

class CMedium
{
public:
    explicit CMedium(std::wstring strFolder) : m_strFolder(std::move(strFolder))
    {
        CopyProgram(L"InstallerShim.exe", Launcher());
        CopyProgram(L"FakeInstaller.exe", Installer());
        CopyProgram(L"ProcessProbe.exe", Probe());
        CopyTree(TestProgramFolder() + L"skin", Path(L"Setup"));
        StageFiles();
    }

    // (Again) a few files in Staged, the folder that stage two's delete list names.
    void StageFiles(int nFolders = 2, int nFilesEach = 2) const { WriteManyFiles(Staged(), nFolders, nFilesEach); }
    std::wstring Staged() const { return Path(L"Staged"); }

    const std::wstring& Folder() const { return m_strFolder; }
    std::wstring Path(const std::wstring& strRelative) const { return m_strFolder + L"\\" + strRelative; }
    std::wstring Launcher() const { return Path(L"InstallerShim.exe"); }
    std::wstring Installer() const { return Path(L"Setup\\HalvikInstaller.exe"); }
    std::wstring Probe() const { return Path(L"Apps\\Probe.exe"); }
    // The installer's mark that it was started (whatever its arguments).
    bool InstallerStarted() const { return Exists(Installer() + L".started"); }

    void WriteAutorunInf(const std::string& strText) const { WriteFileBytes(Path(L"autorun.inf"), strText); }

    // The stage-two command line that runs this medium's installer in its
    // Setup folder and may delete Staged (or the list given) below the
    // medium, followed by the installer's own options.
    std::wstring StageTwoArguments(const std::wstring& strInstallerOptions,
                                   const std::wstring& strDeleteList = std::wstring(),
                                   const std::wstring& strMediumFolder = std::wstring()) const
    {
        return L"/run=\"" + Installer() + L"\" /runWorkingFolder=\"" + Path(L"Setup") + L"\" /deleteAfterInstall=\"" +
               (strDeleteList.empty() ? Staged() : strDeleteList) + L"\" /mediumFolder=\"" +
               (strMediumFolder.empty() ? m_strFolder : strMediumFolder) + L"\\\" " + strInstallerOptions;
    }

private:
    std::wstring m_strFolder;
};

// ---------------------------------------------------------------------------
// The fixture: a folder of the test's own with a medium, records and the log;
// whatever a test leaves running below it (or as the launcher's copy in
// %TEMP%) is ended, and the folder removed, when the test ends.

class CLauncherTest : public testing::Test
{
protected:
    CLauncherTest() : m_root(L"e2e"), m_log(m_root / L"launcher.log")
    {
        ::CreateDirectoryW((m_root / L"records").c_str(), nullptr);
    }
    ~CLauncherTest() override
    {
        const std::vector<std::wstring> left =
            TerminateProcesses([this](const std::wstring& strImage) { return IsOurs(strImage); });
        EXPECT_TRUE(left.empty()) << "processes left behind: " << testing::PrintToString(left);
        RemoveLauncherCopies();
    }

    void TearDown() override
    {
        if (HasFailure())
            std::wcout << L"launcher log:\n" << m_log.Text() << std::endl;
    }

    // Launchers of this test (below its folder, or a copy in %TEMP%) and
    // the programs they started from the medium.
    bool IsOurs(const std::wstring& strImage) const
    {
        return IsBelow(strImage, m_root.Path()) || IsLauncherCopy(strImage);
    }
    bool WaitForTheChainToEnd(DWORD dwTimeoutMs = g_dwChainTimeoutMs) const
    {
        return WaitUntilNoProcess([this](const std::wstring& strImage) { return IsOurs(strImage); }, dwTimeoutMs);
    }

    std::wstring Record(const std::wstring& strName) const { return m_root / (L"records\\" + strName); }
    // Writes an answer file and gives the installer options that send it.
    std::wstring AnswerOption(const std::string& bytes, const std::wstring& strName = L"answer.bin") const
    {
        WriteFileBytes(Record(strName), bytes);
        return L"/answer=" + Record(strName);
    }
    // An autorun line that starts the medium's probe, recording into the named file.
    std::wstring ProbeAutorun(const CMedium& medium, const std::wstring& strRecord,
                              const std::wstring& strMore = L"") const
    {
        return L"autorun=" + medium.Probe() + L" /out=" + Record(strRecord) + strMore + L"\n";
    }
    // The probe's record once it appears (it is written whole).
    std::optional<CProcessProbeRecord> AwaitRecord(const std::wstring& strName,
                                                   DWORD dwTimeoutMs = g_dwChainTimeoutMs) const
    {
        const std::wstring strPath = Record(strName);
        if (!WaitUntil([&] { return Exists(strPath); }, dwTimeoutMs))
            return std::nullopt;
        return ReadProcessProbeRecord(strPath);
    }

    // What one start of the launcher led to, watched until every process of
    // the test had ended: "Installer" message boxes of any launcher of the
    // test are read and dismissed as they appear.
    struct CChainRun
    {
        std::optional<DWORD> launcherExit;      // of the launcher the test started
        double dLauncherSeconds = 0;            // from its start to its end
        bool bChainEnded = false;               // every process of the test ended in time
        std::vector<std::wstring> boxTexts;     // the message boxes, in order
        std::vector<DWORD> otherLauncherExits;  // of the other launchers seen (the copy in %TEMP%)
    };
    CChainRun RunChain(const std::wstring& strLauncher, const std::wstring& strArguments,
                       const std::wstring& strWorkingFolder = std::wstring(), DWORD dwTimeoutMs = g_dwChainTimeoutMs)
    {
        CChainRun run;
        const ULONGLONG nStart = ::GetTickCount64();
        CHKernelHandle hLauncher = StartProgram(strLauncher, strArguments, strWorkingFolder);
        if (!hLauncher)
            return run;
        const DWORD dwLauncherId = ::GetProcessId(hLauncher.Get());
        std::map<DWORD, CHKernelHandle> otherLaunchers;
        std::set<HWND> dismissed;
        CJustStartedProcesses justStarted;
        const ULONGLONG nDeadline = nStart + dwTimeoutMs;
        for (;;) {
            if (!run.launcherExit && ::WaitForSingleObject(hLauncher.Get(), 0) == WAIT_OBJECT_0) {
                run.launcherExit = ExitCodeAfter(hLauncher, 0);
                run.dLauncherSeconds = static_cast<double>(::GetTickCount64() - nStart) / 1000.0;
            }
            std::set<DWORD> ours = {dwLauncherId};
            std::vector<DWORD> unnamed;
            for (const CRunningProcess& process :
                 ProcessesWhere([this](const std::wstring& strImage) { return IsOurs(strImage); }, &unnamed)) {
                ours.insert(process.dwProcessId);
                if (process.dwProcessId != dwLauncherId && IsLauncherImage(process.strImage) &&
                    !otherLaunchers.count(process.dwProcessId))
                    otherLaunchers[process.dwProcessId] = CHKernelHandle(
                        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, process.dwProcessId));
            }
            if (auto box = FindInstallerMessageBox([&](DWORD dwOwner) { return ours.count(dwOwner) != 0; });
                box && dismissed.insert(box->hWnd).second) {
                run.boxTexts.push_back(MessageBoxText(box->hWnd));
                DismissMessageBox(box->hWnd);
            }
            if (run.launcherExit && ours.size() == 1 && !justStarted.AnyAmong(unnamed) &&
                ::WaitForSingleObject(hLauncher.Get(), 0) == WAIT_OBJECT_0) {
                run.bChainEnded = true;
                break;
            }
            if (::GetTickCount64() >= nDeadline)
                break;
            ::Sleep(50);
        }
        for (auto& [dwId, hProcess] : otherLaunchers)
            if (auto dwExit = ExitCodeAfter(hProcess, 0))
                run.otherLauncherExits.push_back(*dwExit);
        return run;
    }
    // Stage two as stage one starts it: in the installer's working folder,
    // which holds the skin of the wait dialog.
    CChainRun RunStageTwo(const CMedium& medium, const std::wstring& strInstallerOptions,
                          const std::wstring& strDeleteList = std::wstring(),
                          const std::wstring& strWorkingFolder = std::wstring(),
                          const std::wstring& strMediumFolder = std::wstring())
    {
        return RunChain(medium.Launcher(),
                        medium.StageTwoArguments(strInstallerOptions, strDeleteList, strMediumFolder),
                        strWorkingFolder.empty() ? medium.Path(L"Setup") : strWorkingFolder);
    }
    bool IsLauncherImage(const std::wstring& strImage) const
    {
        return SamePath(CHFileUtilities::GetFilenameFromPath(strImage), L"InstallerShim.exe");
    }

    CTempFolder m_root;
    CLauncherLog m_log;
};

}  // namespace e2e
