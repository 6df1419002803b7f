// Starting programs, finding them by module name, waiting and exit codes,
// with ProcessProbe.exe (it records how it was started) as the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HProcess.h"
#include "ProcessCreationFailure.h"
#include "TestSupport.h"
#include "helpers/ProcessProbeRecord.h"

namespace {

constexpr DWORD g_dwProcessTimeoutMs = 20000;

std::wstring ProbePath()
{
    return TestProgramFolder() + L"ProcessProbe.exe";
}

// Sets a variable of this process and takes it away again.
class CVariableGuard
{
public:
    CVariableGuard(const std::wstring& strName, const std::wstring& strValue) : m_strName(strName)
    {
        ::SetEnvironmentVariableW(m_strName.c_str(), strValue.c_str());
    }
    ~CVariableGuard() { ::SetEnvironmentVariableW(m_strName.c_str(), nullptr); }

private:
    std::wstring m_strName;
};

// The probe's record once it has written it (a started probe writes it
// before it waits), or nothing after the time-out.
std::optional<CProcessProbeRecord> AwaitRecord(const std::wstring& strPath)
{
    for (DWORD dwWaited = 0; dwWaited < g_dwProcessTimeoutMs; dwWaited += 20) {
        if (auto record = ReadProcessProbeRecord(strPath))
            return record;
        ::Sleep(20);
    }
    return std::nullopt;
}

std::wstring WithoutTrailingSeparator(std::wstring strPath)
{
    while (strPath.size() > 3 && strPath.back() == L'\\')
        strPath.pop_back();
    return strPath;
}

std::wstring CurrentDirectory()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, szPath);
    return szPath;
}

std::wstring Upper(std::wstring strText)
{
    for (wchar_t& ch : strText)
        ch = static_cast<wchar_t>(::towupper(ch));
    return strText;
}

std::wstring Lower(std::wstring strText)
{
    for (wchar_t& ch : strText)
        ch = static_cast<wchar_t>(::towlower(ch));
    return strText;
}

}  // namespace

TEST(CHProcess, RunPassesFolderEnvironmentAndCommandLine)
{
    CTempFolder folder(L"run");
    const std::wstring strVariable = L"HS_PROBE_" + UniqueSuffix();
    CVariableGuard variable(strVariable, L"inherited value");
    const std::wstring strOutput = folder / L"record.txt";
    const std::wstring strParameters = L"/out=\"" + strOutput + L"\" /env=" + strVariable + L" \"two words\"";

    CLogCapture log;
    CHProcess process;
    process.Run(ProbePath(), strParameters, folder.Path() + L"\\");
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_NE(process.GetProcessId(), 0u);
    EXPECT_EQ(process.GetExitCode(), 0u);

    auto record = ReadProcessProbeRecord(strOutput);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->strCommandLine, L"\"" + ProbePath() + L"\" " + strParameters);
    EXPECT_EQ(record->args, (std::vector<std::wstring>{L"/out=" + strOutput, L"/env=" + strVariable, L"two words"}));
    EXPECT_EQ(record->strCurrentDirectory, folder.Path());
    EXPECT_EQ(record->environment[strVariable], L"inherited value");

    const std::wstring strLogLine =
        L"Running command \"" + ProbePath() + L"\" with parameters \"" + strParameters + L"\"\n";
    bool bLogged = false;
    const std::vector<std::wstring> messages = log.Messages();
    const std::vector<int> levels = log.Levels();
    for (size_t i = 0; i < messages.size(); ++i)
        bLogged = bLogged || (messages[i] == strLogLine && levels[i] == HLOG_DEBUG);
    EXPECT_TRUE(bLogged);

    // Without a folder the program starts in ours. The object lets go of the
    // first process and holds the second.
    const DWORD dwFirstId = process.GetProcessId();
    const std::wstring strSecondOutput = folder / L"second.txt";
    process.Run(ProbePath(), L"/exit=3 /out=" + strSecondOutput, L"");
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_NE(process.GetProcessId(), dwFirstId);
    EXPECT_EQ(process.GetExitCode(), 3u);
    auto second = ReadProcessProbeRecord(strSecondOutput);
    ASSERT_TRUE(second);
    EXPECT_EQ(WithoutTrailingSeparator(second->strCurrentDirectory), WithoutTrailingSeparator(CurrentDirectory()));
}

