// The demo's installer, standing in for the suite's HalvikInstaller.exe on the
// demo medium. It shows nothing. It "installs" the suite by copying the demo
// program that lies beside it into "%ProgramFiles%\Halvik Ulvo Suite Demo",
// tells the launcher what to do next through HulvsInstallerAnswer.h (start
// that program, the installation's language, the staged files may go), notes
// what it did in "installer.txt" in that folder, keeps the answer's bytes as
// it sent them in "answer.bin" there (for answercheck --answer), and exits
// with 0.
//
// The language is "en-uk" unless the command line says otherwise with
// "/language=xx" (the launcher hands on what it was started with, so
// "InstallerShim.exe /language=ar" on the medium reaches it).
//
// It uses nothing but <windows.h> and the installer authors' header, as a
// real installer would.
#include <windows.h>

#include <iterator>
#include <string>

#include "HulvsInstallerAnswer.h"

namespace {

constexpr wchar_t g_szProductFolder[] = L"Halvik Ulvo Suite Demo";
constexpr wchar_t g_szProgram[] = L"HalvikUlvoSuite.exe";
// How long to look for the launcher's pipe; a start without the launcher gives up then.
constexpr DWORD g_dwPipeTimeoutMs = 10000;

std::wstring OwnFolder()
{
    std::wstring strPath(32768, L'\0');
    strPath.resize(::GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size())));
    return strPath.substr(0, strPath.find_last_of(L'\\') + 1);
}

std::wstring CurrentDirectory()
{
    std::wstring strPath(32768, L'\0');
    strPath.resize(::GetCurrentDirectoryW(static_cast<DWORD>(strPath.size()), strPath.data()));
    return strPath;
}

std::wstring InstallFolder()
{
    std::wstring strProgramFiles(32768, L'\0');
    strProgramFiles.resize(
        ::GetEnvironmentVariableW(L"ProgramFiles", strProgramFiles.data(), static_cast<DWORD>(strProgramFiles.size())));
    if (strProgramFiles.empty())
        strProgramFiles = L"C:\\Program Files";
    return strProgramFiles + L"\\" + g_szProductFolder;
}

void WriteBytesFile(const std::wstring& strPath, const void* pBytes, DWORD cbBytes)
{
    HANDLE hFile =
        ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten = 0;
    ::WriteFile(hFile, pBytes, cbBytes, &cbWritten, nullptr);
    ::CloseHandle(hFile);
}

void WriteUtf8File(const std::wstring& strPath, const std::wstring& strText)
{
    const int cbText = ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string text(static_cast<size_t>(cbText), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.c_str(), static_cast<int>(strText.size()), text.data(), cbText, nullptr,
                          nullptr);
    WriteBytesFile(strPath, text.data(), static_cast<DWORD>(text.size()));
}

// The answer as HulvsSendInstallerAnswer sends it: UTF-16LE after the mark FF FE.
void WriteAnswerFile(const std::wstring& strPath, const std::wstring& strAnswer)
{
    const std::wstring strSent = L"\xFEFF" + strAnswer;
    WriteBytesFile(strPath, strSent.data(), static_cast<DWORD>(strSent.size() * sizeof(wchar_t)));
}

// The value of "/language=" on the command line, or the default.
std::wstring Language()
{
    constexpr wchar_t szSwitch[] = L"/language=";
    constexpr size_t cchSwitch = std::size(szSwitch) - 1;
    std::wstring strLanguage = L"en-uk";
    int nArgs = 0;
    wchar_t** ppszArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
    for (int i = 1; ppszArgs && i < nArgs; ++i) {
        const std::wstring strArg = ppszArgs[i];
        if (strArg.size() > cchSwitch && ::CompareStringOrdinal(strArg.c_str(), static_cast<int>(cchSwitch), szSwitch,
                                                                static_cast<int>(cchSwitch), TRUE) == CSTR_EQUAL)
            strLanguage = strArg.substr(cchSwitch);
    }
    ::LocalFree(ppszArgs);
    return strLanguage;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    const std::wstring strFolder = InstallFolder();
    const std::wstring strProgram = strFolder + L"\\" + g_szProgram;
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    const bool bCopied = ::CopyFileW((OwnFolder() + g_szProgram).c_str(), strProgram.c_str(), FALSE) != FALSE;

    // The program's path holds blanks: the value gets two pairs of quotes,
    // since the launcher takes the outer pair off every value first.
    const std::wstring strAnswer = L"autorun=\"\"" + strProgram +
                                   L"\" /firstRun\"\n"
                                   L"language=" +
                                   Language() +
                                   L"\n"
                                   L"delete-files=true\n";
    const DWORD dwSent =
        bCopied ? HulvsSendInstallerAnswer(strAnswer.c_str(), g_dwPipeTimeoutMs) : ERROR_FILE_NOT_FOUND;

    WriteAnswerFile(strFolder + L"\\answer.bin", strAnswer);
    WriteUtf8File(strFolder + L"\\installer.txt",
                  L"command line: " + std::wstring(::GetCommandLineW()) + L"\n" + L"working folder: " +
                      CurrentDirectory() + L"\n" + L"installed: " + (bCopied ? strProgram : L"nothing (copy failed)") +
                      L"\n" + L"answer sent (result " + std::to_wstring(dwSent) + L"):\n" + strAnswer);
    return 0;
}
