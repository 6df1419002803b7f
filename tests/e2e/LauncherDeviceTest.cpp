// The launcher started by the portable-device shell: the real
// InstallerShim.exe under Wine, run from a folder below %TEMP%\WPDNSE, with
// the simulated phone registered and showing folders of the test's own as
// devices. The tests look at what the run leaves: the files staged in %TEMP%,
// which installer was started from where, the launcher's log and message
// boxes, the phone's record of how it was opened, and whether the run went
// on as one from the medium (stage one's relaunch, which runs the fake
// installer that the test puts beside the launcher).
//
// The staged files in %TEMP%, the launcher's fixed names and the phone's
// configuration are shared by every launcher in the prefix: these tests take
// resource locks and clean %TEMP% before and after each test.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "LauncherHarness.h"
#include "RAde/HException.h"
#include "SimulatedPhone/SimulatedPhoneConfig.h"

using namespace e2e;

namespace {

constexpr wchar_t kInstallFolder[] = L"Halvik_Ulvo_Suite_install_files";
constexpr wchar_t kDialogTitle[] = L"Preparing installation";
constexpr char kAutorunText[] = "[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\n";

using Strings = std::vector<std::wstring>;
// A folder tree: relative path -> content, "<folder>" for a folder.
using Tree = std::map<std::wstring, std::string>;
constexpr char kFolderMark[] = "<folder>";

Tree TreeOf(const std::wstring& strFolder, const std::wstring& strPrefix = std::wstring())
{
    Tree tree;
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strFolder + L"\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return tree;
    do {
        const std::wstring strName = data.cFileName;
        if (strName == L"." || strName == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[strPrefix + strName] = kFolderMark;
            tree.merge(TreeOf(strFolder + L"\\" + strName, strPrefix + strName + L"\\"));
        } else {
            tree[strPrefix + strName] = ReadFileBytes(strFolder + L"\\" + strName);
        }
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    return tree;
}

// The names in a folder (not below it) as the file system spells them.
std::set<std::wstring> NamesIn(const std::wstring& strFolder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW((strFolder + L"\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::wstring(data.cFileName) != L"." && std::wstring(data.cFileName) != L"..")
            names.insert(data.cFileName);
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    return names;
}

// A tree without the marks the fake installer leaves beside itself.
Tree WithoutStartMarks(Tree tree)
{
    std::erase_if(tree, [](const auto& entry) { return entry.first.ends_with(L".started"); });
    return tree;
}

// Bytes of some length that differ from file to file.
std::string Content(const std::wstring& strSeed, size_t nSize)
{
    std::string bytes(nSize, '\0');
    uint32_t nState = 2166136261u;
    for (wchar_t ch : strSeed)
        nState = (nState ^ ch) * 16777619u;
    for (char& ch : bytes) {
        nState = nState * 1664525u + 1013904223u;
        ch = static_cast<char>(nState >> 24);
    }
    return bytes;
}

// What one start of the launcher led to, watched until every process of the
// test had ended.
struct CDeviceRun
{
    std::optional<DWORD> launcherExit;
    bool bChainEnded = false;            // every process of the test ended in time
    std::vector<std::wstring> boxTexts;  // the "Installer" message boxes, in order
    bool bDialogSeen = false;            // the launcher showed its "Preparing installation" window
    bool bDialogWithBox = false;         // ... while one of its message boxes was up
    SIZE_T cbPeakWorkingSet = 0;         // the launcher's, as last seen while it ran
    double dSeconds = 0;                 // from the start until the chain had ended
};

class CDeviceLauncherTest : public testing::Test
{
protected:
    CDeviceLauncherTest()
        : m_root(L"e2edev"), m_log(m_root / L"launcher.log"), m_strTemp(CHFileUtilities::GetTempDirectory()),
          m_strCache(m_strTemp + L"WPDNSE\\" + CHFileUtilities::GetFilenameFromPath(UniqueTempPath(L"device_cache"))),
          m_medium(m_strCache)
    {
        RemoveStagedFiles();
        EXPECT_EQ(SimulatedPhone::ResetConfiguration(), ERROR_SUCCESS);
        EXPECT_EQ(SimulatedPhone::RegisterServer(TestProgramFolder() + L"SimulatedPhone.dll"), ERROR_SUCCESS);
    }
    ~CDeviceLauncherTest() override
    {
        const std::vector<std::wstring> left =
            TerminateProcesses([this](const std::wstring& strImage) { return IsOurs(strImage); });
        EXPECT_TRUE(left.empty()) << "processes left behind: " << testing::PrintToString(left);
        RemoveStagedFiles();
        CTempFolder::RemoveTree(L"\\\\?\\" + m_strCache);
        ::RemoveDirectoryW((m_strTemp + L"WPDNSE").c_str());  // when no other test uses it
        SimulatedPhone::ResetConfiguration();
        SimulatedPhone::UnregisterServer();
    }
    void TearDown() override
    {
        if (HasFailure())
            std::wcout << L"launcher log:\n" << m_log.Text() << std::endl;
    }

    // ---- The phone

    // A folder of the test's own that the phone can show as a device's storage.
    std::wstring PhoneFolder(const std::wstring& strName) const
    {
        const std::wstring strFolder = m_root / strName;
        CHFileUtilities::BuildDirectory(strFolder);
        return strFolder;
    }
    // "autorun.inf" and the install-files folder, with the fake installer as
    // HalvikInstaller.exe, under the names given.
    void AddInstallFiles(const std::wstring& strPhone, const std::wstring& strAutorun = L"autorun.inf",
                         const std::wstring& strFolder = kInstallFolder,
                         const std::wstring& strInstaller = L"HalvikInstaller.exe") const
    {
        WriteFileBytes(strPhone + L"\\" + strAutorun, kAutorunText);
        CopyProgram(L"FakeInstaller.exe", strPhone + L"\\" + strFolder + L"\\" + strInstaller);
    }
    static void WriteText(const std::wstring& strPath, const std::string& strText)
    {
        CHFileUtilities::BuildDirectory(CHFileUtilities::GetPathFromFilename(strPath));
        WriteFileBytes(strPath, strText);
    }
    static void ShowDevices(const Strings& folders) { ASSERT_EQ(SimulatedPhone::SetDevices(folders), ERROR_SUCCESS); }
    static Strings OpenLog() { return SimulatedPhone::ReadStrings(SimulatedPhone::kOpenLogValue); }

    // ---- What a run left

    std::wstring Staged(const std::wstring& strRelative) const { return m_strTemp + strRelative; }
    std::wstring StagedFolder() const { return Staged(kInstallFolder); }
    std::wstring StagedInstaller() const { return StagedFolder() + L"\\HalvikInstaller.exe"; }
    // The staged installer was started (it marks every start beside itself).
    bool DevicePathStartedTheInstaller() const { return Exists(StagedInstaller() + L".started"); }
    // Stage one relaunched its copy, which ran the installer beside the launcher.
    bool NormalPathRan() const
    {
        return m_medium.InstallerStarted() &&
               m_log.LinesWith({L" : Running " + CHFileUtilities::GetTempDirectory() + L"InstallerShim-"}).size() == 1;
    }
    std::vector<std::wstring> Warnings(const std::wstring& strPart) const
    {
        return m_log.LinesWith({L"[WARNING", strPart});
    }

    void RemoveStagedFiles() const
    {
        CTempFolder::RemoveTree(L"\\\\?\\" + StagedFolder());
        ::DeleteFileW(StagedFolder().c_str());
        ::DeleteFileW(Staged(L"autorun.inf").c_str());
        RemoveLauncherCopies();
    }

    // ---- Running the launcher

    bool IsOurs(const std::wstring& strImage) const
    {
        return IsBelow(strImage, m_strCache) || IsBelow(strImage, StagedFolder()) || IsLauncherCopy(strImage);
    }

    // Starts the launcher and watches until every process of the test has
    // ended: message boxes are read and dismissed, the wait dialog and the
    // launcher's memory are looked at as they come.
    CDeviceRun RunLauncher(const std::wstring& strLauncher, DWORD dwTimeoutMs = g_dwChainTimeoutMs)
    {
        CDeviceRun run;
        const ULONGLONG nStart = ::GetTickCount64();
        CHKernelHandle hLauncher = StartProgram(strLauncher, L"", m_root.Path());
        if (!hLauncher)
            return run;
        const DWORD dwLauncherId = ::GetProcessId(hLauncher.Get());
        CHKernelHandle hQuery(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwLauncherId));
        std::set<HWND> dismissed;
        for (;;) {
            if (!run.launcherExit && ::WaitForSingleObject(hLauncher.Get(), 0) == WAIT_OBJECT_0)
                run.launcherExit = ExitCodeAfter(hLauncher, 0);
            if (!run.launcherExit && hQuery) {
                PROCESS_MEMORY_COUNTERS counters = {};
                counters.cb = sizeof(counters);
                if (::GetProcessMemoryInfo(hQuery.Get(), &counters, sizeof(counters)))
                    run.cbPeakWorkingSet = std::max(run.cbPeakWorkingSet, counters.PeakWorkingSetSize);
            }
            std::set<DWORD> ours = {dwLauncherId};
            for (const CRunningProcess& process :
                 ProcessesWhere([this](const std::wstring& strImage) { return IsOurs(strImage); }))
                ours.insert(process.dwProcessId);
            bool bDialog = false;
            for (const CTopLevelWindow& window : TopLevelWindows())
                bDialog = bDialog || (window.dwProcessId == dwLauncherId && window.strTitle == kDialogTitle);
            run.bDialogSeen = run.bDialogSeen || bDialog;
            if (auto box = FindInstallerMessageBox([&](DWORD dwOwner) { return ours.count(dwOwner) != 0; });
                box && dismissed.insert(box->hWnd).second) {
                run.bDialogWithBox = run.bDialogWithBox || bDialog;
                run.boxTexts.push_back(MessageBoxText(box->hWnd));
                DismissMessageBox(box->hWnd);
            }
            if (run.launcherExit && ours.size() == 1) {
                run.bChainEnded = true;
                break;
            }
            if (::GetTickCount64() >= nStart + dwTimeoutMs)
                break;
            ::Sleep(50);
        }
        run.dSeconds = static_cast<double>(::GetTickCount64() - nStart) / 1000.0;
        return run;
    }

    // A run that ended well: exit code 0, no message box, nothing left running.
    static void ExpectCleanRun(const CDeviceRun& run)
    {
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    }

    CTempFolder m_root;
    CLauncherLog m_log;
    const std::wstring m_strTemp;   // %TEMP%, with its trailing "\"
    const std::wstring m_strCache;  // the shell's copy of the phone's launcher, below %TEMP%\WPDNSE
    // The launcher in the cache folder, with a fake installer as
    // Setup\HalvikInstaller.exe for the normal path to run.
    CMedium m_medium;
};

}  // namespace

// ---------------------------------------------------------------------------
// Staging from one phone

TEST_F(CDeviceLauncherTest, TheInstallFilesAreStagedWhateverTheirLetterCaseAndTheInstallerStartsFromTemp)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone, L"AutoRun.INF", L"HALVIK_ULVO_SUITE_install_FILES", L"halvikinstaller.EXE");
    const std::wstring strPhoneFolder = strPhone + L"\\HALVIK_ULVO_SUITE_install_FILES";
    WriteText(strPhoneFolder + L"\\readme.txt", "read me");
    WriteText(strPhoneFolder + L"\\Data\\Sub\\deep.bin", Content(L"deep", 3 * 1024 * 1024 + 5));
    WriteText(strPhoneFolder + L"\\Data\\empty.dat", "");
    ShowDevices({strPhone});
    // A slow phone: the copy lasts long enough for the dialog to be seen.
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kReadDelayValue, 30), ERROR_SUCCESS);

    const CDeviceRun run = RunLauncher(m_medium.Launcher());
    ExpectCleanRun(run);
    EXPECT_TRUE(run.bDialogSeen) << "the wait dialog was shown while copying";

    // The local names are the launcher's own, whatever the phone's case.
    const std::set<std::wstring> staged = NamesIn(m_strTemp.substr(0, m_strTemp.size() - 1));
    EXPECT_TRUE(staged.count(L"autorun.inf") && staged.count(kInstallFolder)) << testing::PrintToString(staged);
    EXPECT_EQ(ReadFileBytes(Staged(L"autorun.inf")), kAutorunText);
    EXPECT_TRUE(WithoutStartMarks(TreeOf(StagedFolder())) == TreeOf(strPhoneFolder))
        << "the install files arrived whole";

    EXPECT_TRUE(DevicePathStartedTheInstaller());
    EXPECT_EQ(ReadFileBytes(StagedInstaller() + L".started"), "preparing-window=0\n")
        << "the installer started while the copying dialog was still there";
    EXPECT_EQ(
        m_log.LinesWith({L" : Starting the installer " + StagedInstaller() + L" in " + StagedFolder() + L"\\."}).size(),
        1u)
        << "started from %TEMP%, in its own folder";
    EXPECT_FALSE(NormalPathRan());
    EXPECT_EQ(LauncherCopies(), Strings{}) << "no relaunch";
    EXPECT_EQ(OpenLog(), Strings{L"device=1;name=HUS;major=1;minor=0;revision=1"});
}

