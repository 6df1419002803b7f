// handoffbench: how long the launcher takes to hand over from the medium to
// the running installer, against the floor of what that hand-over cannot
// avoid, measured in the same run, and where the time between them goes.
//
// The program builds a medium in %TEMP% (InstallerShim.exe, an "autorun.inf",
// FakeInstaller.exe as Setup\HalvikInstaller.exe, an answer that starts
// nothing, and HandoffFloorProgram.exe beside them, all from this program's
// folder). Each round then measures, one after the other:
// - floor: the sum of four shares, each timed on its own: two starts of
//   HandoffFloorProgram.exe (a do-nothing GUI program of the launcher's kind:
//   static, one top-level window never shown, destroyed, the end), each
//   waited for until it has ended; one start of the fake installer, waited
//   for until it signals a named event as its first act; and one CopyFileW of
//   the medium's InstallerShim.exe to a name of its own in %TEMP% (where
//   stage one copies it into a folder of its own). What that folder costs
//   (the search of %TEMP% for earlier copies' folders and CreateDirectoryW)
//   is timed too, and printed as a share of the hand-off.
//   The fake installer is a console program, and started from here it shares
//   this program's console. The launcher has none, so the installer it starts
//   gets a console of its own (Wine starts a console host, conhost.exe, for
//   it). The round therefore also times a direct start with CREATE_NEW_CONSOLE;
//   that figure is printed beside the floor, not added to it.
// - hand-off: from starting InstallerShim.exe from the medium until the fake
//   installer signals its event. Stage one reads autorun.inf, copies itself
//   into a new folder "InstallerShim-<16 hexadecimal digits>" in %TEMP%, starts the copy with "/run=..." and ends; the copy takes the
//   instance lock, creates its never-shown window and starts the installer.
//   Nothing watches the launcher meanwhile: this run gives the ratio.
// - full run: from the same start until the copy has ended, and the overhead
//   left after taking off the installer's own run (its event until its exit)
//   and the one second the copy waits before it reads the answer. The
//   installer waits on a second event after its first, so that it can be
//   found running; this program sets that event as soon as it has it.
// - observed hand-off: the hand-off once more, now watched from outside for
//   the moments between its start and the installer's event. Polled about
//   once a millisecond while waiting for the event: the instance lock's mutex
//   exists (stage one has taken the lock), stage one's marker window exists
//   and has gone again (between them stage one reads autorun.inf), the copy
//   in its folder in %TEMP% exists and has the launcher's size, the copy's marker window
//   exists (stage two has its lock and is about to start the installer), and
//   the copy's process is in a toolhelp snapshot. Read afterwards from the
//   processes' times: stage one's creation and exit, the copy's creation, the
//   installer's and its console host's creation. A process's creation time is
//   taken when the system creates its process object, before its image runs;
//   a polled moment is the time the poll that saw it returned. The polls
//   cost the launcher some time (Wine's server is shared): the observed
//   hand-off beside the plain one shows how much, and the plain runs' own
//   process times are shown too.
// The two hand-offs take turns going first, and one round before the counted
// ones warms the file cache and the loader up. "Where the rest goes" lays
// the hand-off's path out in three stretches at the processes' creations
// (stage one until the copy's process, stage two until the installer's
// process, the installer until its event), from the plain runs, each beside
// the floor's share it stands for (the first program's life and the copy, the
// second program's life, the installer's direct start), and splits each at
// the polled moments of the observed runs; all from the medians of the
// rounds. On a machine where other work comes and goes, the medians move
// with it; the best round of each (hand-off and floor alike) is printed
// beside them, as the figure least touched by it.
//
// The ratio hand-off / floor should be at most 1.3. The program prints the
// figures; it judges nothing. It uses the launcher's fixed pipe and lock, and
// removes its copies in %TEMP%: run it alone in its prefix. Usage: handoffbench [rounds]
// (default 5).
#include <windows.h>
#include <tlhelp32.h>

#include "BenchSupport.h"
#include "RAde/HUniqueHandle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 30000;
constexpr DWORD kPollMs = 1;
constexpr wchar_t kLauncherName[] = L"InstallerShim.exe";
constexpr wchar_t kFloorProgramName[] = L"HandoffFloorProgram.exe";
// What every launcher run creates first: the instance lock's mutex (its name
// as the launcher makes it a kernel object name) and the class of its
// never-shown marker window.
constexpr wchar_t kInstanceLockName[] = L"CREATINGWINDOW_HUIL_INSTALLERSHIM";
constexpr wchar_t kMarkerWindowClass[] = L"HUIL InstallerShim";
// A moment not seen; figures made from it are not seen either.
constexpr double kNotSeen = std::numeric_limits<double>::quiet_NaN();

bool Seen(double dSeconds)
{
    return !std::isnan(dSeconds);
}

struct CMedium
{
    std::wstring strFolder, strLauncher, strInstaller, strFloorProgram, strAnswer;
};

// The medium, removed also when the benchmark fails.
const CMedium* g_pMedium = nullptr;

