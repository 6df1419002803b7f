// The launcher as a user meets it: the real InstallerShim.exe started under
// Wine from a medium folder of the test's own, with a fake installer that
// answers on the pipe as each test tells it, and recording autoruns. The
// tests look at what the run leaves: the launcher's log, the records of the
// installer and the autoruns, the copy in %TEMP%, message boxes, exit codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "HulvsInstallerAnswer.h"
#include "LauncherHarness.h"
#include "RAde/HMutexLock.h"

using namespace e2e;

namespace {

using Strings = std::vector<std::wstring>;

// Lines that fill an answer up to an exact size in bytes (UTF-16 with its
// mark: 2 + 2 per character) around the lines that matter.
std::wstring PaddedAnswer(const std::wstring& strBefore, const std::wstring& strAfter, size_t cbTotal)
{
    const size_t cchFixed = strBefore.size() + strAfter.size() + std::wstring(L"filler=\n").size();
    const size_t cchTotal = (cbTotal - 2) / 2;
    return strBefore + L"filler=" + std::wstring(cchTotal - cchFixed, L'x') + L"\n" + strAfter;
}

std::wstring SystemText(DWORD dwError)
{
    wchar_t* pszText = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, dwError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::wstring strText = pszText ? pszText : L"";
    ::LocalFree(pszText);
    while (!strText.empty() && (strText.back() == L'\n' || strText.back() == L'\r' || strText.back() == L' '))
        strText.pop_back();
    return strText;
}

}  // namespace

// ---------------------------------------------------------------------------
// Stage one: from the medium to the copy in %TEMP%

TEST_F(CLauncherTest, StageOneRelaunchesItsCopyFromTempAndTheWholeInstallRunsThrough)
{
    CMedium medium(m_root / L"medium");
    // Another section and absolute delete paths are not the launcher's.
    medium.WriteAutorunInf("[autorun]\r\nopen=Other.exe\r\n\r\n[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\n"
                           "runWorkingFolder=Setup\r\nworkingFolder=Setup\\\r\n"
                           "deleteAfterInstall=Setup;C:\\Windows;tmp\\x.log\r\n");
    const std::wstring strAnswer = AnswerOption(
        Utf16Le(ProbeAutorun(medium, L"autorun.rec", L" second") + L"language=de-de\ndelete-files=true\n", true));
    const std::wstring strExtra = L"/record=" + Record(L"installer.rec") + L" " + strAnswer;

    const CChainRun run = RunChain(medium.Launcher(), strExtra);
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    EXPECT_EQ(run.otherLauncherExits, std::vector<DWORD>{0u}) << "the copy ran and ended with 0";

    // The copy is the launcher itself, started in the working folder (one
    // trailing separator removed) with the relaunch arguments and then the
    // extra arguments.
    const Strings copies = LauncherCopies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadFileBytes(copies[0]), ReadFileBytes(medium.Launcher()));
    const std::wstring strRelaunch = L"/run=\"" + medium.Installer() + L"\" /runWorkingFolder=\"" +
                                     medium.Path(L"Setup") + L"\" /deleteAfterInstall=\"" + medium.Path(L"Setup") +
                                     L";" + medium.Path(L"tmp\\x.log") + L"\" /mediumFolder=\"" + medium.Folder() +
                                     L"\\\" " + strExtra;
    const std::wstring strRelaunchLine =
        L" : Running " + copies[0] + L" in " + medium.Path(L"Setup") + L" with command line " + strRelaunch + L".";
    EXPECT_EQ(m_log.LinesWith({L"[DEBUG", strRelaunchLine}).size(), 1u);

    const auto installer = AwaitRecord(L"installer.rec", 0);
    ASSERT_TRUE(installer);
    EXPECT_TRUE(SamePath(installer->strModule, medium.Installer()));
    EXPECT_EQ(installer->strCurrentDirectory, medium.Path(L"Setup"));
    EXPECT_EQ(installer->args, (Strings{L"/record=" + Record(L"installer.rec"), strAnswer}));
    const auto autorun = AwaitRecord(L"autorun.rec", 0);
    ASSERT_TRUE(autorun) << "the answer's autorun was not started";
    EXPECT_EQ(autorun->args, (Strings{L"/out=" + Record(L"autorun.rec"), L"second"}));
    EXPECT_EQ(autorun->strCurrentDirectory, medium.Path(L"Apps")) << "an autorun runs in its own folder";
    // The answer allowed the deletion: of the two paths below the medium
    // (C:\Windows is not), Setup went with the skin it held, and the missing one is only logged.
    EXPECT_FALSE(Exists(medium.Path(L"Setup")));
    EXPECT_EQ(m_log.LinesWith({L"[DEBUG", L"Deleted the staged files: 2 of 2 paths"}).size(), 1u);
    EXPECT_EQ(m_log.LinesWith({L"[DEBUG", L"Path " + medium.Path(L"tmp\\x.log") + L" not found"}).size(), 1u);
}

