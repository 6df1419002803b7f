// Takes a screenshot of a dialog of another process for scripts/demo, which
// starts it before the program that shows the dialog.
//
//   DialogShot /title=TEXT /out=FILE.png [/image=NAME.exe] [/timeout=SECONDS] [/settle=MS]
//
// Looks every few milliseconds for a visible top-level window captioned TEXT
// (of a process whose executable is named NAME.exe, when given). Once its
// message control (1028, as the launcher's wait dialog has it) shows text and
// the window has been visible for MS milliseconds (150 by default), it copies
// the window's rectangle from the screen and writes it as a PNG file: what a
// user sees, a skinned caption included. (A system caption shows under Wine
// without a window manager only when Wine draws the frames itself, which
// scripts/demo asks of its prefix; otherwise its place stays black.)
//
// Prints one line saying what it did. Exit codes: 0 saved; 1 no such window
// within the time-out (30 s by default), or it showed too briefly or went
// while it was captured; 2 bad arguments; 3 the capture or the file failed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <set>
#include <string>

#include "RAde/DEVEDar/HImage.h"
#include "RAde/HException.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr int kMessageControlId = 1028;
constexpr DWORD kPollMs = 5;

struct COptions
{
    std::wstring strTitle;
    std::wstring strOut;
    std::wstring strImage;  // empty: any process
    DWORD dwTimeoutMs = 30000;
    DWORD dwSettleMs = 150;
};

void Print(const std::wstring& strLine)
{
    const std::wstring strText = L"DialogShot: " + strLine + L"\n";
    const int cbText = ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string text(static_cast<size_t>(cbText), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), text.data(), cbText, nullptr,
                          nullptr);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool EqualsNoCase(const std::wstring& strA, const std::wstring& strB)
{
    return ::CompareStringOrdinal(strA.c_str(), static_cast<int>(strA.size()), strB.c_str(),
                                  static_cast<int>(strB.size()), TRUE) == CSTR_EQUAL;
}

bool ParseArguments(int argc, wchar_t** argv, COptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::wstring strArg = argv[i];
        const size_t nEquals = strArg.find(L'=');
        if (nEquals == std::wstring::npos)
            return false;
        const std::wstring strName = strArg.substr(0, nEquals), strValue = strArg.substr(nEquals + 1);
        if (EqualsNoCase(strName, L"/title"))
            options.strTitle = strValue;
        else if (EqualsNoCase(strName, L"/out"))
            options.strOut = strValue;
        else if (EqualsNoCase(strName, L"/image"))
            options.strImage = strValue;
        else if (EqualsNoCase(strName, L"/timeout"))
            options.dwTimeoutMs = static_cast<DWORD>(std::wcstoul(strValue.c_str(), nullptr, 10) * 1000);
        else if (EqualsNoCase(strName, L"/settle"))
            options.dwSettleMs = static_cast<DWORD>(std::wcstoul(strValue.c_str(), nullptr, 10));
        else
            return false;
    }
    return !options.strTitle.empty() && !options.strOut.empty() && options.dwTimeoutMs > 0;
}

std::wstring WindowText(HWND hWnd)
{
    // InternalGetWindowText sends no message: the other process's thread may be busy.
    wchar_t szText[512] = {};
    ::InternalGetWindowText(hWnd, szText, static_cast<int>(std::size(szText)));
    return szText;
}

// The file name of the executable that owns the window, or empty.
std::wstring ImageNameOf(HWND hWnd)
{
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    CHKernelHandle hProcess(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId));
    if (!hProcess)
        return std::wstring();
    std::wstring strPath(MAX_PATH * 4, L'\0');
    DWORD cchPath = static_cast<DWORD>(strPath.size());
    if (!::QueryFullProcessImageNameW(hProcess.Get(), 0, strPath.data(), &cchPath))
        return std::wstring();
    strPath.resize(cchPath);
    return strPath.substr(strPath.find_last_of(L"\\/") + 1);
}

struct CSearch
{
    const COptions* pOptions;
    std::set<std::wstring>* pOtherTitles;
    HWND hFound;
};

BOOL CALLBACK MatchWindow(HWND hWnd, LPARAM lParam) noexcept
{
    try {
        auto& search = *reinterpret_cast<CSearch*>(lParam);
        if (!::IsWindowVisible(hWnd))
            return TRUE;
        if (!search.pOptions->strImage.empty() && !EqualsNoCase(ImageNameOf(hWnd), search.pOptions->strImage))
            return TRUE;
        const std::wstring strTitle = WindowText(hWnd);
        if (strTitle != search.pOptions->strTitle) {
            search.pOtherTitles->insert(strTitle);
            return TRUE;
        }
        search.hFound = hWnd;
        return FALSE;
    } catch (...) {
        return TRUE;  // looked for again at the next poll
    }
}