void RemoveMedium(const CMedium& medium)
{
    for (const std::wstring& strFile : {medium.strLauncher, medium.strInstaller, medium.strInstaller + L".started",
                                        medium.strFloorProgram, medium.strAnswer, medium.strFolder + L"\\autorun.inf"})
        ::DeleteFileW(strFile.c_str());
    ::RemoveDirectoryW((medium.strFolder + L"\\Setup").c_str());
    ::RemoveDirectoryW(medium.strFolder.c_str());
}

[[noreturn]] void Fail(const wchar_t* pszWhat, const std::wstring& strDetail)
{
    const DWORD dwError = ::GetLastError();
    std::fwprintf(stderr, L"handoffbench: %ls %ls failed: %lu\n", pszWhat, strDetail.c_str(), dwError);
    if (g_pMedium)
        RemoveMedium(*g_pMedium);
    std::exit(1);
}

std::wstring TempFolder()
{
    wchar_t szTemp[MAX_PATH + 1] = {};
    if (!::GetTempPathW(MAX_PATH + 1, szTemp))
        Fail(L"reading", L"%TEMP%");
    return szTemp;
}

void WriteBytes(const std::wstring& strPath, const std::string& bytes)
{
    const CHFileHandle file(
        ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD cbWritten = 0;
    if (!file || !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr))
        Fail(L"writing", strPath);
}

void Copy(const std::wstring& strFrom, const std::wstring& strTo)
{
    if (!::CopyFileW(strFrom.c_str(), strTo.c_str(), FALSE))
        Fail(L"copying to", strTo);
}

// The file's size, or -1 when it does not exist (yet).
LONGLONG FileSize(const std::wstring& strPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return static_cast<LONGLONG>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Deletes a file that a process which has just ended may still hold.
void RemoveFile(const std::wstring& strPath)
{
    const LONGLONG nStart = Now();
    while (!::DeleteFileW(strPath.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        if (Seconds(Now() - nStart) * 1000 > kWaitMs)
            Fail(L"deleting", strPath);
        ::Sleep(10);
    }
}

CHKernelHandle Start(const std::wstring& strProgram, const std::wstring& strArguments, DWORD dwFlags = 0)
{
    std::wstring strCommand = L"\"" + strProgram + L"\" " + strArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(strProgram.c_str(), strCommand.data(), nullptr, nullptr, FALSE, dwFlags, nullptr, nullptr,
                          &startup, &info))
        Fail(L"starting", strProgram);
    const CHKernelHandle thread(info.hThread);
    return CHKernelHandle(info.hProcess);
}

void Wait(HANDLE hObject, const wchar_t* pszWhat)
{
    if (::WaitForSingleObject(hObject, kWaitMs) != WAIT_OBJECT_0)
        Fail(L"waiting for", pszWhat);
}

CHKernelHandle CreateNamedEvent(const std::wstring& strName)
{
    CHKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, strName.c_str()));
    if (!event)
        Fail(L"creating the event", strName);
    return event;
}

// The first running process with that executable name (any folder) that
// accepts takes, opened for waiting and for its times; none when there is none.
CHKernelHandle FindRunningProcess(const wchar_t* pszName,
                                  const std::function<bool(const PROCESSENTRY32W&, HANDLE)>& accepts)
{
    const CHFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        Fail(L"taking a snapshot of", L"the processes");
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = ::Process32FirstW(snapshot.Get(), &entry); bMore;
         bMore = ::Process32NextW(snapshot.Get(), &entry)) {
        const wchar_t* pszSeparator = std::wcsrchr(entry.szExeFile, L'\\');
        if (::CompareStringOrdinal(pszSeparator ? pszSeparator + 1 : entry.szExeFile, -1, pszName, -1, TRUE) !=
            CSTR_EQUAL)
            continue;
        CHKernelHandle process(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && ::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT && accepts(entry, process.Get()))
            return process;
    }
    return CHKernelHandle();
}

// A running process whose executable's full path begins with strPrefix
// (stage one has the copy's name: the path tells them apart).
CHKernelHandle FindProcessOfImage(const std::wstring& strPrefix, const wchar_t* pszName)
{
    return FindRunningProcess(pszName, [&](const PROCESSENTRY32W&, HANDLE hProcess) {
        wchar_t szImage[MAX_PATH] = {};
        DWORD cchImage = MAX_PATH;
        return ::QueryFullProcessImageNameW(hProcess, 0, szImage, &cchImage) && cchImage >= strPrefix.size() &&
               ::CompareStringOrdinal(szImage, static_cast<int>(strPrefix.size()), strPrefix.c_str(),
                                      static_cast<int>(strPrefix.size()), TRUE) == CSTR_EQUAL;
    });
}

CHKernelHandle FindProcessOfImage(const std::wstring& strImage)
{
    return FindProcessOfImage(strImage, strImage.substr(strImage.find_last_of(L'\\') + 1).c_str());
}

// Stage one copies the launcher into a folder of its own in %TEMP%:
// "InstallerShim-" and 16 hexadecimal digits.
std::wstring CopyFolderPrefix()
{
    return TempFolder() + L"InstallerShim-";
}

