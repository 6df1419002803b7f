// HandoffFloorProgram: the least a GUI program of the launcher's kind does
// (statically linked, GUI subsystem, imports from the KnownDLLs only): it
// registers a window class, creates one top-level window that is never shown,
// destroys it and ends. handoffbench starts it twice, waiting for each end,
// as the share of its floor that stands for the launcher's two processes.
#include <windows.h>

#include "RAde/HUniqueHandle.h"

namespace {

constexpr wchar_t kWindowClass[] = L"HandoffFloorProgram";

}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = hInstance;
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass))
        return 1;
    // No WS_VISIBLE and no ShowWindow: the window is never shown.
    const CHWindowHandle window(::CreateWindowExW(0, kWindowClass, kWindowClass, WS_OVERLAPPED, CW_USEDEFAULT,
                                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                                  hInstance, nullptr));
    return window ? 0 : 2;
}