TEST_F(CDeviceLauncherTest, AFolderArrivesWholeThroughShortBatchesAndShortReadsAndADottedFolderIsTakenForAFile)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    const std::wstring strPhoneFolder = strPhone + L"\\" + kInstallFolder;
    // 25 entries in the folder (the installer is one): batches of 10, 10 and 5.
    for (int i = 0; i < 23; ++i) {
        const std::wstring strName = L"file" + std::to_wstring(i) + L".bin";
        WriteText(strPhoneFolder + L"\\" + strName, Content(strName, static_cast<size_t>(i) * 997));
    }
    WriteText(strPhoneFolder + L"\\data.old\\inside.txt", "a folder named like a file");
    // The phone hands out at most 3 ids per batch and 777 bytes per read.
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kNextLimitValue, 3), ERROR_SUCCESS);
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kReadLimitValue, 777), ERROR_SUCCESS);
    ShowDevices({strPhone});

    const CDeviceRun run = RunLauncher(m_medium.Launcher());
    ExpectCleanRun(run);
    Tree expected = TreeOf(strPhoneFolder);
    expected.erase(L"data.old");
    expected.erase(L"data.old\\inside.txt");
    const Tree actual = WithoutStartMarks(TreeOf(StagedFolder()));
    EXPECT_EQ(actual.size(), 24u);
    EXPECT_TRUE(actual == expected) << "every file but the dotted folder arrived whole";
    EXPECT_EQ(ReadFileBytes(Staged(L"autorun.inf")), kAutorunText);
    EXPECT_EQ(Warnings(L"data.old").size(), 1u) << "the dotted folder has no content to copy: one warning";
    EXPECT_TRUE(DevicePathStartedTheInstaller());
}