TEST_F(CLauncherTest, StageOneWithoutAutorunInfRunsTheDefaultInstallerInTheMediumFolder)
{
    CMedium medium(m_root / L"medium");

    const CChainRun run = RunChain(medium.Launcher(), L"");
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);

    const std::wstring strExeDirectory = medium.Folder() + L"\\";
    const std::wstring strRelaunch = L"/run=\"" + medium.Installer() + L"\" /runWorkingFolder=\"" +
                                     CHFileUtilities::MakeAbsolutePath(strExeDirectory, L"") +
                                     L"\" /deleteAfterInstall=\"\" /mediumFolder=\"" + strExeDirectory + L"\"";
    const Strings copies = LauncherCopies();
    ASSERT_EQ(copies.size(), 1u);
    const std::wstring strRelaunchLine =
        L" : Running " + copies[0] + L" in " + medium.Folder() + L" with command line " + strRelaunch + L".";
    EXPECT_EQ(m_log.LinesWith({strRelaunchLine}).size(), 1u);
    EXPECT_TRUE(medium.InstallerStarted());
}

// ---------------------------------------------------------------------------
// Stage two: the installer, its answer and the autoruns

TEST_F(CLauncherTest, StageTwoResolvesRelativePathsAgainstItsFolderAndPassesTheRemainingArgumentsOn)
{
    CMedium medium(m_root / L"medium");
    const std::wstring strAnswer = AnswerOption(Utf16Le(ProbeAutorun(medium, L"autorun.rec"), true));

    // Run from the medium folder, the switch in capitals, a quoted argument
    // with a run of blanks (which comes through as written), and an exit
    // code that is no restart request: the autoruns still start.
    const CChainRun run = RunChain(medium.Launcher(),
                                   L"/RUN=Setup\\HalvikInstaller.exe /runWorkingFolder=Setup /record=" +
                                       Record(L"installer.rec") + L" \"two  words\" last /exit=1603 " + strAnswer,
                                   medium.Folder());
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);

    const auto installer = AwaitRecord(L"installer.rec", 0);
    ASSERT_TRUE(installer);
    EXPECT_EQ(installer->strCurrentDirectory, medium.Path(L"Setup"));
    EXPECT_EQ(installer->args,
              (Strings{L"/record=" + Record(L"installer.rec"), L"two  words", L"last", L"/exit=1603", strAnswer}));
    EXPECT_EQ(m_log.LinesWith({L"[DEBUG", L" : Installer exited with code 1603."}).size(), 1u);
    EXPECT_TRUE(AwaitRecord(L"autorun.rec", 0)) << "exit code 1603 is no restart: the autorun starts";
}

TEST_F(CLauncherTest, StageTwoReadsAnswersInEveryEncodingItRecognises)
{
    CMedium medium(m_root / L"medium");
    struct CCase
    {
        const char* pszName;
        std::string (*encode)(const std::wstring&);
    };
    const CCase cases[] = {
        {"UTF-16LE with mark", [](const std::wstring& s) { return Utf16Le(s, true); }},
        {"UTF-16LE without mark", [](const std::wstring& s) { return Utf16Le(s, false); }},
        {"UTF-16BE with mark", [](const std::wstring& s) { return Utf16BeWithMark(s); }},
        {"UTF-8 with mark", [](const std::wstring& s) { return Utf8(s, true); }},
    };
    // Letters outside ASCII show that the text was decoded, not just passed through.
    const std::wstring strWord = L"/tag=\u00FC\u20AC\u8A9E";
    int nCase = 0;
    for (const CCase& testCase : cases) {
        SCOPED_TRACE(testCase.pszName);
        const std::wstring strRecord = L"autorun" + std::to_wstring(++nCase) + L".rec";
        const std::wstring strAnswerText =
            L"Language=de-de\n" + ProbeAutorun(medium, strRecord, L" " + strWord) + L"DELETE-FILES=True\n";
        medium.StageFiles();

        const CChainRun run = RunStageTwo(medium, AnswerOption(testCase.encode(strAnswerText), strRecord + L".answer"));
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        const auto autorun = AwaitRecord(strRecord, 0);
        ASSERT_TRUE(autorun) << "the autorun was not started";
        EXPECT_EQ(autorun->args, (Strings{L"/out=" + Record(strRecord), strWord}));
        EXPECT_FALSE(Exists(medium.Staged())) << "keys in any case, \"True\" in any case allows the deletion";
    }
}