// The first visible window that matches; the captions of the other visible
// windows (of the process given) are collected in otherTitles.
HWND FindVisibleWindow(const COptions& options, std::set<std::wstring>& otherTitles)
{
    CSearch search{&options, &otherTitles, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

std::wstring Listed(const std::set<std::wstring>& titles)
{
    std::wstring strList;
    for (const std::wstring& strTitle : titles)
        strList += (strList.empty() ? L"\"" : L", \"") + strTitle + L"\"";
    return strList.empty() ? L"none" : strList;
}

// Whether the dialog has its message: it gets it before it shows, but the
// window may be found between the two.
bool HasMessage(HWND hWnd)
{
    HWND hMessage = ::GetDlgItem(hWnd, kMessageControlId);
    return hMessage == nullptr || !WindowText(hMessage).empty();
}

// The window's rectangle as the screen shows it.
void CaptureScreenRect(const RECT& rc, CHImage& image)
{
    image.Create(rc.right - rc.left, rc.bottom - rc.top, 32);
    CHWindowDC screen(CHWindowDCTraits::Handle{nullptr, ::GetDC(nullptr)});
    if (screen.Get().hDC == nullptr)
        throw CHException::FromLastError(HSITE);
    CHImageDC imageDC(image);
    if (!::BitBlt(imageDC.Get(), 0, 0, image.GetWidth(), image.GetHeight(), screen.Get().hDC, rc.left, rc.top, SRCCOPY))
        throw CHException::FromLastError(HSITE);
}

int Run(const COptions& options)
{
    const ULONGLONG nStart = ::GetTickCount64();
    const ULONGLONG nDeadline = nStart + options.dwTimeoutMs;
    HWND hWnd = nullptr;
    ULONGLONG nVisibleSince = 0, nLongestShownMs = 0;
    bool bSeen = false;
    std::set<std::wstring> otherTitles;
    for (;;) {
        const ULONGLONG nNow = ::GetTickCount64();
        if (nNow >= nDeadline) {
            Print(bSeen ? L"the window \"" + options.strTitle + L"\" showed for " + std::to_wstring(nLongestShownMs) +
                              L" ms at most, too short to be captured."
                        : L"no window \"" + options.strTitle + L"\" showed within " +
                              std::to_wstring(options.dwTimeoutMs / 1000) + L" s (other windows seen: " +
                              Listed(otherTitles) + L").");
            return 1;
        }
        if (hWnd != nullptr && (!::IsWindow(hWnd) || !::IsWindowVisible(hWnd)))
            hWnd = nullptr;
        if (hWnd == nullptr) {
            hWnd = FindVisibleWindow(options, otherTitles);
            nVisibleSince = nNow;
            bSeen = bSeen || hWnd != nullptr;
        }
        if (hWnd != nullptr) {
            nLongestShownMs = std::max(nLongestShownMs, nNow - nVisibleSince);
            if (nNow - nVisibleSince >= options.dwSettleMs && HasMessage(hWnd))
                break;
        }
        ::Sleep(kPollMs);
    }

    RECT rc{};
    ::GetWindowRect(hWnd, &rc);
    CHImage image;
    CaptureScreenRect(rc, image);
    // A window that went during the copy leaves a picture of what lay beneath.
    if (!::IsWindowVisible(hWnd)) {
        Print(L"the window \"" + options.strTitle + L"\" went while it was captured.");
        return 1;
    }
    image.Save(options.strOut);
    Print(L"saved \"" + options.strTitle + L"\" (" + std::to_wstring(image.GetWidth()) + L" x " +
          std::to_wstring(image.GetHeight()) + L" pixels, found " + std::to_wstring(nVisibleSince - nStart) +
          L" ms after the start) to " + options.strOut + L".");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    COptions options;
    if (!ParseArguments(argc, argv, options)) {
        Print(L"usage: DialogShot /title=TEXT /out=FILE.png [/image=NAME.exe] [/timeout=SECONDS] [/settle=MS]");
        return 2;
    }
    try {
        return Run(options);
    } catch (const CHException& error) {
        Print(L"the capture failed: " + error.GetDescription(1));
        return 3;
    }
}