TEST_F(CDeviceLauncherTest, ReportedSizesAreHintsAndBadNamesAreSkippedEachWithAWarning)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    const std::wstring strPhoneFolder = strPhone + L"\\" + kInstallFolder;
    WriteText(strPhoneFolder + L"\\short.txt", Content(L"short", 3000));
    WriteText(strPhoneFolder + L"\\short.txt.hssize", "5000");  // the stream ends early
    WriteText(strPhoneFolder + L"\\long.txt", Content(L"long", 100));
    WriteText(strPhoneFolder + L"\\long.txt.hssize", "10");  // the stream runs past it
    WriteText(strPhoneFolder + L"\\unknown.txt", Content(L"unknown", 4321));
    WriteText(strPhoneFolder + L"\\unknown.txt.hssize", "none");  // no size at all
    // Names that must never become part of a path. (Written through the
    // long-path form, which takes device names as plain names.)
    for (const wchar_t* pszName : {L"CON.txt", L"nul", L"x..y.txt"})
        WriteFileBytes(L"\\\\?\\" + strPhoneFolder + L"\\" + pszName, "not to be copied");
    ShowDevices({strPhone});

    const CDeviceRun run = RunLauncher(m_medium.Launcher());
    ExpectCleanRun(run);
    EXPECT_EQ(ReadFileBytes(StagedFolder() + L"\\short.txt"), Content(L"short", 3000)) << "no zero padding";
    EXPECT_EQ(ReadFileBytes(StagedFolder() + L"\\long.txt"), Content(L"long", 100)) << "not cut at the reported size";
    EXPECT_EQ(ReadFileBytes(StagedFolder() + L"\\unknown.txt"), Content(L"unknown", 4321));
    EXPECT_EQ(Warnings(L"short.txt ended after 3000 of the 5000 bytes").size(), 1u);
    EXPECT_EQ(Warnings(L"long.txt delivered 100 bytes, more than the 10").size(), 1u);
    EXPECT_TRUE(Warnings(L"unknown.txt").empty());

    EXPECT_EQ(NamesIn(StagedFolder()), (std::set<std::wstring>{L"HalvikInstaller.exe", L"HalvikInstaller.exe.started",
                                                               L"long.txt", L"short.txt", L"unknown.txt"}));
    for (const wchar_t* pszName : {L"\"CON.txt\"", L"\"nul\"", L"\"x..y.txt\""})
        EXPECT_EQ(Warnings(pszName).size(), 1u) << testing::PrintToString(pszName);
    EXPECT_TRUE(DevicePathStartedTheInstaller());
}

