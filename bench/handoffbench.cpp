// handoffbench: how long the launcher takes to hand over from the medium to
// the running installer, against the floor of starting that installer
// directly twice in a row (stage one and its copy are two process starts
// before the installer's own).
//
// Each round builds a medium in %TEMP% (InstallerShim.exe, an "autorun.inf",
// FakeInstaller.exe as Setup\HalvikInstaller.exe, all from this program's
// folder), then:
// - hand-off: from starting InstallerShim.exe from the medium until the fake
//   installer signals a named event as its first act;
// - floor: starting FakeInstaller.exe directly and waiting for its event,
//   twice in a row;
// - full run: from the same start until the launcher's copy in %TEMP% has
//   ended, and the overhead left after taking off the installer's own run
//   time (its event until its exit) and the one second the launcher waits
//   before it reads the answer.
// The ratio hand-off / floor should be at most 1.5. The program prints the
// figures; it judges nothing. It uses the launcher's fixed pipe, lock and
// copy in %TEMP%: run it alone in its prefix. Usage: handoffbench [rounds]
// (default 5).
#include <windows.h>
#include <tlhelp32.h>

#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD g_dwWaitMs = 30000;

[[noreturn]] void Fail(const wchar_t* pszWhat, const std::wstring& strDetail)
{
    const DWORD dwError = ::GetLastError();
    std::fwprintf(stderr, L"handoffbench: %ls %ls failed: %lu\n", pszWhat, strDetail.c_str(), dwError);
    std::exit(1);
}


std::wstring TempFolder()
{
    wchar_t szTemp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, szTemp);
    return szTemp;
}

void WriteBytes(const std::wstring& strPath, const std::string& bytes)
{
    HANDLE hFile =
        ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        Fail(L"writing", strPath);
    DWORD cbWritten = 0;
    ::WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr);
    ::CloseHandle(hFile);
}

void Copy(const std::wstring& strFrom, const std::wstring& strTo)
{
    if (!::CopyFileW(strFrom.c_str(), strTo.c_str(), FALSE))
        Fail(L"copying to", strTo);
}

HANDLE Start(const std::wstring& strProgram, const std::wstring& strArguments)
{
    std::wstring strCommand = L"\"" + strProgram + L"\" " + strArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(strProgram.c_str(), strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
        Fail(L"starting", strProgram);
    ::CloseHandle(info.hThread);
    return info.hProcess;
}

void Wait(HANDLE hObject, const wchar_t* pszWhat)
{
    if (::WaitForSingleObject(hObject, g_dwWaitMs) != WAIT_OBJECT_0)
        Fail(L"waiting for", pszWhat);
}

// A running process whose executable is that file, opened for waiting.
HANDLE OpenProcessOfImage(const std::wstring& strImage)
{
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    HANDLE hFound = nullptr;
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore && !hFound;
         bMore = ::Process32NextW(hSnapshot, &entry)) {
        HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!hProcess)
            continue;
        wchar_t szImage[MAX_PATH] = {};
        DWORD cchImage = MAX_PATH;
        if (::QueryFullProcessImageNameW(hProcess, 0, szImage, &cchImage) &&
            ::CompareStringOrdinal(szImage, -1, strImage.c_str(), -1, TRUE) == CSTR_EQUAL &&
            ::WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT)
            hFound = hProcess;
        else
            ::CloseHandle(hProcess);
    }
    ::CloseHandle(hSnapshot);
    if (!hFound)
        Fail(L"finding the process of", strImage);
    return hFound;
}

struct CMedium
{
    std::wstring strFolder, strLauncher, strInstaller;
};

CMedium BuildMedium(const std::wstring& strFolder)
{
    CMedium medium{strFolder, strFolder + L"\\InstallerShim.exe", strFolder + L"\\Setup\\HalvikInstaller.exe"};
    if (!::CreateDirectoryW(strFolder.c_str(), nullptr) ||
        !::CreateDirectoryW((strFolder + L"\\Setup").c_str(), nullptr))
        Fail(L"creating", strFolder);
    Copy(OwnFolder() + L"InstallerShim.exe", medium.strLauncher);
    Copy(OwnFolder() + L"FakeInstaller.exe", medium.strInstaller);
    WriteBytes(strFolder + L"\\autorun.inf",
               "[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\nrunWorkingFolder=Setup\r\n");
    // An answer that starts nothing: UTF-16LE with its mark.
    std::string answer = "\xFF\xFE";
    for (char ch : std::string("language=en-uk\n"))
        answer += {ch, '\0'};
    WriteBytes(strFolder + L"\\answer.bin", answer);
    return medium;
}

void RemoveMedium(const CMedium& medium)
{
    for (const std::wstring& strFile : {medium.strLauncher, medium.strInstaller, medium.strInstaller + L".started",
                                        medium.strFolder + L"\\autorun.inf", medium.strFolder + L"\\answer.bin"})
        ::DeleteFileW(strFile.c_str());
    ::RemoveDirectoryW((medium.strFolder + L"\\Setup").c_str());
    ::RemoveDirectoryW(medium.strFolder.c_str());
}

