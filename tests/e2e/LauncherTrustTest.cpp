// The launcher's trust boundaries, tried as an attacker and an unlucky user
// would: values of "autorun.inf" that would write the relaunch line, medium
// folders whose names the line must carry whole, links that lead out of the
// staged files, and a program in %TEMP% under the copy's name. (A client of
// the pipe that the installer did not start is tried beside the installer
// authors' header, in LauncherEndToEndTest.cpp.)
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "LauncherHarness.h"

using namespace e2e;

namespace {

using Strings = std::vector<std::wstring>;

// Closes the wait dialog once it shows that the deletion failed.
CDialogUser CloserOfAFailedDeletion()
{
    return CDialogUser(L"Finishing the installation", [](HWND hDialog) {
        if (IsControlShown(hDialog, 1029) || !IsControlShown(hDialog, IDOK))
            return false;
        return ::PostMessageW(hDialog, WM_COMMAND, IDOK, 0) != FALSE;
    });
}

}  // namespace

// ---------------------------------------------------------------------------
// What "autorun.inf" and the medium's folder name may do to the relaunch

TEST_F(CLauncherTest, HostileValuesEndInOneBoxAndAwkwardFolderNamesSurviveTheRelaunchWhole)
{
    struct CCase
    {
        const char* pszName;
        const wchar_t* pszMedium;   // the medium's folder, below the test's
        const wchar_t* pszSibling;  // a medium beside it that nothing may touch ("" for none)
        std::string strInstallerShimSection;
        const wchar_t* pszRefusedKey;  // the key the one box names ("" for a run that installs)
    };
    const CCase cases[] = {
        {"a quote that would end runWorkingFolder early", L"quote", L"",
         "runWorkingFolder=Setup\" /deleteAfterInstall=\"..\\..\r\ndeleteAfterInstall=Staged\r\n", L"runWorkingFolder"},
        {"a \";\" in the medium's folder name", L"Setup;old", L"Setup", "deleteAfterInstall=Staged;Setup\r\n", L""},
        {"two blanks in the medium's folder name", L"Disk  1", L"Disk 1", "deleteAfterInstall=Staged\r\n", L""},
    };
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        CMedium medium(m_root / test.pszMedium);
        // The sibling is another medium: its Staged and Setup are what a
        // split or re-joined path would name.
        std::optional<CMedium> sibling;
        if (*test.pszSibling)
            sibling.emplace(m_root / test.pszSibling);
        medium.WriteAutorunInf("[InstallerShim]\r\nworkingFolder=Setup\r\n" + test.strInstallerShimSection);
        const std::wstring strAnswer = AnswerOption(Utf16Le(L"delete-files=true\n", true));

        const CChainRun run = RunChain(medium.Launcher(), strAnswer);
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        if (*test.pszRefusedKey) {
            EXPECT_EQ(run.boxTexts.size(), 1u) << testing::PrintToString(run.boxTexts);
            const std::wstring strBox = run.boxTexts.empty() ? std::wstring() : run.boxTexts[0];
            EXPECT_NE(strBox.find(std::wstring(L"Key:\t") + test.pszRefusedKey), std::wstring::npos)
                << testing::PrintToString(strBox);
            EXPECT_NE(strBox.find(L"File:\t" + medium.Path(L"autorun.inf")), std::wstring::npos);
            EXPECT_FALSE(medium.InstallerStarted());
            EXPECT_EQ(LauncherCopies(), Strings{}) << "nothing was started";
            EXPECT_TRUE(Exists(medium.Staged()));
        } else {
            EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
            EXPECT_TRUE(medium.InstallerStarted()) << "the medium's own installer ran";
            EXPECT_FALSE(sibling->InstallerStarted()) << "the installer of the medium beside it ran";
            EXPECT_TRUE(Exists(sibling->Staged()));
            EXPECT_TRUE(Exists(sibling->Installer()));
        }
        RemoveLauncherCopies();
    }
    // The ";" medium's delete list could not be carried, so nothing of it went.
    EXPECT_TRUE(Exists((m_root / L"Setup;old") + L"\\Staged"));
    EXPECT_EQ(m_log.LinesWith({L"[WARNING", L"holds a \";\""}).size(), 2u);
    EXPECT_FALSE(Exists((m_root / L"Disk  1") + L"\\Staged")) << "the two-blank medium deleted its own files";
}