TEST_F(CDeviceLauncherTest, OnlyTheFirstHundredObjectsOfTheStorageAreLookedAt)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    ShowDevices({strPhone});
    // Listed by name: the fillers come first, then "autorun.inf", then the folder.
    for (int i = 0; i < 98; ++i)
        WriteText(strPhone + L"\\aa" + std::to_wstring(100 + i) + L".txt", "filler");
    {
        SCOPED_TRACE("the folder is the 100th object");
        ExpectCleanRun(RunLauncher(m_medium.Launcher()));
        EXPECT_TRUE(DevicePathStartedTheInstaller());
        EXPECT_FALSE(NormalPathRan());
    }
    RemoveStagedFiles();
    WriteText(strPhone + L"\\aa099.txt", "filler");
    {
        SCOPED_TRACE("the folder is the 101st object");
        ExpectCleanRun(RunLauncher(m_medium.Launcher()));
        EXPECT_FALSE(Exists(StagedFolder()));
        EXPECT_TRUE(NormalPathRan());
    }
}

TEST_F(CDeviceLauncherTest, AnAutorunInfAlreadyInTempIsLeftAsItWas)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    ShowDevices({strPhone});
    WriteFileBytes(Staged(L"autorun.inf"), "left from before");

    ExpectCleanRun(RunLauncher(m_medium.Launcher()));
    EXPECT_EQ(ReadFileBytes(Staged(L"autorun.inf")), "left from before");
    EXPECT_EQ(m_log.LinesWith({L"[INFO", Staged(L"autorun.inf") + L" exists already"}).size(), 1u);
    EXPECT_TRUE(DevicePathStartedTheInstaller()) << "the run went on";
}