TEST_F(CLauncherTest, CarriageReturnsStayPartOfTheAnswersLines)
{
    CMedium medium(m_root / L"medium");
    const std::wstring strAnswer =
        L"autorun=" + medium.Probe() + L" /out=" + Record(L"autorun.rec") + L" last\r\ndelete-files=true\r\n";
    const CChainRun run = RunStageTwo(medium, AnswerOption(Utf16Le(strAnswer, true)));
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);

    const auto autorun = AwaitRecord(L"autorun.rec", 0);
    ASSERT_TRUE(autorun);
    EXPECT_EQ(autorun->args, (Strings{L"/out=" + Record(L"autorun.rec"), L"last\r"}));
    EXPECT_TRUE(Exists(medium.Staged())) << "\"true\\r\" is not \"true\"";
}

TEST_F(CLauncherTest, AutorunPathsWithBlanksNeedTwoPairsOfQuotesAndMissingProgramsAreSkipped)
{
    CMedium medium(m_root / L"medium");
    const std::wstring strSpaced = medium.Path(L"Auto run\\Probe.exe");
    CopyProgram(L"ProcessProbe.exe", strSpaced);
    const std::wstring strAnswer =
        L"autorun=\"\"" + strSpaced + L"\" /out=" + Record(L"two-pairs.rec") + L"\"\n" +  // starts
        L"autorun=\"" + strSpaced + L"\" /out=" + Record(L"one-pair.rec") + L"\n" +       // program cut at the blank
        L"autorun=" + medium.Path(L"Missing\\Nothing.exe") + L" /x\n" + ProbeAutorun(medium, L"plain.rec");

    const CChainRun run = RunStageTwo(medium, AnswerOption(Utf16Le(strAnswer, true)));
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);

    const auto twoPairs = AwaitRecord(L"two-pairs.rec", 0);
    ASSERT_TRUE(twoPairs);
    EXPECT_EQ(twoPairs->args, Strings{L"/out=" + Record(L"two-pairs.rec")});
    EXPECT_EQ(twoPairs->strCurrentDirectory, medium.Path(L"Auto run"));
    EXPECT_FALSE(Exists(Record(L"one-pair.rec")));
    EXPECT_TRUE(AwaitRecord(L"plain.rec", 0)) << "a skipped autorun does not stop the others";
    for (const std::wstring& strMissing : {medium.Path(L"Auto"), medium.Path(L"Missing\\Nothing.exe")})
        EXPECT_EQ(m_log.LinesWith({L"[WARNING", strMissing + L" "}).size(), 1u) << testing::PrintToString(strMissing);
}

