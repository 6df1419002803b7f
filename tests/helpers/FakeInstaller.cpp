// Stands in for the suite's installer in the launcher's end-to-end tests:
// records how it was started, answers on the launcher's pipe in a way the
// test chooses, and exits with the code the test chooses.
//
//   FakeInstaller [/record=<file>] [/started=<event>] [/hold=<event>]
//                 [/delay=<ms>] [/answer=<file>] [/connect=exit|never|silent]
//                 [/header] [/child] [/runfor=<ms>] [/broadcast] [/exit=<code>]
//                 [anything else]...
//
// In this order:
// - it always creates the file "<its own executable path>.started", so a
//   test can tell that this copy was started at all, whatever its arguments;
//   it holds one line, "preparing-window=1" when a top-level window captioned
//   "Preparing installation" (the launcher's copying dialog) exists at that
//   moment and "preparing-window=0" when none does;
// - /record= writes the record of ProcessProbeRecord.h (module, command line,
//   current directory, every argument);
// - /started= signals the named event (created by the test);
// - /hold= waits (at most 60 s) for the named event;
// - /delay= sleeps that long;
// - it connects to the launcher's pipe (waiting at most 10 s for it) unless
//   /connect=never, and with /connect=exit (the default) writes the bytes of
//   the /answer= file exactly as they are, in one write of any size (no
//   /answer= writes 0 bytes); with /connect=silent it writes nothing; then it
//   closes its end. The outcome goes to "<record>.sent" as a decimal Win32
//   error code (0: written). With /header it sends the /answer= file's text
//   (UTF-16LE, a leading mark FF FE dropped) through the installer authors'
//   HulvsSendInstallerAnswer instead. With /child it does not answer itself:
//   it starts itself again to answer (with /answer=, /header and
//   "/record=<record>.child") and waits for that child;
// - /runfor= sleeps that long;
// - /broadcast tells every top-level window that the environment changed, as
//   installers do after changing PATH: SendMessage(HWND_BROADCAST,
//   WM_SETTINGCHANGE, 0, "Environment"), which returns only when every
//   window's thread has answered;
// - it exits with /exit='s code (decimal; 0 without it).
// Without /answer= and /connect= it does not touch the pipe: a copy started by
// mistake stays harmless.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "HulvsInstallerAnswer.h"
#include "ProcessProbeRecord.h"
#include "SwitchValue.h"

namespace {

constexpr DWORD g_dwHoldTimeoutMs = 60000;
constexpr DWORD g_dwConnectTimeoutMs = 10000;

enum class EConnect
{
    None,
    AtExit,
    Never,
    Silent
};

struct COptions
{
    std::wstring strRecord, strStartedEvent, strHoldEvent, strAnswer;
    EConnect connect = EConnect::None;
    DWORD dwDelayMs = 0, dwRunForMs = 0, dwExitCode = 0;
    bool bBroadcast = false, bHeader = false, bChild = false;
};

DWORD Number(const std::wstring& strValue)
{
    return std::wcstoul(strValue.c_str(), nullptr, 10);
}

COptions ParseOptions(int argc, wchar_t** argv)
{
    COptions options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring strArg = argv[i];
        std::wstring strValue;
        if (strArg == L"/broadcast" || strArg == L"/header" || strArg == L"/child") {
            (strArg == L"/broadcast" ? options.bBroadcast
             : strArg == L"/header"  ? options.bHeader
                                     : options.bChild) = true;
            continue;
        }
        if (TakeSwitchValue(strArg, L"/record=", options.strRecord) ||
            TakeSwitchValue(strArg, L"/started=", options.strStartedEvent) ||
            TakeSwitchValue(strArg, L"/hold=", options.strHoldEvent))
            continue;
        if (TakeSwitchValue(strArg, L"/answer=", options.strAnswer)) {
            if (options.connect == EConnect::None)
                options.connect = EConnect::AtExit;
        } else if (TakeSwitchValue(strArg, L"/connect=", strValue)) {
            options.connect = strValue == L"never"    ? EConnect::Never
                              : strValue == L"silent" ? EConnect::Silent
                                                      : EConnect::AtExit;
        } else if (TakeSwitchValue(strArg, L"/delay=", strValue)) {
            options.dwDelayMs = Number(strValue);
        } else if (TakeSwitchValue(strArg, L"/runfor=", strValue)) {
            options.dwRunForMs = Number(strValue);
        } else if (TakeSwitchValue(strArg, L"/exit=", strValue)) {
            options.dwExitCode = Number(strValue);
        }
    }
    return options;
}