TEST_F(CLauncherTest, AProgramUnderTheCopysNameRunningInTempDoesNotStopTheInstallation)
{
    // An earlier copy still running where copies used to go, or any program of that name.
    const std::wstring strOldPlace = CHFileUtilities::GetTempDirectory() + L"InstallerShim.exe";
    CopyProgram(L"ProcessProbe.exe", strOldPlace);
    CReleaseEvent release;
    CHKernelHandle hSquatter = StartProgram(strOldPlace, L"/wait=" + release.Name());
    CMedium medium(m_root / L"medium");

    const CChainRun run = RunChain(medium.Launcher(), L"");
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    EXPECT_TRUE(medium.InstallerStarted()) << "stage one ended in silence";
    EXPECT_EQ(run.otherLauncherExits, std::vector<DWORD>{0u});

    release.Release();
    EXPECT_TRUE(ExitCodeAfter(hSquatter, g_dwChainTimeoutMs));
    EXPECT_TRUE(WaitUntil([&] { return ::DeleteFileW(strOldPlace.c_str()) != FALSE; }, 5000));
}

// ---------------------------------------------------------------------------
// Links among the staged files

TEST_F(CLauncherTest, NothingALinkLeadsToIsDeletedWhereverTheLinkLies)
{
    struct CCase
    {
        const char* pszName;
        const wchar_t* pszLink;        // below the medium
        const wchar_t* pszTarget;      // below the outside folder
        const wchar_t* pszDeleteList;  // below the medium ("" for Staged)
        bool bDeletionFails;           // the dialog shows the failure: what holds the link stays
    };
    const CCase cases[] = {
        {"a staged path that is a link to a folder", L"Linked", L"", L"Linked", false},
        {"a staged path that is a link to a file", L"linked.txt", L"\\victim.txt", L"linked.txt", false},
        {"a staged path below a linked folder", L"Linked", L"", L"Linked\\inner", false},
        {"a link to a read-only file in a staged folder", L"Staged\\link.txt", L"\\victim.txt", L"", true},
        {"a link to an empty folder in a staged folder", L"Staged\\link", L"\\empty", L"", true},
    };
    int nCase = 0;
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        CMedium medium(m_root / (L"medium" + std::to_wstring(++nCase)));
        const std::wstring strOutside = m_root / (L"outside" + std::to_wstring(nCase));
        CHFileUtilities::BuildDirectory(strOutside + L"\\inner");
        CHFileUtilities::BuildDirectory(strOutside + L"\\empty");
        WriteFileBytes(strOutside + L"\\victim.txt", "keep");
        WriteFileBytes(strOutside + L"\\inner\\victim.txt", "keep");
        ASSERT_TRUE(::SetFileAttributesW((strOutside + L"\\victim.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        const CUnixSymbolicLink link(medium.Path(test.pszLink), strOutside + test.pszTarget);
        if (!link.IsMade())
            GTEST_SKIP() << "needs Wine's ln -s";
        const std::wstring strDeleteList = *test.pszDeleteList ? medium.Path(test.pszDeleteList) : medium.Staged();
        const CDialogUser closer = CloserOfAFailedDeletion();

        const CChainRun run = RunStageTwo(medium, AnswerOption(Utf16Le(L"delete-files=true\n", true)), strDeleteList);
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
        for (const wchar_t* pszKept : {L"\\victim.txt", L"\\inner\\victim.txt", L"\\empty"})
            EXPECT_TRUE(Exists(strOutside + pszKept)) << testing::PrintToString(std::wstring(pszKept));
        EXPECT_EQ(::GetFileAttributesW((strOutside + L"\\victim.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
                  static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        EXPECT_TRUE(Exists(medium.Path(test.pszLink))) << "Wine cannot remove a link as a link: it stays";
        EXPECT_EQ(m_log.LinesWith({L"[WARNING", medium.Path(test.pszLink)}).size(), 1u);
        EXPECT_EQ(closer.Acted(), test.bDeletionFails);
        if (test.bDeletionFails) {
            EXPECT_FALSE(Exists(medium.Staged() + L"\\f0")) << "the rest of the staged folder went";
        }
    }
}
