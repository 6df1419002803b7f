// Records what a top-level window of another process is told when Windows
// is asked to restart, for a test that must not own such a window itself.
//
//   EndSessionWindow <event stem>
//
// Opens the events "<stem>_ready", "<stem>_query", "<stem>_end_true" and
// "<stem>_end_false" (created by the test), creates a hidden top-level window,
// signals "ready" and dispatches messages for at most 30 s. WM_QUERYENDSESSION
// signals "query" and agrees; WM_ENDSESSION signals "end_true" or "end_false"
// after its wParam. The events are set inside the handlers because Wine ends
// the process as soon as it has answered WM_ENDSESSION.
// Exit codes: 1 bad arguments; 2 events not found; 3 no window; 4 time up.
#include <windows.h>

#include <string>

#include "RAde/HUniqueHandle.h"

namespace {

constexpr DWORD g_dwLifetimeMs = 30000;

struct CEvents
{
    CHKernelHandle hReady, hQuery, hEndTrue, hEndFalse;
};
CEvents g_events;

CHKernelHandle OpenNamedEvent(const std::wstring& strStem, const wchar_t* pszSuffix)
{
    return CHKernelHandle(::OpenEventW(EVENT_MODIFY_STATE, FALSE, (strStem + pszSuffix).c_str()));
}

LRESULT CALLBACK RecordingWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) noexcept
{
    switch (uMsg) {
    case WM_QUERYENDSESSION:
        ::SetEvent(g_events.hQuery.Get());
        return TRUE;
    case WM_ENDSESSION:
        ::SetEvent(wParam ? g_events.hEndTrue.Get() : g_events.hEndFalse.Get());
        return 0;
    default:
        return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
}

HWND CreateRecordingWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HsEndSessionWindow";
    if (!::RegisterClassExW(&windowClass))
        return nullptr;
    // Hidden: Wine enumerates every top-level window, visible or not.
    return ::CreateWindowExW(0, windowClass.lpszClassName, L"end session recorder", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                             nullptr, nullptr, windowClass.hInstance, nullptr);
}

void DispatchMessagesFor(DWORD dwMs)
{
    const ULONGLONG nDeadline = ::GetTickCount64() + dwMs;
    for (ULONGLONG nNow = ::GetTickCount64(); nNow < nDeadline; nNow = ::GetTickCount64()) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(nDeadline - nNow), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 1;
    const std::wstring strStem = argv[1];
    g_events = {OpenNamedEvent(strStem, L"_ready"), OpenNamedEvent(strStem, L"_query"),
                OpenNamedEvent(strStem, L"_end_true"), OpenNamedEvent(strStem, L"_end_false")};
    if (!g_events.hReady || !g_events.hQuery || !g_events.hEndTrue || !g_events.hEndFalse)
        return 2;
    if (!CreateRecordingWindow())
        return 3;
    ::SetEvent(g_events.hReady.Get());
    DispatchMessagesFor(g_dwLifetimeMs);
    return 4;
}