void SignalEvent(const std::wstring& strName)
{
    if (HANDLE hEvent = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, strName.c_str())) {
        ::SetEvent(hEvent);
        ::CloseHandle(hEvent);
    }
}

void WaitForEvent(const std::wstring& strName)
{
    if (HANDLE hEvent = ::OpenEventW(SYNCHRONIZE, FALSE, strName.c_str())) {
        ::WaitForSingleObject(hEvent, g_dwHoldTimeoutMs);
        ::CloseHandle(hEvent);
    }
}

// The answer file's bytes; an unreadable file counts as empty.
std::string ReadAnswer(const std::wstring& strPath)
{
    std::string bytes;
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD cbRead = 0;
    while (::ReadFile(hFile, chunk, sizeof(chunk), &cbRead, nullptr) && cbRead > 0)
        bytes.append(chunk, cbRead);
    ::CloseHandle(hFile);
    return bytes;
}

// The answer through the installer authors' header, as text.
DWORD AnswerThroughTheHeader(const COptions& options)
{
    std::string bytes = ReadAnswer(options.strAnswer);
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        bytes.erase(0, 2);
    std::wstring strText(bytes.size() / 2, L'\0');
    std::memcpy(strText.data(), bytes.data(), strText.size() * sizeof(wchar_t));
    return HulvsSendInstallerAnswer(strText.c_str(), g_dwConnectTimeoutMs);
}

// A child of this process answers; its exit code is what it sent.
DWORD AnswerThroughAChild(const COptions& options)
{
    std::wstring strCommand = L"\"" + ProbeModulePath() + L"\" \"/answer=" + options.strAnswer + L"\"" +
                              (options.bHeader ? L" /header" : L"") + L" \"/record=" + options.strRecord + L".child\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return ::GetLastError();
    ::CloseHandle(info.hThread);
    ::WaitForSingleObject(info.hProcess, g_dwHoldTimeoutMs);
    ::CloseHandle(info.hProcess);
    return ERROR_SUCCESS;
}

// Deliberately not HulvsSendInstallerAnswerBytes: the tests also send what
// that function refuses (answers larger than the launcher accepts).
DWORD Answer(const COptions& options)
{
    if (options.bChild)
        return AnswerThroughAChild(options);
    if (options.bHeader)
        return AnswerThroughTheHeader(options);
    HANDLE hPipe = INVALID_HANDLE_VALUE;
    DWORD dwError = HulvsConnectInstallerPipe(g_dwConnectTimeoutMs, &hPipe);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    if (options.connect == EConnect::AtExit) {
        const std::string bytes = ReadAnswer(options.strAnswer);
        DWORD cbWritten = 0;
        if (!::WriteFile(hPipe, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr))
            dwError = ::GetLastError();
    }
    ::CloseHandle(hPipe);
    return dwError;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const COptions options = ParseOptions(argc, argv);
    const std::string strMark =
        ::FindWindowW(nullptr, L"Preparing installation") ? "preparing-window=1\n" : "preparing-window=0\n";
    WriteProbeFile(ProbeModulePath() + L".started", strMark.data(), static_cast<DWORD>(strMark.size()));
    if (!options.strRecord.empty())
        WriteProbeRecord(options.strRecord, ProbeStartRecord(argc, argv));
    if (!options.strStartedEvent.empty())
        SignalEvent(options.strStartedEvent);
    if (!options.strHoldEvent.empty())
        WaitForEvent(options.strHoldEvent);
    ::Sleep(options.dwDelayMs);
    if (options.connect == EConnect::AtExit || options.connect == EConnect::Silent) {
        const std::wstring strResult = std::to_wstring(Answer(options));
        if (!options.strRecord.empty())
            WriteProbeRecord(options.strRecord + L".sent", strResult);
    }
    ::Sleep(options.dwRunForMs);
    if (options.bBroadcast)
        ::SendMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
    return static_cast<int>(options.dwExitCode);
}