// The system's clock, for comparing with the times processes report.
double SystemSeconds()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<double>(now.dwHighDateTime) * 4294967296.0 + now.dwLowDateTime) / 1e7;
}

double CreationSeconds(HANDLE hProcess, bool bExit = false)
{
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(hProcess, &creation, &exit, &kernel, &user))
        Fail(L"reading the times of", L"a process");
    const FILETIME& time = bExit ? exit : creation;
    return (static_cast<double>(time.dwHighDateTime) * 4294967296.0 + time.dwLowDateTime) / 1e7;
}

struct CRound
{
    double dHandoff = 0, dFloor = 0, dFullRun = 0, dInstaller = 0;
    double dStageOne = 0, dCopyToInstaller = 0; // where the hand-off's time goes
    double Overhead() const { return dFullRun - dInstaller - 1.0; }
};

double TwoDirectStarts(const CMedium& medium, HANDLE hEvent, const std::wstring& strEvent)
{
    const LONGLONG nStart = Now();
    for (int i = 0; i < 2; ++i) {
        ::ResetEvent(hEvent);
        HANDLE hProcess = Start(medium.strInstaller, L"/started=" + strEvent);
        Wait(hEvent, L"the installer started directly");
        ::CloseHandle(hProcess);
    }
    const double dSeconds = Seconds(Now() - nStart);
    ::Sleep(200); // let both end before the launcher's round
    return dSeconds;
}

CRound RunRound(const CMedium& medium, int nRound)
{
    const std::wstring strEvent =
        L"hs_handoffbench_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(nRound);
    HANDLE hEvent = ::CreateEventW(nullptr, TRUE, FALSE, strEvent.c_str());
    if (!hEvent)
        Fail(L"creating the event", strEvent);
    CRound round;
    round.dFloor = TwoDirectStarts(medium, hEvent, strEvent);

    ::ResetEvent(hEvent);
    const LONGLONG nStart = Now();
    HANDLE hStageOne =
        Start(medium.strLauncher, L"/started=" + strEvent + L" /answer=" + medium.strFolder + L"\\answer.bin");
    Wait(hEvent, L"the installer started by the launcher");
    const LONGLONG nInstallerRunning = Now();
    const double dInstallerRunning = SystemSeconds();
    round.dHandoff = Seconds(nInstallerRunning - nStart);
    // The copy waits for the installer now, so both can be found.
    HANDLE hInstaller = OpenProcessOfImage(medium.strInstaller);
    HANDLE hCopy = OpenProcessOfImage(TempFolder() + L"InstallerShim.exe");
    Wait(hInstaller, L"the installer's end");
    round.dInstaller = Seconds(Now() - nInstallerRunning);
    Wait(hCopy, L"the launcher's copy");
    round.dFullRun = Seconds(Now() - nStart);
    Wait(hStageOne, L"stage one");
    round.dStageOne = CreationSeconds(hStageOne, true) - CreationSeconds(hStageOne);
    round.dCopyToInstaller = dInstallerRunning - CreationSeconds(hCopy);

    for (HANDLE h : {hEvent, hStageOne, hInstaller, hCopy})
        ::CloseHandle(h);
    return round;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int nRounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    const CMedium medium = BuildMedium(TempFolder() + L"handoffbench_" + std::to_wstring(::GetCurrentProcessId()));

    std::printf("hand-off from the medium to the running installer (seconds)\n\n");
    std::printf("%5s %9s %11s %7s %9s %10s %9s %10s %15s\n", "round", "hand-off", "2 starts", "ratio", "full run",
                "installer", "overhead", "stage one", "copy->installer");
    std::vector<double> handoffs, floors, ratios, overheads;
    for (int nRound = 1; nRound <= nRounds; ++nRound) {
        const CRound round = RunRound(medium, nRound);
        std::printf("%5d %9.3f %11.3f %7.2f %9.3f %10.3f %9.3f %10.3f %15.3f\n", nRound, round.dHandoff, round.dFloor,
                    round.dHandoff / round.dFloor, round.dFullRun, round.dInstaller, round.Overhead(), round.dStageOne,
                    round.dCopyToInstaller);
        handoffs.push_back(round.dHandoff);
        floors.push_back(round.dFloor);
        ratios.push_back(round.dHandoff / round.dFloor);
        overheads.push_back(round.Overhead());
    }
    std::printf("%5s %9.3f %11.3f %7.2f %9s %10s %9.3f\n", "median", Median(handoffs), Median(floors), Median(ratios),
                "", "", Median(overheads));
    std::printf("\nratio = hand-off / two direct starts of the installer; at most 1.5 wanted\n"
                "overhead = full run - the installer's own run time - the 1 s before the answer is read\n"
                "stage one = its life from creation to exit; copy->installer = from the copy's creation until the\n"
                "installer runs (the copy first waits for stage one's instance lock)\n");

    RemoveMedium(medium);
    ::DeleteFileW((TempFolder() + L"InstallerShim.exe").c_str());
    return 0;
}
