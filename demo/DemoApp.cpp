// The demo's "suite": the program the demo installer installs and asks the
// launcher to start afterwards. It shows nothing; it notes that it ran, with
// its arguments and working folder, in "first-run.txt" beside itself, and
// exits.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "RAde/HFileUtilities.h"

namespace {

std::wstring Arguments()
{
    int nArgs = 0;
    wchar_t** ppszArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
    std::wstring strArgs;
    for (int i = 1; ppszArgs && i < nArgs; ++i)
        strArgs += (i > 1 ? L" [" : L"[") + std::wstring(ppszArgs[i]) + L"]";
    ::LocalFree(ppszArgs);
    return strArgs.empty() ? L"(none)" : strArgs;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
try {
    const std::wstring strModule = GetExePath();
    const std::wstring strText = L"program: " + strModule + L"\narguments: " + Arguments() + L"\nworking folder: " +
                                 CHFileUtilities::GetCurrentDirectoryW() + L"\n";
    std::string text(
        static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), -1, nullptr, 0, nullptr, nullptr)),
        '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), -1, text.data(), static_cast<int>(text.size()), nullptr,
                          nullptr);
    text.pop_back();  // the terminating zero

    const std::wstring strRecord = strModule.substr(0, strModule.find_last_of(L'\\') + 1) + L"first-run.txt";
    HANDLE hFile =
        ::CreateFileW(strRecord.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    DWORD cbWritten = 0;
    const BOOL bWritten = ::WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &cbWritten, nullptr);
    ::CloseHandle(hFile);
    return bWritten ? 0 : 1;
} catch (...) {
    return 1;
}