TEST_F(CLauncherTest, AutorunsGetTheEnvironmentTheRegistryHoldsAfterTheInstallation)
{
    CMedium medium(m_root / L"medium");
    // Set as an installer sets it: in the user's registry, not in the
    // environment the launcher inherits.
    const std::wstring strName = L"HS_E2E_INSTALLED_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring strValue = L"set by the installer";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, L"Environment", strName.c_str(), REG_SZ, strValue.c_str(),
                                static_cast<DWORD>((strValue.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    const std::wstring strAnswer = ProbeAutorun(medium, L"autorun.rec", L" /env=" + strName);
    const CChainRun run = RunStageTwo(medium, AnswerOption(Utf16Le(strAnswer, true)));
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Environment", strName.c_str());

    EXPECT_EQ(run.launcherExit, 0u);
    const auto autorun = AwaitRecord(L"autorun.rec", 0);
    ASSERT_TRUE(autorun);
    const auto variable = autorun->environment.find(strName);
    ASSERT_NE(variable, autorun->environment.end());
    EXPECT_EQ(variable->second.value_or(L"<not set>"), strValue);
}

TEST_F(CLauncherTest, AnswersOfExactly4096BytesAndOfTheLimitAreReadWhole)
{
    CMedium medium(m_root / L"medium");
    for (size_t cbAnswer : {size_t{4096}, size_t{64 * 1024}}) {
        SCOPED_TRACE(cbAnswer);
        const std::wstring strRecord = L"autorun" + std::to_wstring(cbAnswer) + L".rec";
        // The autorun is the last line: a cut answer loses it.
        const std::string answer =
            Utf16Le(PaddedAnswer(L"", ProbeAutorun(medium, strRecord, L" /end"), cbAnswer), true);
        ASSERT_EQ(answer.size(), cbAnswer);
        const CChainRun run = RunStageTwo(medium, AnswerOption(answer));
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        const auto autorun = AwaitRecord(strRecord, 0);
        ASSERT_TRUE(autorun);
        EXPECT_EQ(autorun->args, (Strings{L"/out=" + Record(strRecord), L"/end"}));
    }
}

TEST_F(CLauncherTest, AnswersWithNothingUsableLeaveTheDefaultsAndTheRunEndsQuietly)
{
    CMedium medium(m_root / L"medium");
    std::mt19937 random(20240607);
    std::string garbage(3000, '\0');
    for (char& ch : garbage)
        ch = static_cast<char>(random() & 0xFF);
    // An answer larger than the launcher accepts is refused as a whole, the
    // lines at its start included.
    const std::string huge =
        Utf16Le(PaddedAnswer(ProbeAutorun(medium, L"huge.rec") + L"delete-files=true\n", L"", 1024 * 1024), true);
    struct CCase
    {
        const char* pszName;
        std::wstring strOptions;
    };
    const CCase cases[] = {
        {"0 bytes", AnswerOption(std::string(), L"empty.bin")},
        {"connects and writes nothing", L"/connect=silent"},
        {"never connects", L"/connect=never"},
        {"random bytes (seed 20240607)", AnswerOption(garbage, L"garbage.bin")},
        {"UTF-8 without mark", AnswerOption(Utf8(ProbeAutorun(medium, L"utf8.rec"), false), L"utf8.bin")},
        {"1 MiB", AnswerOption(huge, L"huge.bin")},
    };
    for (const CCase& testCase : cases) {
        SCOPED_TRACE(testCase.pszName);
        // The installer runs half a second; without an answer the launcher
        // gives the pipe two seconds and its own read one more.
        const CChainRun run = RunStageTwo(medium, L"/runfor=500 " + testCase.strOptions);
        EXPECT_EQ(run.launcherExit, 0u);
        EXPECT_TRUE(run.bChainEnded);
        EXPECT_LT(run.dLauncherSeconds, 10.0);
        EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    }
    EXPECT_FALSE(Exists(Record(L"huge.rec")));
    EXPECT_FALSE(Exists(Record(L"utf8.rec")));
    EXPECT_TRUE(Exists(medium.Staged())) << "the refused answer allowed a deletion";
}

// ---------------------------------------------------------------------------
// Only the installer answers

TEST_F(CLauncherTest, OnlyTheInstallerOrAProcessItStartedAnswersThroughTheAuthorsHeader)
{
    CMedium medium(m_root / L"medium");
    // No launcher serves the pipe yet: the call gives up after its time-out.
    EXPECT_EQ(HulvsSendInstallerAnswer(L"language=xx\n", 300), static_cast<DWORD>(WAIT_TIMEOUT));
    const std::wstring strTooLong(HULVS_INSTALLER_ANSWER_MAX_BYTES / 2, L'x');
    EXPECT_EQ(HulvsSendInstallerAnswer(strTooLong.c_str(), 300), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    const struct
    {
        const char* pszName;
        const wchar_t* pszHowTheInstallerAnswers;
    } cases[] = {{"the installer itself", L"/header"}, {"a process the installer started", L"/header /child"}};
    int nCase = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.pszName);
        const std::wstring strCase = std::to_wstring(++nCase);
        medium.StageFiles();
        const std::wstring strHold = L"hs_e2e_header_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + strCase;
        CHKernelHandle hHold = NewEvent(strHold);
        ASSERT_TRUE(hHold);
        const std::wstring strRecord = L"installer" + strCase + L".rec", strAutorun = L"autorun" + strCase + L".rec";
        const std::wstring strAnswer =
            AnswerOption(Utf16Le(ProbeAutorun(medium, strAutorun, L" \u00E9t\u00E9") + L"delete-files=true\n", true),
                         strRecord + L".answer");
        CHKernelHandle hLauncher =
            StartProgram(medium.Launcher(),
                         medium.StageTwoArguments(L"/hold=" + strHold + L" /record=" + Record(strRecord) + L" " +
                                                  strAnswer + L" " + test.pszHowTheInstallerAnswers),
                         medium.Path(L"Setup"));
        ASSERT_TRUE(AwaitRecord(strRecord));

        // While the installer waits, this program (which the launcher did not
        // start) connects first and answers for it, with a deletion and an
        // autorun of its own.
        const std::wstring strForeign = L"foreign" + strCase + L".rec";
        const std::wstring strWarning = L"Process " + std::to_wstring(::GetCurrentProcessId()) + L" (" +
                                        TestProgramFolder() + L"LauncherEndToEndTests.exe) connected to pipe";
        const size_t nWarningsBefore = m_log.LinesWith({L"[WARNING", strWarning}).size();
        // The launcher may turn the client away before its answer is written.
        const DWORD dwSent =
            HulvsSendInstallerAnswer((L"delete-files=true\n" + ProbeAutorun(medium, strForeign)).c_str(), 10000);
        EXPECT_TRUE(dwSent == ERROR_SUCCESS || dwSent == ERROR_PIPE_NOT_CONNECTED || dwSent == ERROR_NO_DATA) << dwSent;
        EXPECT_TRUE(WaitUntil(
            [&] {
                return m_log.LinesWith({L"[WARNING", strWarning}).size() == nWarningsBefore + 1;
            },
            10000));
        ::SetEvent(hHold.Get());

        EXPECT_EQ(ExitCodeAfter(hLauncher, g_dwChainTimeoutMs), 0u);
        const auto autorun = AwaitRecord(strAutorun);
        ASSERT_TRUE(autorun) << "the installer's answer was not read";
        EXPECT_EQ(autorun->args, (Strings{L"/out=" + Record(strAutorun), L"\u00E9t\u00E9"}));
        EXPECT_TRUE(WaitForTheChainToEnd());
        EXPECT_FALSE(Exists(Record(strForeign))) << "the foreign answer's autorun was started";
        EXPECT_FALSE(Exists(medium.Staged()));
        EXPECT_EQ(Exists(Record(strRecord) + L".child"), nCase == 2) << "the answer came from another process";
    }
}

TEST_F(CLauncherTest, AnInstallerThatBroadcastsASettingChangeBeforeItExitsIsNotBlocked)
{
    // The launcher's windows answer while it waits for the installer, the answer and the deletion.
    CMedium medium(m_root / L"medium");
    const std::wstring strAnswer = ProbeAutorun(medium, L"autorun.rec") + L"delete-files=true\n";
    const CChainRun run = RunStageTwo(medium, L"/broadcast " + AnswerOption(Utf16Le(strAnswer, true)));
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_LT(run.dLauncherSeconds, 10.0);
    EXPECT_TRUE(AwaitRecord(L"autorun.rec", 0));
}

TEST_F(CLauncherTest, StageOnesCopyWaitsForTheInstanceLockWhileStageOneStillEndsAStartFromTheMediumDoesNot)
{
    // The test holds the launchers' instance lock for two seconds, as a stage
    // one does whose exit is slow (a virus scanner, a slow log share).
    CMedium medium(m_root / L"medium");
    struct CCase
    {
        const char* pszName;
        std::wstring strArguments;
        bool bRuns;
    };
    const CCase cases[] = {{"the copy (/run=)", medium.StageTwoArguments(L""), true},
                           {"a start from the medium", L"", false}};
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.pszName);
        ::DeleteFileW((medium.Installer() + L".started").c_str());
        CHMutexLock lock;
        lock.Init(L"CreatingWindow_HUIL InstallerShim", false);
        ASSERT_TRUE(lock.Lock());
        CHKernelHandle hLauncher = StartProgram(medium.Launcher(), test.strArguments, medium.Path(L"Setup"));
        const bool bEndedWhileHeld = ExitCodeAfter(hLauncher, 2000).has_value();
        lock.Unlock();
        EXPECT_NE(bEndedWhileHeld, test.bRuns);
        EXPECT_EQ(ExitCodeAfter(hLauncher, g_dwChainTimeoutMs), 0u);
        EXPECT_TRUE(WaitForTheChainToEnd());
        EXPECT_EQ(medium.InstallerStarted(), test.bRuns);
    }
}