// ---------------------------------------------------------------------------
// No phone with the files: the run goes on as one from the medium

TEST_F(CDeviceLauncherTest, WithoutADeviceOfferingTheFilesTheRunGoesOnAsFromTheMedium)
{
    const std::wstring strLacking = PhoneFolder(L"lacking");
    WriteText(strLacking + L"\\autorun.inf", kAutorunText);  // but no install-files folder
    struct CCase
    {
        const char* pszName;
        bool bRegistered;
        Strings devices;
    };
    const CCase cases[] = {
        {"no portable-device support", false, {}},
        {"no device", true, {}},
        {"a locked phone without storage", true, {SimulatedPhone::kLockedDevice}},
        {"a device without the install-files folder", true, {strLacking}},
    };
    for (const CCase& testCase : cases) {
        SCOPED_TRACE(testCase.pszName);
        RemoveStagedFiles();
        ::DeleteFileW((m_medium.Installer() + L".started").c_str());
        if (!testCase.bRegistered)
            ASSERT_EQ(SimulatedPhone::UnregisterServer(), ERROR_SUCCESS);
        else
            ASSERT_EQ(SimulatedPhone::RegisterServer(TestProgramFolder() + L"SimulatedPhone.dll"), ERROR_SUCCESS);
        ShowDevices(testCase.devices);
        const size_t nRelaunchesBefore =
            m_log.LinesWith({L" : Running " + CHFileUtilities::GetTempDirectory() + L"InstallerShim-"}).size();

        ExpectCleanRun(RunLauncher(m_medium.Launcher()));
        EXPECT_TRUE(m_medium.InstallerStarted()) << "the relaunched copy ran the installer beside the launcher";
        EXPECT_EQ(m_log.LinesWith({L" : Running " + CHFileUtilities::GetTempDirectory() + L"InstallerShim-"}).size(),
                  nRelaunchesBefore + 1);
        EXPECT_FALSE(Exists(StagedFolder()));
    }
}

// ---------------------------------------------------------------------------
// Two phones

