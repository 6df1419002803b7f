// Running the tools (xmlquery.exe, skincheck.exe, ...) as child processes and
// collecting what they write.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "RAde/HUniqueHandle.h"
#include "TestSupport.h"

struct CRunResult
{
    DWORD dwExitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// The lines of a tool's output, without their line feeds.
inline std::vector<std::string> LinesOf(const std::string& strText)
{
    std::vector<std::string> lines;
    std::istringstream stream(strText);
    for (std::string strLine; std::getline(stream, strLine);)
        lines.push_back(strLine);
    return lines;
}

// Quotes one argument so that the C runtime's command-line parser gives it back unchanged.
inline std::wstring QuoteArgument(const std::wstring& strArg)
{
    std::wstring strQuoted = L"\"";
    size_t nBackslashes = 0;
    for (wchar_t ch : strArg) {
        if (ch == L'\\') {
            ++nBackslashes;
            continue;
        }
        // Backslashes count only in front of a quote.
        strQuoted.append(ch == L'"' ? 2 * nBackslashes + 1 : nBackslashes, L'\\');
        nBackslashes = 0;
        strQuoted += ch;
    }
    strQuoted.append(2 * nBackslashes, L'\\');
    return strQuoted + L"\"";
}

// Reads what the pipe holds now, without waiting; false when it held nothing.
inline bool ReadWaiting(HANDLE hPipe, std::string& bytes)
{
    DWORD dwWaiting = 0;
    if (!::PeekNamedPipe(hPipe, nullptr, 0, nullptr, &dwWaiting, nullptr) || dwWaiting == 0)
        return false;
    std::string chunk(dwWaiting, '\0');
    DWORD dwRead = 0;
    if (!::ReadFile(hPipe, chunk.data(), dwWaiting, &dwRead, nullptr))
        return false;
    bytes.append(chunk, 0, dwRead);
    return dwRead > 0;
}

// A pipe whose write end the child inherits and whose read end stays here.
inline void CreateOutputPipe(CHKernelHandle& readEnd, CHKernelHandle& writeEnd)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr;
    HANDLE hWrite = nullptr;
    ASSERT_TRUE(::CreatePipe(&hRead, &hWrite, &sa, 0));
    readEnd.Reset(hRead);
    writeEnd.Reset(hWrite);
    ASSERT_TRUE(::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0));
}

// Runs a tool beside the test program with the arguments and collects both
// outputs. Both pipes are drained while the child runs (so it never stalls
// on a full one) and once more after it ended. The end of the child, not the
// end of the pipes, ends the run: under Wine a process the child causes to
// start (the desktop's explorer.exe) may inherit the write ends and keep
// them open long after.
inline CRunResult RunTool(const std::wstring& strTool, const std::vector<std::wstring>& args)
{
    CRunResult result;
    std::wstring strProgram = TestProgramFolder() + strTool;
    std::wstring strCommandLine = QuoteArgument(strProgram);
    for (const std::wstring& strArg : args)
        strCommandLine += L" " + QuoteArgument(strArg);

    CHKernelHandle outRead, outWrite, errRead, errWrite;
    CreateOutputPipe(outRead, outWrite);
    CreateOutputPipe(errRead, errWrite);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = outWrite.Get();
    si.hStdError = errWrite.Get();
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(strProgram.c_str(), strCommandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                          &pi)) {
        ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
        return result;
    }
    CHKernelHandle process(pi.hProcess);
    CHKernelHandle thread(pi.hThread);
    outWrite.Reset();
    errWrite.Reset();

    const ULONGLONG nDeadline = ::GetTickCount64() + 60000;
    for (;;) {
        const bool bEnded = ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
        const bool bRead = ReadWaiting(outRead.Get(), result.out) | ReadWaiting(errRead.Get(), result.err);
        if (bEnded && !bRead)
            break;
        if (!bEnded && ::GetTickCount64() > nDeadline) {
            ADD_FAILURE() << testing::PrintToString(strTool) << " did not end";
            ::TerminateProcess(process.Get(), 99);
        }
        if (!bRead)
            ::Sleep(2);
    }
    ::GetExitCodeProcess(process.Get(), &result.dwExitCode);
    return result;
}