// ---------------------------------------------------------------------------
// Deleting the staged files behind the wait dialog

TEST_F(CLauncherTest, ClosingTheWaitDialogEarlyStartsTheAutorunsWhileTheDeletionFinishes)
{
    CMedium medium(m_root / L"medium");
    medium.StageFiles(60, 100);  // long enough to close the dialog while the worker deletes
    const std::wstring strAnswer = L"language=fr\n" + ProbeAutorun(medium, L"autorun.rec") + L"delete-files=true\n";
    CDialogUser user(L"Finalisation de l\u2019installation",
                     [](HWND hDialog) { return ::PostMessageW(hDialog, WM_COMMAND, IDCANCEL, 0) != FALSE; });

    // Setup, which holds the skin, goes first: the dialog has its look all the same.
    const CChainRun run =
        RunStageTwo(medium, AnswerOption(Utf16Le(strAnswer, true)), medium.Path(L"Setup") + L";" + medium.Staged());
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    EXPECT_TRUE(user.Acted()) << "the wait dialog did not show, in French";
    EXPECT_EQ(m_log.LinesWith({L"[WARNING"}), std::vector<std::wstring>{});
    EXPECT_TRUE(AwaitRecord(L"autorun.rec", 0));
    EXPECT_FALSE(Exists(medium.Staged())) << "the launcher ended before its worker had finished";

    // In the log's order: the dialog closed, the autorun started, then the deletion ended.
    const std::wstring strLog = m_log.Text();
    const size_t nClosed = strLog.find(L"CWaitDialog closed. Cancel:1");
    const size_t nAutorun = strLog.find(L"Running command \"" + medium.Probe() + L"\"");
    const size_t nDeleted = strLog.find(L"Deleted the staged files: 2 of 2 paths");
    ASSERT_NE(nDeleted, std::wstring::npos);
    EXPECT_LT(nClosed, nAutorun);
    EXPECT_LT(nAutorun, nDeleted);
}