TEST_F(CDeviceLauncherTest, OfTwoPhonesTheOneWithTheFilesIsStagedWhicheverComesFirst)
{
    const std::wstring strWith = PhoneFolder(L"with");
    AddInstallFiles(strWith);
    const std::wstring strWithout = PhoneFolder(L"without");
    WriteText(strWithout + L"\\unrelated.txt", "nothing to install");
    for (const Strings& devices : {Strings{strWithout, strWith}, Strings{strWith, strWithout}}) {
        SCOPED_TRACE(testing::PrintToString(devices));
        RemoveStagedFiles();
        SimulatedPhone::WriteStrings(SimulatedPhone::kOpenLogValue, {});
        ShowDevices(devices);

        ExpectCleanRun(RunLauncher(m_medium.Launcher()));
        EXPECT_TRUE(DevicePathStartedTheInstaller());
        EXPECT_EQ(ReadFileBytes(Staged(L"autorun.inf")), kAutorunText);
        EXPECT_FALSE(NormalPathRan()) << "a device without the files does not undo the one with them";
        EXPECT_EQ(OpenLog().size(), 2u) << "both devices were opened";
    }
}

// ---------------------------------------------------------------------------
// Failures and the 8.3 form

TEST_F(CDeviceLauncherTest, AnErrorOnTheDevicePathEndsItWithOneMessageBoxAfterTheDialogHasGone)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    ShowDevices({strPhone});
    // A file where the install-files folder must go: the folder cannot be made.
    WriteFileBytes(StagedFolder(), "in the way");

    const CDeviceRun run = RunLauncher(m_medium.Launcher());
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    ASSERT_EQ(run.boxTexts.size(), 1u) << testing::PrintToString(run.boxTexts);
    EXPECT_EQ(run.boxTexts[0].rfind(HErrorText(HError::CreateDirectoryFailed), 0), 0u)
        << testing::PrintToString(run.boxTexts[0]);
    EXPECT_NE(run.boxTexts[0].find(StagedFolder()), std::wstring::npos);
    EXPECT_FALSE(run.bDialogWithBox) << "the wait dialog had ended before the box came";
    EXPECT_EQ(m_log.LinesWith({L"[ERROR", HErrorText(HError::CreateDirectoryFailed)}).size(), 1u);
    EXPECT_EQ(ReadFileBytes(StagedFolder()), "in the way");
    EXPECT_FALSE(m_medium.InstallerStarted()) << "the normal path does not run after an error";
    EXPECT_EQ(LauncherCopies(), Strings{});
}

TEST_F(CDeviceLauncherTest, AReadThatFailsEndsTheRunWithOneBoxNamingTheFileAndLeavesNoPartialCopy)
{
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    // Listed after the installer, which has therefore arrived when the phone goes.
    WriteText(strPhone + L"\\" + kInstallFolder + L"\\payload.bin" + SimulatedPhone::kGeneratedSuffix,
              std::to_string(8 << 20));
    ShowDevices({strPhone});
    struct CCase
    {
        const char* pszName;
        DWORD dwFailReadAt;
        bool bAutorunBefore;     // an autorun.inf from an earlier run lies in %TEMP%
        std::wstring strFailed;  // the file whose read failed
        bool bInstallerStaged;   // the installer arrived before the failure
    };
    const CCase cases[] = {
        {"half-way through a large file", 4 << 20, false, StagedFolder() + L"\\payload.bin", true},
        {"autorun.inf", 10, false, Staged(L"autorun.inf"), false},
        {"the installer, with an autorun.inf from before", 10, true, StagedInstaller(), false},
    };
    for (const CCase& testCase : cases) {
        SCOPED_TRACE(testCase.pszName);
        RemoveStagedFiles();
        if (testCase.bAutorunBefore)
            WriteFileBytes(Staged(L"autorun.inf"), "left from before");
        ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kFailReadAtValue, testCase.dwFailReadAt), ERROR_SUCCESS);

        const CDeviceRun run = RunLauncher(m_medium.Launcher());
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        ASSERT_EQ(run.boxTexts.size(), 1u) << testing::PrintToString(run.boxTexts);
        EXPECT_NE(run.boxTexts[0].find(L"\tFile:\t" + testCase.strFailed + L"\n"), std::wstring::npos)
            << testing::PrintToString(run.boxTexts[0]);
        EXPECT_FALSE(Exists(testCase.strFailed)) << "the partial copy was removed";
        EXPECT_EQ(Exists(StagedInstaller()), testCase.bInstallerStaged);
        EXPECT_FALSE(DevicePathStartedTheInstaller());
        EXPECT_FALSE(m_medium.InstallerStarted()) << "the normal path does not run after an error";
        if (testCase.bAutorunBefore) {
            EXPECT_EQ(ReadFileBytes(Staged(L"autorun.inf")), "left from before");
        }
    }
}

