// What ProcessProbe.exe writes about its own start, and how tests read it back.
//
// The record is UTF-16LE text without a byte-order mark, one "key=value" line
// per item, each ended by "\n":
//   module=<its executable's full path>
//   commandline=<GetCommandLineW()>
//   cwd=<its current directory>
//   arg=<argv[i]>            one line per argument after argv[0], in order
//   env:<NAME>=<value>       per /env=<NAME> option, when the variable is set
//   noenv:<NAME>=            per /env=<NAME> option, when it is not
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

struct CProcessProbeRecord
{
    std::wstring strModule;
    std::wstring strCommandLine;
    std::wstring strCurrentDirectory;
    std::vector<std::wstring> args;
    // The variables asked for: their value, or nothing when they were not set.
    std::map<std::wstring, std::optional<std::wstring>> environment;
};

// The record in the file, or nothing when the file cannot be read.
inline std::optional<CProcessProbeRecord> ReadProcessProbeRecord(const std::wstring& strPath)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring strText;
    LARGE_INTEGER size = {};
    bool bRead = ::GetFileSizeEx(hFile, &size) != FALSE && size.QuadPart < 64 * 1024 * 1024;
    if (bRead) {
        strText.resize(static_cast<size_t>(size.QuadPart) / sizeof(wchar_t));
        DWORD cbRead = 0;
        const DWORD cbWanted = static_cast<DWORD>(strText.size() * sizeof(wchar_t));
        bRead = ::ReadFile(hFile, strText.data(), cbWanted, &cbRead, nullptr) && cbRead == cbWanted;
    }
    ::CloseHandle(hFile);
    if (!bRead)
        return std::nullopt;

    CProcessProbeRecord record;
    size_t nPos = 0;
    while (nPos < strText.size()) {
        size_t nEnd = strText.find(L'\n', nPos);
        if (nEnd == std::wstring::npos)
            nEnd = strText.size();
        const std::wstring strLine = strText.substr(nPos, nEnd - nPos);
        nPos = nEnd + 1;
        const size_t nEquals = strLine.find(L'=');
        if (nEquals == std::wstring::npos)
            continue;
        const std::wstring strKey = strLine.substr(0, nEquals);
        const std::wstring strValue = strLine.substr(nEquals + 1);
        if (strKey == L"module")
            record.strModule = strValue;
        else if (strKey == L"commandline")
            record.strCommandLine = strValue;
        else if (strKey == L"cwd")
            record.strCurrentDirectory = strValue;
        else if (strKey == L"arg")
            record.args.push_back(strValue);
        else if (strKey.starts_with(L"env:"))
            record.environment[strKey.substr(4)] = strValue;
        else if (strKey.starts_with(L"noenv:"))
            record.environment[strKey.substr(6)] = std::nullopt;
    }
    return record;
}

// ---- Writing a record (the programs that record their own start)

inline std::wstring ProbeModulePath()
{
    std::wstring strPath(32768, L'\0');
    strPath.resize(::GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size())));
    return strPath;
}

inline std::wstring ProbeCurrentDirectory()
{
    std::wstring strPath(32768, L'\0');
    strPath.resize(::GetCurrentDirectoryW(static_cast<DWORD>(strPath.size()), strPath.data()));
    return strPath;
}

// The lines every record starts with: module, command line, folder, arguments.
inline std::wstring ProbeStartRecord(int argc, wchar_t** argv)
{
    std::wstring strRecord = L"module=" + ProbeModulePath() + L"\n";
    strRecord += L"commandline=" + std::wstring(::GetCommandLineW()) + L"\n";
    strRecord += L"cwd=" + ProbeCurrentDirectory() + L"\n";
    for (int i = 1; i < argc; ++i)
        strRecord += L"arg=" + std::wstring(argv[i]) + L"\n";
    return strRecord;
}

inline bool WriteProbeFile(const std::wstring& strPath, const void* pData, DWORD cbData)
{
    HANDLE hFile =
        ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const bool bWritten = ::WriteFile(hFile, pData, cbData, &cbWritten, nullptr) && cbWritten == cbData;
    return ::CloseHandle(hFile) && bWritten;
}

// The record appears whole: written beside the file and then renamed, so a
// test that polls for it never reads half of it.
inline bool WriteProbeRecord(const std::wstring& strPath, const std::wstring& strRecord)
{
    const std::wstring strPartial = strPath + L".partial";
    return WriteProbeFile(strPartial, strRecord.data(), static_cast<DWORD>(strRecord.size() * sizeof(wchar_t))) &&
           ::MoveFileExW(strPartial.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}