// The copy stage one made, or "" while there is none.
std::wstring FindTempCopy()
{
    WIN32_FIND_DATAW data;
    const CHFindHandle find(::FindFirstFileW((CopyFolderPrefix() + L"*").c_str(), &data));
    return find ? TempFolder() + data.cFileName + L"\\" + kLauncherName : std::wstring();
}

// The copies of earlier rounds (stage one of the next run would remove them too).
void RemoveTempCopies()
{
    for (std::wstring strCopy = FindTempCopy(); !strCopy.empty(); strCopy = FindTempCopy()) {
        RemoveFile(strCopy);
        ::RemoveDirectoryW(strCopy.substr(0, strCopy.find_last_of(L'\\')).c_str());
    }
}

// A running child of that process with that executable name (any folder).
CHKernelHandle FindChildProcess(DWORD dwParentId, const wchar_t* pszName)
{
    return FindRunningProcess(
        pszName, [&](const PROCESSENTRY32W& entry, HANDLE) { return entry.th32ParentProcessID == dwParentId; });
}

CHKernelHandle OpenProcessOfImage(const std::wstring& strImage)
{
    CHKernelHandle process = FindProcessOfImage(strImage);
    if (!process)
        Fail(L"finding the process of", strImage);
    return process;
}

CHKernelHandle OpenTempCopyProcess()
{
    CHKernelHandle process = FindProcessOfImage(CopyFolderPrefix(), kLauncherName);
    if (!process)
        Fail(L"finding the process of", L"the copy in %TEMP%");
    return process;
}

// The system's clock, which the processes' times are read in.
double SystemSeconds()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<double>(now.dwHighDateTime) * 4294967296.0 + now.dwLowDateTime) / 1e7;
}

enum class EProcessTime
{
    Creation,
    Exit
};

double ProcessSeconds(HANDLE hProcess, EProcessTime time)
{
    FILETIME creation, exit, kernel, user;
    if (!::GetProcessTimes(hProcess, &creation, &exit, &kernel, &user))
        Fail(L"reading the times of", L"a process");
    const FILETIME& moment = time == EProcessTime::Creation ? creation : exit;
    return (static_cast<double>(moment.dwHighDateTime) * 4294967296.0 + moment.dwLowDateTime) / 1e7;
}

CMedium BuildMedium(const std::wstring& strFolder)
{
    CMedium medium{strFolder, strFolder + L"\\" + kLauncherName, strFolder + L"\\Setup\\HalvikInstaller.exe",
                   strFolder + L"\\" + kFloorProgramName, strFolder + L"\\answer.bin"};
    if (!::CreateDirectoryW(strFolder.c_str(), nullptr) ||
        !::CreateDirectoryW((strFolder + L"\\Setup").c_str(), nullptr))
        Fail(L"creating", strFolder);
    Copy(OwnFolder() + kLauncherName, medium.strLauncher);
    Copy(OwnFolder() + L"FakeInstaller.exe", medium.strInstaller);
    Copy(OwnFolder() + kFloorProgramName, medium.strFloorProgram);
    WriteBytes(strFolder + L"\\autorun.inf",
               "[InstallerShim]\r\nrun=Setup\\HalvikInstaller.exe\r\nrunWorkingFolder=Setup\r\n");
    // An answer that starts nothing: UTF-16LE with its mark.
    std::string answer = "\xFF\xFE";
    for (char ch : std::string("language=en-uk\n"))
        answer += {ch, '\0'};
    WriteBytes(medium.strAnswer, answer);
    return medium;
}

// ---------------------------------------------------------------------------
// The floor

struct CFloor
{
    double dProgram1 = 0, dProgram2 = 0, dInstaller = 0, dCopy = 0;
    // Not in the floor: the installer started with a console of its own, and
    // what the copy's own folder costs (the search of %TEMP% for the folders
    // of earlier copies and the creation of a new one).
    double dInstallerOwnConsole = 0, dCopyFolder = 0;
    double Total() const { return dProgram1 + dProgram2 + dInstaller + dCopy; }
};

double ProgramLife(const CMedium& medium)
{
    const LONGLONG nStart = Now();
    const CHKernelHandle process = Start(medium.strFloorProgram, L"");
    Wait(process.Get(), L"the floor program's end");
    const double dSeconds = Seconds(Now() - nStart);
    DWORD dwExitCode = 0;
    if (!::GetExitCodeProcess(process.Get(), &dwExitCode) || dwExitCode != 0)
        Fail(L"creating the window of", medium.strFloorProgram);
    return dSeconds;
}

// The fake installer is a console program: without dwFlags it shares this
// program's console, with CREATE_NEW_CONSOLE it gets one of its own, as it
// does when the launcher (which has none) starts it.
double InstallerUntilEvent(const CMedium& medium, const std::wstring& strTag, DWORD dwFlags)
{
    const std::wstring strStarted = L"hs_handoffbench_floor_" + strTag;
    const CHKernelHandle started = CreateNamedEvent(strStarted);
    const LONGLONG nStart = Now();
    const CHKernelHandle process = Start(medium.strInstaller, L"/started=" + strStarted, dwFlags);
    Wait(started.Get(), L"the installer started directly");
    const double dSeconds = Seconds(Now() - nStart);
    // Its end (and its console host's) is not in the floor, but it must
    // not overlap what follows.
    const CHKernelHandle console = FindChildProcess(::GetProcessId(process.Get()), L"conhost.exe");
    Wait(process.Get(), L"the installer's end");
    if (console)
        Wait(console.Get(), L"the installer's console host's end");
    return dSeconds;
}