TEST(CHProcess, ExitCodeIsStillActiveUntilTheProgramEnds)
{
    CTempFolder folder(L"exit");
    CReleaseEvent release;
    CHProcess process;
    process.Run(ProbePath(), L"/exit=37 /wait=" + release.Name() + L" /out=" + (folder / L"r.txt"), L"");
    ASSERT_TRUE(AwaitRecord(folder / L"r.txt"));

    EXPECT_EQ(process.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(process.GetExitCode(), STILL_ACTIVE);
    release.Release();
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_EQ(process.GetExitCode(), 37u);
}

TEST(CHProcess, GetExitCodeWithoutAProcessThrows2005)
{
    CHProcess process;
    CHException e = CatchThrown([&] { process.GetExitCode(); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{2005, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"Process not started. Cannot get exitcode.\n");
    EXPECT_EQ(process.Wait(0), WAIT_FAILED);

    // Nor after Close.
    process.Run(ProbePath(), L"", L"");
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    process.Close();
    EXPECT_EQ(process.GetProcessId(), 0u);
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { process.GetExitCode(); })).front(), 2005);
}

TEST(CHProcess, StartFailuresNameTheProgramAndFolder)
{
    const std::wstring strMissing = UniqueTempPath(L"missing") + L".exe";
    CHProcess process;
    CHException e = CatchThrown([&] { process.Run(strMissing, L"", L""); });
    EXPECT_EQ(ErrorCodesOf(e).front(), HResultFromWin32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(e.GetDescription(0), GetErrorMessageText(ERROR_FILE_NOT_FOUND) + L"\n\tFile:\t" + strMissing + L"\n");

    // A relative name is left to the system's search; its failure is the system's.
    const std::wstring strRelative = L"hs_no_such_program_" + UniqueSuffix() + L".exe";
    std::wstring strCommandLine = L"\"" + strRelative + L"\" ";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_FALSE(::CreateProcessW(nullptr, strCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &info));
    const DWORD dwExpected = ::GetLastError();
    CHException eRelative = CatchThrown([&] { process.Run(strRelative, L"", L""); });
    EXPECT_EQ(ErrorCodesOf(eRelative).front(), HResultFromWin32(dwExpected));
    EXPECT_EQ(eRelative.GetDescription(0), GetErrorMessageText(dwExpected) + L"\n\tFile:\t" + strRelative + L"\n");

    // A missing working folder: the system's error, with the program and the folder.
    const std::wstring strNoFolder = UniqueTempPath(L"nofolder");
    strCommandLine = L"\"" + ProbePath() + L"\" ";
    ASSERT_FALSE(::CreateProcessW(nullptr, strCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  strNoFolder.c_str(), &startup, &info));
    const DWORD dwFolderError = ::GetLastError();
    CHException eFolder = CatchThrown([&] { process.Run(ProbePath(), L"", strNoFolder); });
    EXPECT_EQ(ErrorCodesOf(eFolder).front(), HResultFromWin32(dwFolderError));
    EXPECT_EQ(eFolder.GetDescription(0), GetErrorMessageText(dwFolderError) + L"\n\tFile:\t" + ProbePath() +
                                             L"\n\tDirectory:\t" + strNoFolder + L"\n");
}

// "<folder>\Prog Files\app.exe" unquoted would let the system start
// "<folder>\Prog.exe" with "Files\app.exe ..." as its arguments. Both are
// copies of the probe; /stamp makes whichever runs leave "<itself>.started".
TEST(CHProcess, ProgramUnderAFolderWithABlankIsQuoted)
{
    CTempFolder folder(L"quoting");
    ASSERT_TRUE(::CreateDirectoryW((folder / L"Prog Files").c_str(), nullptr));
    const std::wstring strApp = folder / L"Prog Files\\app.exe";
    const std::wstring strPlanted = folder / L"Prog.exe";
    ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), strApp.c_str(), TRUE));
    ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), strPlanted.c_str(), TRUE));
    const std::wstring strOutput = folder / L"record.txt";
    const std::wstring strParameters = L"/stamp /out=" + strOutput + L" second \"third arg\"";

    CHProcess process;
    process.Run(strApp, strParameters, L"");
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_FALSE(Exists(strPlanted + L".started"));
    EXPECT_TRUE(Exists(strApp + L".started"));
    auto record = ReadProcessProbeRecord(strOutput);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->strModule, strApp);
    EXPECT_EQ(record->strCommandLine, L"\"" + strApp + L"\" " + strParameters);
    EXPECT_EQ(record->args, (std::vector<std::wstring>{L"/stamp", L"/out=" + strOutput, L"second", L"third arg"}));

    // An already quoted program is not quoted again.
    process.Run(L"\"" + strApp + L"\"", L"/out=" + strOutput, L"");
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    record = ReadProcessProbeRecord(strOutput);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->strCommandLine, L"\"" + strApp + L"\" /out=" + strOutput);

    // The trap is real: the same command line unquoted starts the planted program.
    std::wstring strUnquoted = strApp + L" " + strParameters;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(
        ::CreateProcessW(nullptr, strUnquoted.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    CHKernelHandle hProcess(info.hProcess), hThread(info.hThread);
    ASSERT_EQ(::WaitForSingleObject(hProcess.Get(), g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_TRUE(Exists(strPlanted + L".started"));
}

TEST(CHProcess, TheLongestCommandLineTheSystemTakesRunsOneMoreCharacterThrows)
{
    CTempFolder folder(L"limit");
    const std::wstring strOutput = folder / L"record.txt";
    const std::wstring strStart = L"/out=" + strOutput + L" /pad=";
    // As built: the quoted program, a blank, the parameters.
    const size_t cchLongest = CHProcess::CommandLineBufferSize - 1;
    const size_t cchFixed = ProbePath().size() + 2 + 1 + strStart.size();
    const std::wstring strParameters = strStart + std::wstring(cchLongest - cchFixed, L'p');

    CHProcess process;
    process.Run(ProbePath(), strParameters, L"");
    ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    auto record = ReadProcessProbeRecord(strOutput);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->strCommandLine.size(), cchLongest);
    ASSERT_EQ(record->args.size(), 2u);
    EXPECT_EQ(record->args[1], L"/pad=" + std::wstring(cchLongest - cchFixed, L'p'));

    CHException e = CatchThrown([&] { process.Run(ProbePath(), strParameters + L"p", L""); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{1011, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"Memory buffer too small.\n");
    // The object no longer holds the first process.
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { process.GetExitCode(); })).front(), 2005);
}

TEST(CHProcess, AProcessDescendsFromItselfAndFromWhatStartedItEvenOnceItHasEnded)
{
    CHProcess child;
    child.Run(ProbePath(), L"", L"");
    ASSERT_EQ(child.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0) << "the child has ended; its handle is still held";
    const HANDLE hSelf = ::GetCurrentProcess(), hChild = child.GetProcessHandle();
    const struct
    {
        const char* pszName;
        HANDLE hProcess, hAncestor;
        bool bDescends;
    } cases[] = {
        {"itself", hSelf, hSelf, true},
        {"its child", hChild, hSelf, true},
        {"the child's parent", hSelf, hChild, false},
        {"no process", nullptr, hSelf, false},
    };
    for (const auto& test : cases)
        EXPECT_EQ(CHProcess::IsSelfOrDescendantOf(test.hProcess, test.hAncestor), test.bDescends) << test.pszName;
}

TEST(CHProcess, AttachAndIsRunningFindTheModuleInAnyLetterCase)
{
    CTempFolder folder(L"attach");
    // A module name of this test's own, so that probes of other tests never match.
    const std::wstring strBaseName = L"HsProbe" + UniqueSuffix();
    const std::wstring strProgram = folder / (strBaseName + L".exe");
    ASSERT_TRUE(::CopyFileW(ProbePath().c_str(), strProgram.c_str(), TRUE));
    CReleaseEvent release;
    CHProcess started;
    started.Run(strProgram, L"/exit=5 /wait=" + release.Name() + L" /out=" + (folder / L"r.txt"), L"");
    ASSERT_TRUE(AwaitRecord(folder / L"r.txt"));

    EXPECT_TRUE(CHProcess::IsRunning(Lower(strBaseName)));
    EXPECT_TRUE(CHProcess::IsRunning(Upper(strBaseName + L".exe")));
    EXPECT_TRUE(CHProcess::IsRunning(strBaseName.substr(2)));  // any part of the name
    // The name is looked for inside the module's base name only.
    EXPECT_FALSE(CHProcess::IsRunning(strProgram));
    EXPECT_FALSE(CHProcess::IsRunning(strBaseName + L"0"));

    CHProcess attached;
    ASSERT_TRUE(attached.Attach(Upper(strBaseName), SYNCHRONIZE));
    EXPECT_EQ(attached.GetProcessId(), started.GetProcessId());
    EXPECT_EQ(attached.GetExitCode(), STILL_ACTIVE);
    EXPECT_EQ(attached.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
    release.Release();
    ASSERT_EQ(attached.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
    EXPECT_EQ(attached.GetExitCode(), 5u);

    started.Close();
    attached.Close();
    EXPECT_FALSE(CHProcess::IsRunning(strBaseName));
    // A failed Attach leaves the object empty.
    EXPECT_FALSE(attached.Attach(strBaseName, 0));
    EXPECT_EQ(ErrorCodesOf(CatchThrown([&] { attached.GetExitCode(); })).front(), 2005);
}

// Wine starts every program without asking for elevation, so the refusal is
// made where the process is created.
TEST(CHProcess, AProgramThatNeedsElevationIsStartedThroughTheShellOtherRefusalsStand)
{
    CTempFolder folder(L"elevate");
    {
        CProcessCreationFailure refusal(740, 1);
        CHProcess process;
        process.Run(ProbePath(), L"/exit=5 /out=" + (folder / L"r.txt") + L" \"two words\"", folder.Path());
        ASSERT_EQ(process.Wait(g_dwProcessTimeoutMs), WAIT_OBJECT_0);
        EXPECT_EQ(process.GetExitCode(), 5u) << "the caller can still wait for it";
        EXPECT_EQ(::GetProcessId(process.GetProcessHandle()), process.GetProcessId());
        const auto record = ReadProcessProbeRecord(folder / L"r.txt");
        ASSERT_TRUE(record) << "the shell did not start it";
        EXPECT_EQ(record->args, (std::vector<std::wstring>{L"/exit=5", L"/out=" + (folder / L"r.txt"), L"two words"}));
        EXPECT_EQ(WithoutTrailingSeparator(record->strCurrentDirectory), folder.Path());
    }
    for (const DWORD dwError : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_ACCESS_DISABLED_BY_POLICY}}) {
        CProcessCreationFailure refusal(dwError, 1);
        CHProcess process;
        const CHException e = CatchThrown([&] { process.Run(ProbePath(), L"/out=" + (folder / L"x.txt"), L""); });
        EXPECT_EQ(ErrorCodesOf(e).front(), HResultFromWin32(dwError));
        EXPECT_EQ(CProcessCreationFailure::Calls(), 1) << "no second try";
    }
    EXPECT_FALSE(Exists(folder / L"x.txt"));
}