TEST_F(CDeviceLauncherTest, AStartFromTheShortFormOfTheCacheFolderIsADeviceStartToo)
{
    // Wine's own %TEMP% has no 8.3 form of its own; the cache folder's name is long.
    const std::wstring strShortLauncher = ShortPath(m_medium.Launcher());
    ASSERT_FALSE(strShortLauncher.empty());
    ASSERT_FALSE(SamePath(strShortLauncher, m_medium.Launcher())) << "the system gives no 8.3 form here";
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    ShowDevices({strPhone});

    ExpectCleanRun(RunLauncher(strShortLauncher));
    EXPECT_TRUE(DevicePathStartedTheInstaller());
    EXPECT_FALSE(NormalPathRan());
}

TEST_F(CDeviceLauncherTest, ASecondStartFromThePhoneWhileTheFirstStagesEndsSilently)
{
    // A double click on the phone's file: the second start finds the first
    // one's instance lock taken while the slow phone is copied.
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    WriteText(strPhone + L"\\" + kInstallFolder + L"\\data.bin", Content(L"data", 2 * 1024 * 1024));
    ShowDevices({strPhone});
    ASSERT_EQ(SimulatedPhone::SetOption(SimulatedPhone::kReadDelayValue, 100), ERROR_SUCCESS);

    CHKernelHandle hFirst = StartProgram(m_medium.Launcher(), L"", m_root.Path());
    ASSERT_TRUE(WaitUntil([] { return OpenLog().size() == 1; }, g_dwChainTimeoutMs))
        << "the first start never opened the phone";
    const CDeviceRun second = RunLauncher(m_medium.Launcher());
    ExpectCleanRun(second);
    EXPECT_EQ(ExitCodeAfter(hFirst, 0), 0u);
    EXPECT_EQ(OpenLog().size(), 1u) << "the phone was staged twice";
    EXPECT_TRUE(DevicePathStartedTheInstaller());
    EXPECT_FALSE(NormalPathRan());
}

// ---------------------------------------------------------------------------
// A file larger than 4 GiB

TEST_F(CDeviceLauncherTest, AFileOfFourGibibytesAndOneMebibyteArrivesWholeInLittleMemory)
{
    constexpr ULONGLONG nSize = (4ull << 30) + (1ull << 20);
    const std::wstring strPhone = PhoneFolder(L"phone");
    AddInstallFiles(strPhone);
    WriteText(strPhone + L"\\" + kInstallFolder + L"\\big.bin" + SimulatedPhone::kGeneratedSuffix,
              std::to_string(nSize));
    ShowDevices({strPhone});

    const CDeviceRun run = RunLauncher(m_medium.Launcher(), 15 * 60 * 1000);
    std::wcout << L"4 GiB + 1 MiB staged in " << run.dSeconds << L" s; the launcher's peak working set: "
               << run.cbPeakWorkingSet / 1024 << L" KiB" << std::endl;
    ExpectCleanRun(run);
    EXPECT_TRUE(run.bDialogSeen);
    EXPECT_TRUE(DevicePathStartedTheInstaller());
    EXPECT_LT(run.cbPeakWorkingSet, SIZE_T{64} << 20);
    EXPECT_TRUE(Warnings(L"big.bin").empty());

    const std::wstring strBig = StagedFolder() + L"\\big.bin";
    CHFileHandle file(::CreateFileW(strBig.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER size = {};
    ASSERT_TRUE(::GetFileSizeEx(file.Get(), &size));
    EXPECT_EQ(static_cast<ULONGLONG>(size.QuadPart), nSize);
    // Samples: the start, both sides of 4 GiB, the end, and spots chosen by a fixed seed.
    std::vector<ULONGLONG> offsets = {0, (4ull << 30) - 4096, nSize - 4096};
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 32; ++i)
        offsets.push_back(random() % (nSize - 8192));
    for (ULONGLONG nOffset : offsets) {
        SCOPED_TRACE(nOffset);
        std::string bytes(8192, '\0');
        LARGE_INTEGER position = {};
        position.QuadPart = static_cast<LONGLONG>(nOffset);
        DWORD cbRead = 0;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &cbRead, nullptr));
        bytes.resize(cbRead);
        std::string expected(bytes.size(), '\0');
        SimulatedPhone::FillGenerated(nOffset, reinterpret_cast<BYTE*>(expected.data()), expected.size());
        EXPECT_EQ(bytes.size(), std::min<ULONGLONG>(8192, nSize - nOffset));
        EXPECT_TRUE(bytes == expected);
    }
}
