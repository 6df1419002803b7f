// Records how it was started, for the tests of starting programs.
//
//   ProcessProbe [/out=<file>] [/exit=<code>] [/wait=<event>] [/env=<NAME>]... [/stamp] [anything else]...
//
// /stamp first creates an empty file "<its own executable path>.started", so
// a test can tell which executable the system started. /out= writes the
// record of ProcessProbeRecord.h (module, command line, current directory,
// every argument, the /env= variables). /wait= then waits (at most 30 s) for
// the named event, which the test creates. The exit code is /exit='s number
// (decimal; 0 without it), or 101 when the record could not be written, 102
// when the event could not be opened or was not signalled. Other arguments
// are only recorded.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "ProcessProbeRecord.h"
#include "SwitchValue.h"

namespace {

constexpr DWORD g_dwWaitTimeoutMs = 30000;
constexpr int g_nRecordNotWritten = 101;
constexpr int g_nEventNotSignalled = 102;

struct COptions
{
    std::wstring strOutput;
    std::wstring strEvent;
    std::vector<std::wstring> variables;
    bool bStamp = false;
    int nExitCode = 0;
};

COptions ParseOptions(int argc, wchar_t** argv)
{
    COptions options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring strArg = argv[i];
        std::wstring strValue;
        if (TakeSwitchValue(strArg, L"/out=", strValue))
            options.strOutput = strValue;
        else if (TakeSwitchValue(strArg, L"/exit=", strValue))
            options.nExitCode = static_cast<int>(std::wcstoul(strValue.c_str(), nullptr, 10));
        else if (TakeSwitchValue(strArg, L"/wait=", strValue))
            options.strEvent = strValue;
        else if (TakeSwitchValue(strArg, L"/env=", strValue))
            options.variables.push_back(strValue);
        else if (strArg == L"/stamp")
            options.bStamp = true;
    }
    return options;
}

std::wstring VariableLine(const std::wstring& strName)
{
    const DWORD cchValue = ::GetEnvironmentVariableW(strName.c_str(), nullptr, 0);
    if (cchValue == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return L"noenv:" + strName + L"=\n";
    std::wstring strValue(cchValue + 1, L'\0');
    strValue.resize(::GetEnvironmentVariableW(strName.c_str(), strValue.data(), static_cast<DWORD>(strValue.size())));
    return L"env:" + strName + L"=" + strValue + L"\n";
}

std::wstring Record(int argc, wchar_t** argv, const COptions& options)
{
    std::wstring strRecord = ProbeStartRecord(argc, argv);
    for (const std::wstring& strName : options.variables)
        strRecord += VariableLine(strName);
    return strRecord;
}

bool WaitForEvent(const std::wstring& strName)
{
    HANDLE hEvent = ::OpenEventW(SYNCHRONIZE, FALSE, strName.c_str());
    if (!hEvent)
        return false;
    const bool bSignalled = ::WaitForSingleObject(hEvent, g_dwWaitTimeoutMs) == WAIT_OBJECT_0;
    ::CloseHandle(hEvent);
    return bSignalled;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const COptions options = ParseOptions(argc, argv);
    if (options.bStamp && !WriteProbeFile(ProbeModulePath() + L".started", "", 0))
        return g_nRecordNotWritten;
    if (!options.strOutput.empty() && !WriteProbeRecord(options.strOutput, Record(argc, argv, options)))
        return g_nRecordNotWritten;
    if (!options.strEvent.empty() && !WaitForEvent(options.strEvent))
        return g_nEventNotSignalled;
    return options.nExitCode;
}