double CopyLauncher(const CMedium& medium)
{
    const std::wstring strCopy = TempFolder() + L"handoffbench_" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
    RemoveFile(strCopy);
    const LONGLONG nStart = Now();
    Copy(medium.strLauncher, strCopy);
    const double dSeconds = Seconds(Now() - nStart);
    RemoveFile(strCopy);
    return dSeconds;
}

double CreateCopyFolder(const std::wstring& strTag)
{
    const std::wstring strFolder = TempFolder() + L"handoffbench_folder_" + strTag;
    const LONGLONG nStart = Now();
    WIN32_FIND_DATAW data;
    const CHFindHandle find(::FindFirstFileExW((CopyFolderPrefix() + L"*").c_str(), FindExInfoBasic, &data,
                                               FindExSearchLimitToDirectories, nullptr, 0));
    if (!::CreateDirectoryW(strFolder.c_str(), nullptr))
        Fail(L"creating", strFolder);
    const double dSeconds = Seconds(Now() - nStart);
    ::RemoveDirectoryW(strFolder.c_str());
    return dSeconds;
}

CFloor MeasureFloor(const CMedium& medium, const std::wstring& strTag)
{
    CFloor floor;
    floor.dProgram1 = ProgramLife(medium);
    floor.dProgram2 = ProgramLife(medium);
    floor.dInstaller = InstallerUntilEvent(medium, strTag, 0);
    floor.dCopy = CopyLauncher(medium);
    floor.dInstallerOwnConsole = InstallerUntilEvent(medium, strTag + L"_console", CREATE_NEW_CONSOLE);
    floor.dCopyFolder = CreateCopyFolder(strTag);
    return floor;
}

// ---------------------------------------------------------------------------
// The hand-off

// Seconds after the launcher's start; the moments that only the polls see stay
// kNotSeen in a run that is not observed.
struct CHandoff
{
    double dHandoff = 0, dFullRun = 0, dInstallerRun = 0;
    // Stage one: created, CreateProcessW returned here, its lock, its marker
    // window there and gone, the copy begun and complete, its exit.
    double dStageOneCreated = 0, dStageOneRunning = 0, dLock = kNotSeen, dWindowOne = kNotSeen,
           dWindowOneGone = kNotSeen, dCopyBegun = kNotSeen, dCopyDone = kNotSeen, dStageOneEnded = 0;
    // Stage two: created, seen in a snapshot, its marker window there.
    double dStageTwoCreated = 0, dStageTwoSeen = kNotSeen, dWindowTwo = kNotSeen;
    // The installer, and its console host when it has one.
    double dInstallerCreated = 0, dConsoleCreated = kNotSeen;
    double Overhead() const { return dFullRun - dInstallerRun - 1.0; }
};

// The process of the marker window, or 0 when there is none.
DWORD MarkerWindowProcess()
{
    DWORD dwProcessId = 0;
    if (HWND hWnd = ::FindWindowW(kMarkerWindowClass, nullptr))
        ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    return dwProcessId;
}

bool InstanceLockExists()
{
    return CHKernelHandle(::OpenMutexW(SYNCHRONIZE, FALSE, kInstanceLockName)).IsValid();
}

// Waits for the installer's event, polling meanwhile, in the order they come:
// stage one's lock and marker window, the copy in %TEMP% (its file), then the
// copy's marker window and its process. Checks stop once what they look for
// is seen (or can no longer come); a process seen is kept in stageTwo. A
// moment is the time the poll that saw it returned: by then it had come.
void ObserveUntilStarted(HANDLE hStarted, DWORD dwStageOneId, LONGLONG cbLauncher, LONGLONG nStart, CHandoff& handoff,
                         CHKernelHandle& stageTwo)
{
    std::wstring strTempCopy;
    const auto since = [nStart] { return Seconds(Now() - nStart); };
    for (;;) {
        const DWORD dwWait = ::WaitForSingleObject(hStarted, kPollMs);
        if (dwWait == WAIT_OBJECT_0)
            return;
        if (dwWait != WAIT_TIMEOUT || since() * 1000 > kWaitMs)
            Fail(L"waiting for", L"the installer started by the launcher");
        // Stage one destroys its window before it copies itself.
        if (!Seen(handoff.dCopyBegun)) {
            if (!Seen(handoff.dLock) && InstanceLockExists())
                handoff.dLock = since();
            const bool bWindowOne = MarkerWindowProcess() == dwStageOneId;
            if (!Seen(handoff.dWindowOne) && bWindowOne)
                handoff.dWindowOne = since();
            else if (Seen(handoff.dWindowOne) && !Seen(handoff.dWindowOneGone) && !bWindowOne)
                handoff.dWindowOneGone = since();
        }
        if (!Seen(handoff.dCopyDone)) {
            if (strTempCopy.empty())
                strTempCopy = FindTempCopy();
            const LONGLONG cbCopy = strTempCopy.empty() ? -1 : FileSize(strTempCopy);
            const double dNow = since();
            if (cbCopy >= 0 && !Seen(handoff.dCopyBegun))
                handoff.dCopyBegun = dNow;
            if (cbCopy == cbLauncher)
                handoff.dCopyDone = dNow;
            continue;
        }
        // Only a launcher has that window; stage one's is gone by now.
        if (!Seen(handoff.dWindowTwo)) {
            const DWORD dwOwner = MarkerWindowProcess();
            if (dwOwner != 0 && dwOwner != dwStageOneId)
                handoff.dWindowTwo = since();
        }
        if (!stageTwo) {
            stageTwo = FindProcessOfImage(CopyFolderPrefix(), kLauncherName);
            if (stageTwo)
                handoff.dStageTwoSeen = since();
        }
    }
}

