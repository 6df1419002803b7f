// answercheck [/timeout=SECONDS] INSTALLER [ARGS...]
// answercheck --answer FILE
//
// Tells an installer author what the launcher makes of the installer's
// answer. The first form serves \\.\pipe\HulvsInstaller with the launcher's
// own pipe server, starts the installer with the arguments as the launcher's
// copy does, waits for it (at most SECONDS, 300 by default: an installer
// still running then is ended) and takes the answer it sent; the second
// reads an answer saved in a file, as the bytes the installer would send.
//
// It prints, on standard output in UTF-8, what the launcher would do: each
// autorun as it would be started, the language, the delete flag and, after
// an installer run, what the exit code leads to. Then the pitfalls that the
// launcher passes over in silence, one per line:
//
//   SOURCE(LINE,COLUMN): finding     (SOURCE: the file, or the pipe)
//
// Exit code 0 when there is no finding, 1 when there are findings, 2 when it
// could not run (bad usage, a file that cannot be read, an installer that
// does not start, the pipe served by another process).
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "InstallerShim/AnswerPipeServer.h"
#include "InstallerShim/InstallUtils.h"
#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "tools/answercheck/AnswerCheck.h"
#include "tools/common/ToolSupport.h"

namespace {

constexpr wchar_t kTimeoutSwitch[] = L"/timeout=";
constexpr wchar_t kAnswerSwitch[] = L"--answer";
constexpr DWORD kDefaultTimeoutSeconds = 300;
constexpr DWORD kMaxTimeoutSeconds = 24 * 60 * 60;

// Thrown for a command line that names no run.
struct CBadUsage
{};

struct COptions
{
    DWORD dwTimeoutSeconds = kDefaultTimeoutSeconds;
    std::wstring strAnswerFile;
    std::wstring strInstaller;
    std::wstring strArguments;  // the installer's, one blank apart
};

// An argument as the installer's command line carries it.
std::wstring AsWritten(const std::wstring& strArgument)
{
    return strArgument.empty() || strArgument.find_first_of(L" \t") != std::wstring::npos ? L"\"" + strArgument + L"\""
                                                                                          : strArgument;
}

COptions ParseOptions(int argc, wchar_t** argv)
{
    COptions options;
    int i = 1;
    if (i < argc && std::wcsncmp(argv[i], kTimeoutSwitch, std::wcslen(kTimeoutSwitch)) == 0) {
        wchar_t* pEnd = nullptr;
        const unsigned long nSeconds = std::wcstoul(argv[i] + std::wcslen(kTimeoutSwitch), &pEnd, 10);
        if (*pEnd != L'\0' || nSeconds == 0 || nSeconds > kMaxTimeoutSeconds)
            throw CBadUsage();
        options.dwTimeoutSeconds = static_cast<DWORD>(nSeconds);
        ++i;
    }
    if (i < argc && std::wcscmp(argv[i], kAnswerSwitch) == 0) {
        if (i != 1 || argc != 3)
            throw CBadUsage();
        options.strAnswerFile = argv[2];
        return options;
    }
    if (i >= argc || argv[i][0] == L'/' || argv[i][0] == L'-')
        throw CBadUsage();
    options.strInstaller = argv[i++];
    for (; i < argc; ++i)
        options.strArguments += (options.strArguments.empty() ? L"" : L" ") + AsWritten(argv[i]);
    return options;
}

// A saved answer, taken as the pipe would hand it over.
CAnswerCheck CheckSavedAnswer(const std::wstring& strFile)
{
    HTRY {
        CAnswerPipeServer::CReceipt receipt;
        receipt.bPipeCreated = receipt.bInstallerConnected = true;
        receipt.bytes = ToolSupport::ReadFileBytes(strFile);
        receipt.cbSent = receipt.bytes.size();
        if (receipt.cbSent > CAnswerPipeServer::MaxAnswerBytes) {
            receipt.bRefused = true;
            receipt.bytes.clear();
        }
        CAnswerCheck check(strFile);
        check.CheckAnswer(receipt, CAnswerPipeServer::ParseAnswer(receipt.bytes));
        return check;
    } HCATCH
}

// The installer run as the launcher's copy runs it, its answer served by the same pipe server.
CAnswerCheck CheckInstallerRun(const COptions& options)
{
    HTRY {
        const std::wstring strInstaller =
            CHFileUtilities::MakeAbsolutePath(CHFileUtilities::GetCurrentDirectoryW(), options.strInstaller);
        // The shell would open a folder in a window of its own.
        if (CHFileUtilities::IsDirectory(strInstaller))
            throw CHException::FromWin32Error(ERROR_DIRECTORY, HSITE).AddValue(L"File", strInstaller);
        CInstallUtils run;
        run.SetInstallerTimeout(options.dwTimeoutSeconds * 1000);
        bool bReboot = false;
        run.RunInstallerAndGetAutorunInfo(strInstaller, options.strArguments, L"", bReboot);

        const CAnswerPipeServer::CReceipt& receipt = run.GetReceipt();
        if (!receipt.bPipeCreated)
            throw CHException::FromWin32Error(ERROR_PIPE_BUSY, HSITE).AddValue(L"Pipe", CAnswerPipeServer::PipeName);
        InstallParsers::CInstallerAnswer answer;
        answer.autoruns = run.GetAutoruns();
        answer.strLanguage = run.GetUILanguage();
        answer.bDeleteFiles = run.GetDeleteFiles();

        CAnswerCheck check(CAnswerPipeServer::PipeName);
        check.CheckAnswer(receipt, answer);
        if (run.InstallerTimedOut())
            check.Report(L"the installer did not end within " + std::to_wstring(options.dwTimeoutSeconds) +
                         L" s: answercheck ended it (the launcher waits for it as long as it runs)");
        else
            check.DescribeExitCode(run.GetInstallerExitCode(), answer);
        if (receipt.nClientsTurnedAway > 0)
            check.Report(std::to_wstring(receipt.nClientsTurnedAway) +
                         L" client(s) that the installer did not start connected and were turned away");
        return check;
    } HCATCH
}

const wchar_t kUsage[] =
    L"usage: answercheck [/timeout=SECONDS] INSTALLER [ARGS...]\n"
    L"       answercheck --answer FILE\n"
    L"  runs INSTALLER with ARGS (or reads a saved answer from FILE) and tells what the launcher makes of the\n"
    L"  answer on \\\\.\\pipe\\HulvsInstaller; an installer still running after SECONDS (300) is ended\n";

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        const COptions options = ParseOptions(argc, argv);
        const CAnswerCheck check =
            options.strAnswerFile.empty() ? CheckInstallerRun(options) : CheckSavedAnswer(options.strAnswerFile);
        ToolSupport::WriteUtf8(STD_OUTPUT_HANDLE, check.GetDescription() + check.GetFindings());
        return check.HasFindings() ? 1 : 0;
    } catch (const CBadUsage&) {
        ToolSupport::WriteUtf8(STD_ERROR_HANDLE, kUsage);
    } catch (const CHException& e) {
        ToolSupport::WriteUtf8(STD_ERROR_HANDLE, L"answercheck: " + ToolSupport::OneLineDescription(e) + L"\n");
    }
    return 2;
}