TEST_F(CLauncherTest, AReadOnlyStagedFileStopsTheDeletionAndTheDialogShowsWhyUntilTheUserClosesIt)
{
    CMedium medium(m_root / L"medium");
    const std::wstring strLocked = medium.Staged() + L"\\locked.txt";
    WriteFileBytes(strLocked, "read-only");
    ASSERT_TRUE(::SetFileAttributesW(strLocked.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring strShown, strButton;
    CDialogUser user(L"Finishing the installation", [&](HWND hDialog) {
        // The spinner goes once the failure is shown (while the dialog opens, the button shows for a moment).
        if (IsControlShown(hDialog, 1029) || !IsControlShown(hDialog, IDOK))
            return false;
        strShown = ControlText(hDialog, 1028);
        strButton = ControlText(hDialog, IDOK);
        return ::PostMessageW(hDialog, WM_COMMAND, IDOK, 0) != FALSE;
    });

    const std::wstring strAnswer = L"language=en-uk\n" + ProbeAutorun(medium, L"autorun.rec") + L"delete-files=true\n";
    const CChainRun run =
        RunStageTwo(medium, AnswerOption(Utf16Le(strAnswer, true)), strLocked + L";" + medium.Staged());
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    ASSERT_TRUE(user.Acted()) << "the dialog never showed its button";
    EXPECT_EQ(strShown,
              L"Some temporary installation files could not be removed.\nThe installation itself is complete.");
    EXPECT_EQ(strButton, L"Close");
    EXPECT_TRUE(Exists(strLocked));
    EXPECT_TRUE(Exists(medium.Staged() + L"\\f0")) << "the paths after the failure stay";
    EXPECT_TRUE(AwaitRecord(L"autorun.rec", 0)) << "the launcher goes on after the user closed the dialog";
    ::SetFileAttributesW(strLocked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CLauncherTest, OnlyPathsOnTheDriveLetterOfTheWorkingFolderAsSpelledAreDeleted)
{
    // D: and E: are folders of the build that the tests' set-up links into the prefix.
    ASSERT_TRUE(Exists(L"D:\\") && Exists(L"E:\\")) << "the prefix has no drives D: and E:";
    const std::wstring strName = L"hs-e2e-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring strOnD = L"D:\\" + strName, strOnE = L"E:\\" + strName;
    CMedium medium(m_root / L"medium");
    CopyTree(TestProgramFolder() + L"skin", strOnD + L"\\Setup");
    for (const std::wstring& strFolder : {strOnD + L"\\Setup\\Temp", strOnE + L"\\X", strOnD + L"\\Other"})
        WriteManyFiles(strFolder, 1, 2);
    const std::string strAnswer = Utf16Le(L"delete-files=true\n", true);

    // D:\...\Setup as the working folder: its drive's path goes (named with a
    // trailing separator, the folder itself), E:'s stays.
    // (The medium is taken to be D:'s folder: its paths are the staged set.)
    RunStageTwo(medium, AnswerOption(strAnswer), strOnD + L"\\Setup\\Temp\\;" + strOnE + L"\\X", strOnD + L"\\Setup",
                strOnD);
    EXPECT_FALSE(Exists(strOnD + L"\\Setup\\Temp"));
    EXPECT_TRUE(Exists(strOnE + L"\\X"));
    // The same folder spelled d:\...: "D:\..." is on another drive to the launcher.
    const std::wstring strLower = L"d" + strOnD.substr(1);
    const CChainRun run =
        RunStageTwo(medium, AnswerOption(strAnswer), strOnD + L"\\Other", strLower + L"\\Setup", strOnD);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    EXPECT_TRUE(Exists(strOnD + L"\\Other"));
    EXPECT_EQ(m_log.LinesWith({L"Deleted the staged files: 0 of 1 paths on the drive of " + strLower}).size(), 1u);
    CTempFolder::RemoveTree(L"\\\\?\\" + strOnD);
    CTempFolder::RemoveTree(L"\\\\?\\" + strOnE);
}

// ---------------------------------------------------------------------------
// One launcher at a time

TEST_F(CLauncherTest, ASecondLauncherEndsWithoutAWindowWhileOneRuns)
{
    CMedium first(m_root / L"first"), second(m_root / L"second");
    second.WriteAutorunInf("[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\n");
    const std::wstring strHold = L"hs_e2e_hold_" + std::to_wstring(::GetCurrentProcessId());
    CHKernelHandle hHold = NewEvent(strHold);
    ASSERT_TRUE(hHold);

    CHKernelHandle hFirst = StartProgram(
        first.Launcher(), first.StageTwoArguments(L"/hold=" + strHold + L" /record=" + Record(L"first.rec") + L" " +
                                                  AnswerOption(Utf16Le(ProbeAutorun(first, L"autorun.rec"), true))));
    ASSERT_TRUE(AwaitRecord(L"first.rec")) << "the first launcher did not start its installer";

    // A second start from the medium (stage one, which waits half a second
    // for the instance lock) and a second copy (stage two, which waits ten).
    for (const std::wstring& strArguments : {std::wstring(), second.StageTwoArguments(L"")}) {
        SCOPED_TRACE(testing::PrintToString(strArguments));
        CHKernelHandle hSecond = StartProgram(second.Launcher(), strArguments);
        int nMostWindows = 0;
        WaitUntil(
            [&] {
                nMostWindows = std::max(nMostWindows, TopLevelWindowsOf(::GetProcessId(hSecond.Get())));
                return ::WaitForSingleObject(hSecond.Get(), 0) == WAIT_OBJECT_0;
            },
            20000);
        EXPECT_EQ(ExitCodeAfter(hSecond, 0), 0u);
        EXPECT_EQ(nMostWindows, 0);
    }
    EXPECT_FALSE(second.InstallerStarted());
    EXPECT_EQ(LauncherCopies(), Strings{}) << "the second stage one made no copy";

    ::SetEvent(hHold.Get());
    EXPECT_EQ(ExitCodeAfter(hFirst, g_dwChainTimeoutMs), 0u);
    EXPECT_TRUE(AwaitRecord(L"autorun.rec")) << "the first run went on undisturbed";
    EXPECT_TRUE(WaitForTheChainToEnd());
}

// ---------------------------------------------------------------------------
// Failures: one message box captioned "Installer", and exit code 0

TEST_F(CLauncherTest, AMissingInstallerEndsInOneMessageBox)
{
    CMedium medium(m_root / L"medium");
    const CChainRun run = RunChain(medium.Launcher(), L"/run=\"" + medium.Path(L"Setup\\Missing.exe") + L"\"");
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded) << "the launcher must not hang on its pipe after a failed start";
    ASSERT_EQ(run.boxTexts.size(), 1u);
    EXPECT_NE(run.boxTexts[0].find(SystemText(ERROR_FILE_NOT_FOUND)), std::wstring::npos)
        << testing::PrintToString(run.boxTexts[0]);
}

TEST_F(CLauncherTest, ARunValueCutAt1024CharactersEndsInOneMessageBox)
{
    CMedium medium(m_root / L"medium");
    // The launcher reads at most 1024 characters of a value: the installer's
    // name is cut off.
    medium.WriteAutorunInf("[InstallerShim]\r\nrun=Setup\\" + std::string(1100, 'a') + "\\HalvikInstaller.exe\r\n");

    const CChainRun run = RunChain(medium.Launcher(), L"");
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    ASSERT_EQ(run.boxTexts.size(), 1u);
    EXPECT_FALSE(run.boxTexts[0].empty());
    for (DWORD dwExit : run.otherLauncherExits)
        EXPECT_EQ(dwExit, 0u);
}

TEST_F(CLauncherTest, AnAutorunThatCannotStartEndsInOneMessageBoxAndStopsTheLaterOnes)
{
    CMedium medium(m_root / L"medium");
    WriteFileBytes(medium.Path(L"Apps\\Broken.exe"), "this is no program");
    const std::wstring strAnswer =
        L"autorun=" + medium.Path(L"Apps\\Broken.exe") + L"\n" + ProbeAutorun(medium, L"later.rec");

    const CChainRun run = RunStageTwo(medium, AnswerOption(Utf16Le(strAnswer, true)));
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_EQ(run.boxTexts.size(), 1u) << testing::PrintToString(run.boxTexts);
    EXPECT_FALSE(Exists(Record(L"later.rec")));
}

// ---------------------------------------------------------------------------
// Blanks in %TEMP% and in the medium's path

TEST_F(CLauncherTest, RelaunchAndAutorunsWorkWithBlanksInTempAndTheMediumFolder)
{
    // A program at the path up to the first blank would be started by a
    // command line that does not quote its program.
    const std::wstring strTemp = m_root / L"my temp";
    ASSERT_TRUE(::CreateDirectoryW(strTemp.c_str(), nullptr));
    CMedium medium(m_root / L"my medium");
    const std::wstring strSpaced = medium.Path(L"Auto run\\Probe.exe");
    CopyProgram(L"ProcessProbe.exe", strSpaced);
    const std::wstring markers[] = {m_root / L"my.exe", medium.Path(L"Auto.exe")};
    for (const std::wstring& strMarker : markers)
        CopyProgram(L"FakeInstaller.exe", strMarker);
    medium.WriteAutorunInf("[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\nrunWorkingFolder=Setup\r\n");
    const std::wstring strAnswer = L"autorun=\"\"" + strSpaced + L"\" /out=" + Record(L"autorun.rec") + L"\"\n";
    const std::wstring strExtra =
        L"/record=" + Record(L"installer.rec") + L" " + AnswerOption(Utf16Le(strAnswer, true));

    // Wine gives a child the parent's environment: %TEMP% for the launchers.
    ::SetEnvironmentVariableW(L"TEMP", strTemp.c_str());
    ::SetEnvironmentVariableW(L"TMP", strTemp.c_str());
    const CChainRun run = RunChain(medium.Launcher(), strExtra);
    ::SetEnvironmentVariableW(L"TEMP", nullptr);
    ::SetEnvironmentVariableW(L"TMP", nullptr);

    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    const Strings copies = LauncherCopies(strTemp);
    ASSERT_EQ(copies.size(), 1u);
    const std::wstring strRelaunch = L"/run=\"" + medium.Installer() + L"\" /runWorkingFolder=\"" +
                                     medium.Path(L"Setup") + L"\" /deleteAfterInstall=\"\" /mediumFolder=\"" +
                                     medium.Folder() + L"\\\" " + strExtra;
    const std::wstring strRelaunchLine =
        L" : Running " + copies[0] + L" in " + medium.Folder() + L" with command line " + strRelaunch + L".";
    EXPECT_EQ(m_log.LinesWith({strRelaunchLine}).size(), 1u);
    EXPECT_EQ(run.otherLauncherExits, std::vector<DWORD>{0u}) << "the copy in the spaced %TEMP% ran";
    const auto installer = AwaitRecord(L"installer.rec", 0);
    ASSERT_TRUE(installer);
    EXPECT_EQ(installer->strCurrentDirectory, medium.Path(L"Setup"));
    // Started as the copy ends: Wine may show the new process only a moment later.
    const auto autorun = AwaitRecord(L"autorun.rec");
    ASSERT_TRUE(autorun);
    EXPECT_TRUE(SamePath(autorun->strModule, strSpaced));
    EXPECT_TRUE(WaitForTheChainToEnd());
    for (const std::wstring& strMarker : markers)
        EXPECT_FALSE(Exists(strMarker + L".started")) << testing::PrintToString(strMarker) << " was started";
}