CHandoff RunHandoff(const CMedium& medium, const std::wstring& strTag, bool bObserve)
{
    const LONGLONG cbLauncher = FileSize(medium.strLauncher);
    // Left from the round before: the polls must see the copy appear.
    RemoveTempCopies();
    const std::wstring strStarted = L"hs_handoffbench_started_" + strTag, strHold = L"hs_handoffbench_hold_" + strTag;
    const CHKernelHandle started = CreateNamedEvent(strStarted), hold = CreateNamedEvent(strHold);

    CHandoff handoff;
    const double dSystemStart = SystemSeconds();
    const LONGLONG nStart = Now();
    const CHKernelHandle stageOne =
        Start(medium.strLauncher, L"/started=" + strStarted + L" /hold=" + strHold + L" /answer=" + medium.strAnswer);
    handoff.dStageOneRunning = Seconds(Now() - nStart);
    CHKernelHandle stageTwo;
    if (bObserve)
        ObserveUntilStarted(started.Get(), ::GetProcessId(stageOne.Get()), cbLauncher, nStart, handoff, stageTwo);
    else
        Wait(started.Get(), L"the installer started by the launcher");
    handoff.dHandoff = Seconds(Now() - nStart);

    // The installer waits for the hold event, and the copy for the installer.
    const CHKernelHandle installer = OpenProcessOfImage(medium.strInstaller);
    if (!stageTwo)
        stageTwo = OpenTempCopyProcess();
    const CHKernelHandle console = FindChildProcess(::GetProcessId(installer.Get()), L"conhost.exe");
    if (console)
        handoff.dConsoleCreated = ProcessSeconds(console.Get(), EProcessTime::Creation) - dSystemStart;
    ::SetEvent(hold.Get());
    Wait(installer.Get(), L"the installer's end");
    if (console)
        Wait(console.Get(), L"the installer's console host's end");
    Wait(stageTwo.Get(), L"the launcher's copy");
    handoff.dFullRun = Seconds(Now() - nStart);
    Wait(stageOne.Get(), L"stage one");

    handoff.dStageOneCreated = ProcessSeconds(stageOne.Get(), EProcessTime::Creation) - dSystemStart;
    handoff.dStageOneEnded = ProcessSeconds(stageOne.Get(), EProcessTime::Exit) - dSystemStart;
    handoff.dStageTwoCreated = ProcessSeconds(stageTwo.Get(), EProcessTime::Creation) - dSystemStart;
    handoff.dInstallerCreated = ProcessSeconds(installer.Get(), EProcessTime::Creation) - dSystemStart;
    handoff.dInstallerRun = ProcessSeconds(installer.Get(), EProcessTime::Exit) - dSystemStart - handoff.dHandoff;
    return handoff;
}

// ---------------------------------------------------------------------------
// The report

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Milliseconds, or "-" for a moment not seen.
std::string Ms(double dSeconds, int nWidth)
{
    char sz[32];
    if (!Seen(dSeconds))
        std::snprintf(sz, sizeof(sz), "%*s", nWidth, "-");
    else
        std::snprintf(sz, sizeof(sz), "%*.1f", nWidth, dSeconds * 1000);
    return sz;
}

struct CRound
{
    CFloor floor;
    CHandoff handoff, observed;
};

// The least of one figure over the rounds, leaving out rounds that did not see it.
template <class Figure>
double LeastOf(const std::vector<CRound>& rounds, Figure figure)
{
    double dLeast = kNotSeen;
    for (const CRound& round : rounds)
        if (const double dValue = figure(round); Seen(dValue) && !(dLeast <= dValue))
            dLeast = dValue;
    return dLeast;
}

// The median of one figure over the rounds, leaving out rounds that did not see it.
template <class Figure>
double MedianOf(const std::vector<CRound>& rounds, Figure figure)
{
    std::vector<double> values;
    for (const CRound& round : rounds)
        if (const double dValue = figure(round); Seen(dValue))
            values.push_back(dValue);
    return values.empty() ? kNotSeen : Median(values);
}

