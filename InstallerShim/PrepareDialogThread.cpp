// The thread of the device path's wait dialog: it shows "Preparing
// installation" while the staging copies the install files from the phone,
// and ends when the staging asks, before the installer shows its own windows.
#include "InstallerShim/PrepareDialogThread.h"

#include "InstallerShim/HWaitDialogShim.h"
#include "RAde/HException.h"
#include "RAde/HLogging.h"

namespace {

constexpr wchar_t kDialogTitle[] = L"Preparing installation";
constexpr wchar_t kDialogMessage[] = L"Copying installation files...";
// How often the end request is posted while the dialog's thread has no message queue yet.
constexpr DWORD kEndPostRetryMs = 10;

}  // namespace

DWORD WINAPI PrepareDialogThreadProc(LPVOID)
{
    HTRY {
        // The message queue first: the end request (WM_QUIT) can be posted
        // from then on, and ends the dialog's modal loop whenever it comes.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        CHWaitDialogShim dialog;
        dialog.m_strTitle = kDialogTitle;
        dialog.m_strMessage = kDialogMessage;
        CHWaitDialog::LoadWaitAnimFramesFromResources();
        dialog.Run();
    } HCATCH_LOG
    return 0;
}

// ---------------------------------------------------------------------------

CPrepareDialogThread::CPrepareDialogThread()
{
    HTRY {
        m_hThread.Reset(::CreateThread(nullptr, 0, PrepareDialogThreadProc, nullptr, 0, &m_dwThreadId));
        if (!m_hThread)
            CHLogging::LogWarning(L"The wait dialog could not be started (error %d); the copy goes on without it.\n",
                                  static_cast<int>(::GetLastError()));
    } HCATCH_LOG
}

CPrepareDialogThread::~CPrepareDialogThread()
{
    End();
}

// Terminating the thread instead could leave a lock it holds (the heap's,
// the loader's, the window manager's) held for good, and the rest of the
// run (the installer's start, the normal path) would hang on it. Posting
// WM_QUIT is safe at any moment: the thread's message queue exists before
// its window does, and a modal loop passes WM_QUIT on to the loop below it.
bool CPrepareDialogThread::End() noexcept
{
    if (!m_hThread)
        return true;
    const ULONGLONG nDeadline = ::GetTickCount64() + EndTimeoutMs;
    // Until the thread has made its queue the post fails; it is repeated.
    while (::WaitForSingleObject(m_hThread.Get(), 0) == WAIT_TIMEOUT &&
           !::PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0) && ::GetTickCount64() < nDeadline)
        ::Sleep(kEndPostRetryMs);
    const ULONGLONG nNow = ::GetTickCount64();
    const DWORD dwLeftMs = nNow < nDeadline ? static_cast<DWORD>(nDeadline - nNow) : 0;
    const bool bEnded = ::WaitForSingleObject(m_hThread.Get(), dwLeftMs) == WAIT_OBJECT_0;
    if (!bEnded)
        CHLogging::LogWarning(L"The wait dialog did not end within %d ms; it is left to the end of the process.\n",
                              static_cast<int>(EndTimeoutMs));
    m_hThread.Reset();
    return bEnded;
}
