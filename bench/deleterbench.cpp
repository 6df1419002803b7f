// deleterbench: what the wait dialog costs the staged-file deletion. A tree
// of 20,000 small files in 2,000 folders is deleted by RunFileDeleter (the
// tree as the only path, the sample skin, the dialog on this thread and the
// deletion on the deleter's worker), against CHFileUtilities::DeleteDirectory
// alone deleting an identical tree, in the same run. Each tree is generated
// afresh with plain Win32 calls in %TEMP% just before it is deleted.
//
// Per round it prints both deletion times and the dialog's cost in percent of
// the plain deletion (under 5 % is the goal; with several rounds, also from
// the medians), and two moments of the dialog run itself:
//  - first paint: from calling RunFileDeleter (skin, fonts, spinner frames,
//    worker start, dialog creation) until the dialog's first WM_PAINT has been
//    handled. A WH_GETMESSAGE hook on this thread sees the modal loop take that
//    WM_PAINT and posts a thread message; the loop takes that message only
//    after the paint has been dispatched, so the hook notes the time then. A
//    hook leaves the dialog's own window procedure alone, unlike a subclass.
//  - end to close: from the worker's end (the deletion done and the dialog's
//    end requested: the bench's deleter notes the time when the base
//    WorkerProc returns) until RunFileDeleter returns, the dialog destroyed.
// The deletion behind the dialog is timed until RunFileDeleter has returned
// and the worker has ended. The program prints the figures; it judges
// nothing. Usage: deleterbench [rounds] (default 1).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchMain.h"
#include "BenchSupport.h"
#include "BenchTree.h"
#include "InstallerShim/FileDeleter.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HUniqueHandle.h"

