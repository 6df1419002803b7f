// What the tests of CInstallUtils and its answer pipe share: copies of
// ProcessProbe.exe under names of their own, waiting for a probe's record,
// files that a process may still hold, the log's messages counted, and text
// compared without regard to case.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "InstallerShim/InstallUtils.h"
#include "TestSupport.h"
#include "helpers/ProcessProbeRecord.h"

constexpr DWORD g_dwTestProcessTimeoutMs = 20000;

inline std::wstring ProcessProbePath()
{
    return TestProgramFolder() + L"ProcessProbe.exe";
}

// A copy of ProcessProbe.exe at strPath (a test failure when it cannot be made).
inline void CopyProcessProbeTo(const std::wstring& strPath)
{
    EXPECT_TRUE(::CopyFileW(ProcessProbePath().c_str(), strPath.c_str(), FALSE)) << ::GetLastError();
}

// The probe's record once it has been written, or nothing after the time-out.
inline std::optional<CProcessProbeRecord> AwaitProbeRecord(const std::wstring& strPath)
{
    for (DWORD dwWaited = 0; dwWaited < g_dwTestProcessTimeoutMs; dwWaited += 20) {
        if (auto record = ReadProcessProbeRecord(strPath))
            return record;
        ::Sleep(20);
    }
    return std::nullopt;
}

inline bool PathExists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Deletes a file that a process may still be running from: tried until that
// process has let go of it (or the time-out).
inline bool DeleteWhenFree(const std::wstring& strPath)
{
    for (DWORD dwWaited = 0; dwWaited < g_dwTestProcessTimeoutMs; dwWaited += 20) {
        ::SetFileAttributesW(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (::DeleteFileW(strPath.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
            return true;
        ::Sleep(20);
    }
    return false;
}

inline bool EqualsIgnoringCase(const std::wstring& str1, const std::wstring& str2)
{
    return ::CompareStringOrdinal(str1.c_str(), static_cast<int>(str1.size()), str2.c_str(),
                                  static_cast<int>(str2.size()), TRUE) == CSTR_EQUAL;
}

inline std::wstring UpperCase(std::wstring strText)
{
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](wchar_t ch) { return static_cast<wchar_t>(::towupper(ch)); });
    return strText;
}
