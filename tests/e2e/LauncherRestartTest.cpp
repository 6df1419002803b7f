// The installer's exit code 3010 asks the launcher to restart Windows instead
// of starting the autoruns.
//
// This program runs only under Wine, in a prefix of its own
// (build/wineprefix-e2e-restart): there a restart request does not restart
// the machine, but Wine sends WM_QUERYENDSESSION and WM_ENDSESSION to every
// top-level window of the prefix and then ends their processes. The
// messages are watched by EndSessionWindow.exe, which reports through named
// events; this program owns no window, so it survives the request.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "LauncherHarness.h"

using namespace e2e;

namespace {

// EndSessionWindow.exe with the events it signals, ended if Wine has not.
class CEndSessionWatch
{
public:
    CEndSessionWatch()
        : m_strStem(L"hs_e2e_end_session_" + std::to_wstring(::GetCurrentProcessId())), m_hReady(Create(L"_ready")),
          m_hQuery(Create(L"_query")), m_hEndTrue(Create(L"_end_true")), m_hEndFalse(Create(L"_end_false"))
    {
        m_hWindow = StartHelperProgram(L"EndSessionWindow.exe", m_strStem);
        HANDLE waits[] = {m_hReady.Get(), m_hWindow.Get()};
        m_bReady = m_hWindow && ::WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    ~CEndSessionWatch()
    {
        if (m_hWindow && ::WaitForSingleObject(m_hWindow.Get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_hWindow.Get(), 99);
    }

    bool IsReady() const { return m_bReady; }
    bool Queried(DWORD dwTimeoutMs) const
    {
        return ::WaitForSingleObject(m_hQuery.Get(), dwTimeoutMs) == WAIT_OBJECT_0;
    }
    bool Ended(DWORD dwTimeoutMs) const
    {
        return ::WaitForSingleObject(m_hEndTrue.Get(), dwTimeoutMs) == WAIT_OBJECT_0;
    }

private:
    CHKernelHandle Create(const wchar_t* pszSuffix) const { return NewEvent(m_strStem + pszSuffix); }

    std::wstring m_strStem;
    CHKernelHandle m_hReady, m_hQuery, m_hEndTrue, m_hEndFalse, m_hWindow;
    bool m_bReady = false;
};

// The launcher tests' fixture, under a name of its own in this prefix, with
// a medium and the watch of the end-session messages; only under Wine.
class CLauncherRestartTest : public CLauncherTest
{
protected:
    void SetUp() override
    {
        CLauncherTest::SetUp();
        if (!IsRunningUnderWine())
            GTEST_SKIP() << "would restart this machine";
        m_watch.emplace();
        ASSERT_TRUE(m_watch->IsReady());
    }

    // The installer's switches: the exit code, and an answer naming one autorun that writes "autorun.rec".
    std::wstring ExitAndAnswer(const wchar_t* pszExitCode) const
    {
        return std::wstring(L"/exit=") + pszExitCode + L" " +
               AnswerOption(Utf16Le(ProbeAutorun(m_medium, L"autorun.rec"), true));
    }

    CMedium m_medium{m_root / L"medium"};
    std::optional<CEndSessionWatch> m_watch;
};

}  // namespace

TEST_F(CLauncherRestartTest, ExitCode3010RequestsARestartAndStartsNoAutorun)
{
    // Wine ends the launcher itself too (its marker window is top-level),
    // with exit code 0: the exit code proves nothing here, the messages do.
    const CChainRun run = RunChain(m_medium.Launcher(), m_medium.StageTwoArguments(ExitAndAnswer(L"3010")));
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(run.boxTexts.empty()) << testing::PrintToString(run.boxTexts);
    EXPECT_TRUE(m_watch->Queried(20000)) << "no WM_QUERYENDSESSION: no restart was requested";
    EXPECT_TRUE(m_watch->Ended(20000)) << "no WM_ENDSESSION with wParam TRUE";
    EXPECT_FALSE(Exists(Record(L"autorun.rec"))) << "a restart starts no autorun";
}

TEST_F(CLauncherRestartTest, OtherExitCodesStartTheAutorunsAndRequestNoRestart)
{
    const CChainRun run = RunChain(m_medium.Launcher(), m_medium.StageTwoArguments(ExitAndAnswer(L"3011")));
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_TRUE(AwaitRecord(L"autorun.rec", 0));
    // Wine sends the messages within a second or two of a request.
    EXPECT_FALSE(m_watch->Queried(3000)) << "a restart was requested";
}

TEST_F(CLauncherRestartTest, ExitCode1641StartsNoAutorunAndRequestsNoSecondRestart)
{
    const CChainRun run = RunStageTwo(m_medium, ExitAndAnswer(L"1641"));
    EXPECT_EQ(run.launcherExit, 0u);
    EXPECT_TRUE(run.bChainEnded);
    EXPECT_FALSE(m_watch->Queried(3000)) << "the installer's own restart got a second request";
    EXPECT_FALSE(Exists(Record(L"autorun.rec")));
    EXPECT_EQ(m_log.LinesWith({L"[INFO", L"has started a restart itself (exit code 1641)"}).size(), 1u);
}
