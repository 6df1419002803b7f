// deletebench: how long CHFileUtilities::DeleteDirectory takes to delete a
// tree of 20,000 small files in 2,000 folders, against the command
// interpreter's own "rd /s /q" deleting an identical tree, in the same run.
//
// Each tree is generated afresh with plain Win32 calls in %TEMP% just before
// it is deleted. "rd" runs in a cmd.exe started for it, so its figure
// includes starting that process (a few milliseconds). The deletion should
// take at most 1.2 times as long as "rd". The program prints the figures; it
// judges nothing. Usage: deletebench [rounds] (default 1).
#include <windows.h>

#include "BenchSupport.h"
#include "BenchTree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"

namespace {

bool Exists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---------------------------------------------------------------------------
// The two deletions

double DeleteWithLibrary(const std::wstring& strRoot)
{
    LONGLONG nStart = Now();
    CHFileUtilities::DeleteDirectory(strRoot);
    return Seconds(Now() - nStart);
}

double DeleteWithRd(const std::wstring& strRoot)
{
    wchar_t szSystem[MAX_PATH] = {};
    ::GetSystemDirectoryW(szSystem, MAX_PATH);
    const std::wstring strCmd = std::wstring(szSystem) + L"\\cmd.exe";
    std::wstring strCommandLine = L"\"" + strCmd + L"\" /c rd /s /q \"" + strRoot + L"\"";

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    LONGLONG nStart = Now();
    if (!::CreateProcessW(strCmd.c_str(), strCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
        BenchTree::Fail(L"starting", strCommandLine);
    ::WaitForSingleObject(info.hProcess, INFINITE);
    double dSeconds = Seconds(Now() - nStart);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return dSeconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        int nRounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 1;
        const std::wstring strBase =
            CHFileUtilities::GetTempDirectory() + L"deletebench_" + std::to_wstring(::GetCurrentProcessId());
        std::printf("deleting %d files in %d folders (seconds)\n\n", BenchTree::kFiles, BenchTree::kFolders);
        std::printf("%5s %12s %12s %8s\n", "round", "library", "rd /s /q", "ratio");
        for (int nRound = 1; nRound <= nRounds; ++nRound) {
            const std::wstring strLibraryTree = strBase + L"_library", strRdTree = strBase + L"_rd";
            BenchTree::Generate(strLibraryTree);
            double dLibrary = DeleteWithLibrary(strLibraryTree);
            BenchTree::Generate(strRdTree);
            double dRd = DeleteWithRd(strRdTree);
            std::printf("%5d %12.3f %12.3f %8.2f%s\n", nRound, dLibrary, dRd, dLibrary / dRd,
                        Exists(strLibraryTree) || Exists(strRdTree) ? "  (a tree was left behind!)" : "");
        }
        std::printf("\nratio = library / rd; at most 1.2 wanted\n");
        return 0;
    } catch (CHException& e) {
        std::fwprintf(stderr, L"%ls\n", e.GetDescription(1).c_str());
        return 1;
    }
}
