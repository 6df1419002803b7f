// The installer run around the launcher's named pipe, with ProcessProbe.exe
// as the installer and the test writing the installer's answer on the pipe.
// The pipe's name is fixed: these tests run one at a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "AnswerPipeTestSupport.h"
#include "RAde/HFileUtilities.h"

// ---------------------------------------------------------------------------
// The installer run

namespace {

// A copy of ProcessProbe.exe as the installer, in a folder of its own.
class CProbeInstaller
{
public:
    CProbeInstaller() : m_folder(L"installer"), m_strProgram(m_folder / L"HalvikInstaller.exe")
    {
        CopyProcessProbeTo(m_strProgram);
        EXPECT_TRUE(::CreateDirectoryW(WorkingFolder().c_str(), nullptr));
    }
    ~CProbeInstaller() { EXPECT_TRUE(DeleteWhenFree(m_strProgram)); }

    const std::wstring& Program() const { return m_strProgram; }
    std::wstring WorkingFolder() const { return m_folder / L"work"; }
    std::wstring Record() const { return m_folder / L"record.txt"; }

private:
    CTempFolder m_folder;
    std::wstring m_strProgram;
};

}  // namespace

TEST(CInstallUtilsInstallerRun, AnInstallerThatNeverConnectsGetsTheDefaultsAndItsExitCodeDecidesTheRestart)
{
    for (DWORD dwExitCode : {3010u, 1u}) {
        CProbeInstaller installer;
        CLogCapture log;
        CInstallUtils utils;
        bool bReboot = !(dwExitCode == 3010);
        const std::wstring strArguments = L"/out=" + installer.Record() + L" /exit=" + std::to_wstring(dwExitCode);
        const auto start = std::chrono::steady_clock::now();
        utils.RunInstallerAndGetAutorunInfo(installer.Program(), strArguments, installer.WorkingFolder(), bReboot);
        EXPECT_LT(ElapsedMs(start), 15000);
        EXPECT_EQ(bReboot, dwExitCode == 3010);
        EXPECT_FALSE(utils.IsWorking());
        EXPECT_EQ(utils.GetUILanguage(), L"en-uk") << "the launcher's own empty client gives the defaults";
        EXPECT_FALSE(utils.GetDeleteFiles());
        EXPECT_TRUE(utils.GetAutoruns().empty());
        EXPECT_EQ(CountLogged(log, HLOG_DEBUG, L"Installer exited with code " + std::to_wstring(dwExitCode) + L".\n"),
                  1u);

        auto record = ReadProcessProbeRecord(installer.Record());
        ASSERT_TRUE(record);
        EXPECT_EQ(record->strCurrentDirectory, installer.WorkingFolder());
        EXPECT_EQ(record->args,
                  (std::vector<std::wstring>{L"/out=" + installer.Record(), L"/exit=" + std::to_wstring(dwExitCode)}));
    }
}

TEST(CInstallUtilsInstallerRun, TheAnswerOfAnInstallerThatConnectsWhileItRunsIsTaken)
{
    CProbeInstaller installer;
    const std::wstring strEventName = CHFileUtilities::GetFilenameFromPath(UniqueTempPath(L"installer_end"));
    CHKernelHandle hEnd = NewEvent(strEventName);
    ASSERT_TRUE(hEnd);

    CInstallUtils utils;
    bool bReboot = true;
    std::wstring strError;
    std::thread run([&] {
        try {
            utils.RunInstallerAndGetAutorunInfo(installer.Program(), L"/wait=" + strEventName,
                                                installer.WorkingFolder(), bReboot);
        } catch (CHException& e) {
            strError = e.GetDescription(7);
        }
    });
    {
        // The test plays the installer's part on the pipe, then lets the installer end.
        CInstallerClient client({Utf16Le(L"language=sv-se\ndelete-files=true\nautorun=" + OwnPath() + L" go\n", true)});
        EXPECT_TRUE(client.IsConnected());
    }
    ::SetEvent(hEnd.Get());
    run.join();
    EXPECT_EQ(strError, L"");
    EXPECT_TRUE(utils.GetWorkerError().GetXml().GetChildren(L"errorentry").empty())
        << utils.GetWorkerError().GetDescription(7);
    EXPECT_FALSE(bReboot);
    EXPECT_EQ(utils.GetUILanguage(), L"sv-se");
    EXPECT_TRUE(utils.GetDeleteFiles());
    EXPECT_EQ(utils.GetAutoruns(), (CInstallUtils::AutorunList{{OwnPath(), L"go"}}));
}

TEST(CInstallUtilsInstallerRun, AnInstallerThatCannotStartRaisesAndReleasesTheWorker)
{
    CTempFolder folder(L"no installer");
    const auto start = std::chrono::steady_clock::now();
    {
        CInstallUtils utils;
        bool bReboot = false;
        CHException e = CatchThrown(
            [&] { utils.RunInstallerAndGetAutorunInfo(folder / L"missing.exe", L"", folder.Path(), bReboot); });
        const std::vector<std::wstring> functions = ErrorFunctionsOf(e);
        EXPECT_NE(std::find(functions.begin(), functions.end(), L"CInstallUtils::RunInstallerAndWaitForCompletion"),
                  functions.end());
        EXPECT_EQ(functions.back(), L"CInstallUtils::RunInstallerAndGetAutorunInfo");
        EXPECT_FALSE(utils.IsWorking());
    }
    EXPECT_LT(ElapsedMs(start), g_nPromptMs);
}