// One table of moments of the observed hand-offs, a row per round and the medians.
using MomentColumns = std::vector<std::pair<const char*, double CHandoff::*>>;

void PrintMoments(const std::vector<CRound>& rounds, const MomentColumns& columns)
{
    std::printf("%6s", "round");
    for (const auto& column : columns)
        std::printf(" %9s", column.first);
    std::printf("\n");
    for (size_t i = 0; i < rounds.size(); ++i) {
        std::printf("%6zu", i + 1);
        for (const auto& column : columns)
            std::printf(" %s", Ms(rounds[i].observed.*column.second, 9).c_str());
        std::printf("\n");
    }
    std::printf("%6s", "median");
    for (const auto& column : columns) {
        const auto moment = column.second;
        std::printf(" %s", Ms(MedianOf(rounds, [moment](const CRound& r) { return r.observed.*moment; }), 9).c_str());
    }
    // The moments that the processes' times give, from the hand-offs that nothing polled.
    std::printf("\n%6s", "plain");
    for (const auto& column : columns) {
        const auto moment = column.second;
        std::printf(" %s", Ms(MedianOf(rounds, [moment](const CRound& r) { return r.handoff.*moment; }), 9).c_str());
    }
    std::printf("\n");
}

// A stretch of the hand-off's path between two of its moments, read from one
// hand-off; not seen when one of its ends was not seen.
using HandoffStretch = double (*)(const CHandoff&);
using FloorFigure = double (*)(const CFloor&);

// A stretch of the path beside the floor's share it stands for. The splits of
// a stretch (bSplit) come from polled moments, so only from the observed runs;
// they are shown below it and not summed.
struct CStretch
{
    const char* pszWhat;
    HandoffStretch fnStretch;
    const char* pszFloorShare = "";
    FloorFigure fnFloorShare = nullptr;
    bool bSplit = false;
};

void PrintStretches(const std::vector<CRound>& rounds)
{
    const CStretch stretches[] = {
        {"stage one: its start until the copy's process is created",
         [](const CHandoff& h) { return h.dStageTwoCreated; }, "prog 1+copy",
         [](const CFloor& f) { return f.dProgram1 + f.dCopy; }},
        {"  its start until its instance lock", [](const CHandoff& h) { return h.dLock; }, "", nullptr, true},
        {"  the lock until its marker window", [](const CHandoff& h) { return h.dWindowOne - h.dLock; }, "", nullptr,
         true},
        {"  the marker window's life", [](const CHandoff& h) { return h.dWindowOneGone - h.dWindowOne; }, "", nullptr,
         true},
        {"  the window gone until the copy begins", [](const CHandoff& h) { return h.dCopyBegun - h.dWindowOneGone; },
         "", nullptr, true},
        {"  copying itself", [](const CHandoff& h) { return h.dCopyDone - h.dCopyBegun; }, "", nullptr, true},
        {"  the copy complete until its process is created",
         [](const CHandoff& h) { return h.dStageTwoCreated - h.dCopyDone; }, "", nullptr, true},
        {"stage two: its creation until the installer's creation",
         [](const CHandoff& h) { return h.dInstallerCreated - h.dStageTwoCreated; }, "prog 2",
         [](const CFloor& f) { return f.dProgram2; }},
        {"  its creation until its marker window", [](const CHandoff& h) { return h.dWindowTwo - h.dStageTwoCreated; },
         "", nullptr, true},
        {"  the marker window until the installer's creation",
         [](const CHandoff& h) { return h.dInstallerCreated - h.dWindowTwo; }, "", nullptr, true},
        {"installer: its creation until its event", [](const CHandoff& h) { return h.dHandoff - h.dInstallerCreated; },
         "installer", [](const CFloor& f) { return f.dInstaller; }},
        {"  its creation until its console host's creation",
         [](const CHandoff& h) { return h.dConsoleCreated - h.dInstallerCreated; }, "", nullptr, true},
    };
    std::printf("\nwhere the rest goes: the hand-off's path (medians, ms)\n\n");
    std::printf("%-56s %8s %8s %20s %8s\n", "stretch", "plain", "observed", "floor share", "rest");
    double dPlainTotal = 0, dObservedTotal = 0, dFloorTotal = 0;
    for (const CStretch& stretch : stretches) {
        const auto fnStretch = stretch.fnStretch;
        const double dObserved = MedianOf(rounds, [fnStretch](const CRound& r) { return fnStretch(r.observed); });
        if (stretch.bSplit) {
            std::printf("%-56s %8s %s\n", stretch.pszWhat, "", Ms(dObserved, 8).c_str());
            continue;
        }
        const auto fnFloorShare = stretch.fnFloorShare;
        const double dPlain = MedianOf(rounds, [fnStretch](const CRound& r) { return fnStretch(r.handoff); });
        const double dFloorShare = MedianOf(rounds, [fnFloorShare](const CRound& r) { return fnFloorShare(r.floor); });
        dPlainTotal += dPlain;
        dObservedTotal += dObserved;
        dFloorTotal += dFloorShare;
        std::printf("%-56s %s %s %11s %s %s\n", stretch.pszWhat, Ms(dPlain, 8).c_str(), Ms(dObserved, 8).c_str(),
                    stretch.pszFloorShare, Ms(dFloorShare, 8).c_str(), Ms(dPlain - dFloorShare, 8).c_str());
    }
    std::printf("%-56s %s %s %11s %s %s\n", "sum", Ms(dPlainTotal, 8).c_str(), Ms(dObservedTotal, 8).c_str(), "",
                Ms(dFloorTotal, 8).c_str(), Ms(dPlainTotal - dFloorTotal, 8).c_str());
    std::printf(
        "\nplain: from the hand-offs that nothing polled (the processes' times); observed: from the polled\n"
        "ones, which alone show the indented splits of the stretch above them; rest = plain - floor share;\n"
        "sums of medians. A moment a poll missed shows as -, a copy within one poll as 0.\n"
        "The system's own CreateProcessW spends %s ms before a process is created (1 made); the copy's\n"
        "creation pays that too. Stage one ends %s ms after the copy's creation, off the path.\n",
        Ms(MedianOf(rounds, [](const CRound& r) { return r.handoff.dStageOneCreated; }), 0).c_str(),
        Ms(MedianOf(rounds, [](const CRound& r) { return r.handoff.dStageOneEnded - r.handoff.dStageTwoCreated; }), 0)
            .c_str());

    const double dConsole =
        MedianOf(rounds, [](const CRound& r) { return r.handoff.dConsoleCreated - r.handoff.dInstallerCreated; });
    const double dOwnConsole = MedianOf(rounds, [](const CRound& r) { return r.floor.dInstallerOwnConsole; });
    const double dSharedConsole = MedianOf(rounds, [](const CRound& r) { return r.floor.dInstaller; });
    if (Seen(dConsole))
        std::printf("The fake installer is a console program. Started by the launcher, which has none, it gets a\n"
                    "console of its own: its console host is created %s ms after it. Started directly with a\n"
                    "console of its own it takes %s ms until its event, %s ms more than the floor's share (which\n"
                    "runs in this program's console); with that start in the floor the ratio would be %.2f. An\n"
                    "installer with a window of its own pays none of this.\n",
                    Ms(dConsole, 0).c_str(), Ms(dOwnConsole, 0).c_str(), Ms(dOwnConsole - dSharedConsole, 0).c_str(),
                    MedianOf(rounds, [](const CRound& r) {
                        return r.handoff.dHandoff /
                               (r.floor.Total() - r.floor.dInstaller + r.floor.dInstallerOwnConsole);
                    }));
    else
        std::printf("The installer started by the launcher had no console host. Started directly with a console\n"
                    "of its own it takes %s ms until its event (the floor's share: %s ms).\n",
                    Ms(dOwnConsole, 0).c_str(), Ms(dSharedConsole, 0).c_str());
}