namespace {

bool Exists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---------------------------------------------------------------------------
// Watching the dialog

// The moments of one dialog run; 0 while not seen.
struct CDialogMoments
{
    LONGLONG nPaintTaken = 0;  // the dialog's first WM_PAINT taken from the queue
    LONGLONG nPainted = 0;     // ... and handled
    std::atomic<LONGLONG> nWorkerEnd{0};
};
CDialogMoments* s_pMoments = nullptr;

UINT PaintedMessage()
{
    static const UINT s_nMessage = ::RegisterWindowMessageW(L"deleterbench.painted");
    return s_nMessage;
}

bool IsDialogWindow(HWND hWnd)
{
    wchar_t szClass[16] = {};
    return hWnd != nullptr && ::GetClassNameW(hWnd, szClass, 16) > 0 && std::wcscmp(szClass, L"#32770") == 0;
}

LRESULT CALLBACK GetMessageHook(int nCode, WPARAM wParam, LPARAM lParam) noexcept
{
    const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
    if (nCode == HC_ACTION && wParam == PM_REMOVE && s_pMoments != nullptr) {
        if (msg.message == WM_PAINT && s_pMoments->nPaintTaken == 0 && IsDialogWindow(msg.hwnd)) {
            s_pMoments->nPaintTaken = Now();
            ::PostThreadMessageW(::GetCurrentThreadId(), PaintedMessage(), 0, 0);
        } else if (msg.hwnd == nullptr && msg.message == PaintedMessage()) {
            s_pMoments->nPainted = Now();
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

// Notes when the worker's deletion and end request are done.
class CBenchDeleter : public CFileDeleter
{
protected:
    void WorkerProc(DWORD dwParameter) override
    {
        CFileDeleter::WorkerProc(dwParameter);
        if (s_pMoments != nullptr)
            s_pMoments->nWorkerEnd = Now();
    }
};

// ---------------------------------------------------------------------------
// The two deletions

double DeleteAlone(const std::wstring& strRoot)
{
    const LONGLONG nStart = Now();
    CHFileUtilities::DeleteDirectory(strRoot);
    return Seconds(Now() - nStart);
}

// Deletes the tree behind the dialog; returns the seconds until both the
// dialog and the worker have ended. The hook and the worker fill moments;
// nCall and nClosed take the moments of the call and of its return.
double DeleteBehindDialog(const std::wstring& strRoot, const std::wstring& strBase, CDialogMoments& moments,
                          LONGLONG& nCall, LONGLONG& nClosed)
{
    // RunFileDeleter reads the skin from the current directory.
    const std::wstring strSkin = OwnFolder() + L"skin";
    if (!::SetCurrentDirectoryW(strSkin.c_str()))
        BenchTree::Fail(L"entering", strSkin);
    CHHookHandle hook(::SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, ::GetCurrentThreadId()));
    if (!hook)
        BenchTree::Fail(L"hooking", L"WH_GETMESSAGE");
    s_pMoments = &moments;
    CBenchDeleter deleter;
    nCall = Now();
    // The tree lies in the base folder, as a staged folder in the installer's.
    RunFileDeleter(deleter, {strRoot}, strBase, L"en-uk", CStagingFolders{strBase, strBase});
    nClosed = Now();
    deleter.StopWorkerThread();
    const double dSeconds = Seconds(Now() - nCall);
    s_pMoments = nullptr;
    return dSeconds;
}

// Milliseconds from nFrom to nTo, or -1 when either was not seen.
double Milliseconds(LONGLONG nFrom, LONGLONG nTo)
{
    return nFrom != 0 && nTo != 0 ? Seconds(nTo - nFrom) * 1000.0 : -1.0;
}

struct CRoundFigures
{
    double dAlone, dDialog;
};

CRoundFigures RunRound(int nRound, const std::wstring& strBase)
{
    const std::wstring strPrefix = strBase + L"deleterbench_" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring strAloneTree = strPrefix + L"_alone", strDialogTree = strPrefix + L"_dialog";
    BenchTree::Generate(strAloneTree);
    const double dAlone = DeleteAlone(strAloneTree);
    BenchTree::Generate(strDialogTree);
    CDialogMoments moments;
    LONGLONG nCall = 0, nClosed = 0;
    const double dDialog = DeleteBehindDialog(strDialogTree, strBase, moments, nCall, nClosed);
    std::printf("%6d %9.3f %9.3f %7.1f %% %10.1f %10.1f %10.1f%s\n", nRound, dAlone, dDialog,
                (dDialog - dAlone) / dAlone * 100.0, Milliseconds(nCall, moments.nPaintTaken),
                Milliseconds(nCall, moments.nPainted), Milliseconds(moments.nWorkerEnd.load(), nClosed),
                Exists(strAloneTree) || Exists(strDialogTree) ? "  (a tree was left behind!)" : "");
    return {dAlone, dDialog};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int s_nRounds = 1;

void Run()
{
    // The tree lies in %TEMP%, which is also the base directory: the same drive
    // letter, spelled the same way.
    const std::wstring strBase = CHFileUtilities::GetTempDirectory();
    std::printf("deleting %d files in %d folders: alone and behind the wait dialog (seconds)\n\n", BenchTree::kFiles,
                BenchTree::kFolders);
    std::printf("%6s %9s %9s %9s %10s %10s %10s\n", "round", "alone", "dialog", "cost", "paint in", "painted",
                "end-close");
    std::printf("%6s %9s %9s %9s %10s %10s %10s\n", "", "s", "s", "", "ms", "ms", "ms");
    std::vector<double> alone, dialog;
    for (int nRound = 1; nRound <= s_nRounds; ++nRound) {
        const CRoundFigures figures = RunRound(nRound, strBase);
        alone.push_back(figures.dAlone);
        dialog.push_back(figures.dDialog);
    }
    if (s_nRounds > 1)
        std::printf("%6s %9.3f %9.3f %7.1f %%\n", "median", Median(alone), Median(dialog),
                    (Median(dialog) - Median(alone)) / Median(alone) * 100.0);
    std::printf("\ncost = (dialog - alone) / alone; under 5 %% wanted\n"
                "paint in / painted: from calling RunFileDeleter until the dialog's first WM_PAINT is taken / "
                "handled\n"
                "end-close: from the worker's end until RunFileDeleter returns (-1: not seen)\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    s_nRounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 1;
    return RunBenchmark(&Run);
}