void PrintFigures(const std::vector<CRound>& rounds)
{
    std::printf("hand-off from the medium to the running installer, against its floor (ms; after one round not "
                "counted)\n\n");
    std::printf("%6s %9s %9s %7s %8s %8s %10s %8s %9s %9s\n", "round", "hand-off", "floor", "ratio", "prog 1", "prog 2",
                "installer", "copy", "full run", "overhead");
    auto printMain = [](const char* pszRound, double dHandoff, double dFloor, double dRatio, double dProgram1,
                        double dProgram2, double dInstaller, double dCopy, double dFullRun, double dOverhead) {
        std::printf("%6s %s %s %7.2f %s %s %s %s %s %s\n", pszRound, Ms(dHandoff, 9).c_str(), Ms(dFloor, 9).c_str(),
                    dRatio, Ms(dProgram1, 8).c_str(), Ms(dProgram2, 8).c_str(), Ms(dInstaller, 10).c_str(),
                    Ms(dCopy, 8).c_str(), Ms(dFullRun, 9).c_str(), Ms(dOverhead, 9).c_str());
    };
    for (size_t i = 0; i < rounds.size(); ++i) {
        const CRound& r = rounds[i];
        printMain(std::to_string(i + 1).c_str(), r.handoff.dHandoff, r.floor.Total(),
                  r.handoff.dHandoff / r.floor.Total(), r.floor.dProgram1, r.floor.dProgram2, r.floor.dInstaller,
                  r.floor.dCopy, r.handoff.dFullRun, r.handoff.Overhead());
    }
    // The median ratio is the median of the rounds' ratios; the best is the
    // best hand-off against the best floor.
    const auto printSummary = [&](const char* pszLabel, auto aggregate, bool bRatioOfRounds) {
        const double dHandoff = aggregate(rounds, [](const CRound& r) { return r.handoff.dHandoff; });
        const double dFloor = aggregate(rounds, [](const CRound& r) { return r.floor.Total(); });
        printMain(pszLabel, dHandoff, dFloor,
                  bRatioOfRounds
                      ? aggregate(rounds, [](const CRound& r) { return r.handoff.dHandoff / r.floor.Total(); })
                      : dHandoff / dFloor,
                  aggregate(rounds, [](const CRound& r) { return r.floor.dProgram1; }),
                  aggregate(rounds, [](const CRound& r) { return r.floor.dProgram2; }),
                  aggregate(rounds, [](const CRound& r) { return r.floor.dInstaller; }),
                  aggregate(rounds, [](const CRound& r) { return r.floor.dCopy; }),
                  aggregate(rounds, [](const CRound& r) { return r.handoff.dFullRun; }),
                  aggregate(rounds, [](const CRound& r) { return r.handoff.Overhead(); }));
    };
    printSummary(
        "median", [](const auto& all, auto figure) { return MedianOf(all, figure); }, true);
    printSummary(
        "best", [](const auto& all, auto figure) { return LeastOf(all, figure); }, false);
    std::printf("\nratio = hand-off / floor; at most 1.3 wanted\n"
                "floor = prog 1 + prog 2 (the do-nothing GUI program, start to end) + installer (started directly,\n"
                "until its event) + copy (CopyFileW of the launcher into %%TEMP%%)\n"
                "overhead = full run - the installer's own run (event to exit) - the 1 s before the answer is read\n");
    const double dCopyFolder = MedianOf(rounds, [](const CRound& r) { return r.floor.dCopyFolder; });
    std::printf(
        "the copy's own folder (a search of %%TEMP%% and CreateDirectoryW), in the hand-off: %s ms, %.1f %% of it\n",
        Ms(dCopyFolder, 0).c_str(),
        100.0 * dCopyFolder / MedianOf(rounds, [](const CRound& r) { return r.handoff.dHandoff; }));

    std::printf("\nstage one in the observed hand-off (ms after starting it)\n\n");
    PrintMoments(rounds, {{"1 made", &CHandoff::dStageOneCreated},
                          {"1 runs", &CHandoff::dStageOneRunning},
                          {"lock", &CHandoff::dLock},
                          {"window", &CHandoff::dWindowOne},
                          {"no window", &CHandoff::dWindowOneGone},
                          {"copy in", &CHandoff::dCopyBegun},
                          {"copy ok", &CHandoff::dCopyDone},
                          {"1 ended", &CHandoff::dStageOneEnded}});
    std::printf("\nstage two and the installer in the observed hand-off (ms after starting stage one)\n\n");
    PrintMoments(rounds, {{"2 made", &CHandoff::dStageTwoCreated},
                          {"2 seen", &CHandoff::dStageTwoSeen},
                          {"2 window", &CHandoff::dWindowTwo},
                          {"in made", &CHandoff::dInstallerCreated},
                          {"in cons", &CHandoff::dConsoleCreated},
                          {"event", &CHandoff::dHandoff}});
    std::printf(
        "\nthe observed hand-off - the plain one (what the polls cost), median: %s ms\n",
        Ms(MedianOf(rounds, [](const CRound& r) { return r.observed.dHandoff - r.handoff.dHandoff; }), 0).c_str());
    std::printf("\n1 made / 2 made / in made / in cons: stage one / the copy / the installer / the installer's\n"
                "console host (conhost.exe) created, from their processes' times; 1 ended: stage one's exit (ditto)\n"
                "1 runs: CreateProcessW of stage one has returned here\n"
                "lock: the instance lock's mutex exists; window / no window: stage one's marker window exists / has\n"
                "gone; copy in / copy ok: %%TEMP%%\\InstallerShim-...\\%ls exists / has the launcher's size; 2 window: "
                "the copy's\n"
                "marker window exists; 2 seen: the copy's process is in a toolhelp snapshot (all polled)\n"
                "event: the installer's event (the observed hand-off)\n"
                "plain: the medians of the hand-offs that nothing polled (the polled moments are not seen there)\n",
                kLauncherName);

    PrintStretches(rounds);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const int nRounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    const std::wstring strOwnId = std::to_wstring(::GetCurrentProcessId());
    const CMedium medium = BuildMedium(TempFolder() + L"handoffbench_" + strOwnId);
    g_pMedium = &medium;

    // Round 0 warms the file cache and the loader up and is not counted.
    std::vector<CRound> rounds;
    for (int nRound = 0; nRound <= nRounds; ++nRound) {
        const std::wstring strTag = strOwnId + L"_" + std::to_wstring(nRound);
        CRound round;
        round.floor = MeasureFloor(medium, strTag);
        // Each hand-off goes first in every other round, so neither is always the warmer one.
        if (nRound % 2 == 0) {
            round.handoff = RunHandoff(medium, strTag + L"_plain", false);
            round.observed = RunHandoff(medium, strTag + L"_observed", true);
        } else {
            round.observed = RunHandoff(medium, strTag + L"_observed", true);
            round.handoff = RunHandoff(medium, strTag + L"_plain", false);
        }
        if (nRound > 0)
            rounds.push_back(round);
    }
    PrintFigures(rounds);

    g_pMedium = nullptr;
    RemoveMedium(medium);
    RemoveTempCopies();
    return 0;
}
