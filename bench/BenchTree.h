// The tree that the deletion benchmarks delete: 20,000 files of about 100
// bytes in 2,000 folders (50 top folders of 39 subfolders each, ten files in
// every folder), generated afresh with plain Win32 calls.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "RAde/HUniqueHandle.h"

namespace BenchTree {

constexpr int kTopFolders = 50;
constexpr int kSubFoldersEach = 39;  // 50 + 50 x 39 = 2,000 folders
constexpr int kFilesPerFolder = 10;  // 20,000 files
constexpr int kFolders = kTopFolders * (1 + kSubFoldersEach);
constexpr int kFiles = kFolders * kFilesPerFolder;

[[noreturn]] inline void Fail(const wchar_t* pszWhat, const std::wstring& strPath)
{
    const DWORD dwError = ::GetLastError();
    std::fwprintf(stderr, L"%ls %ls failed: %lu\n", pszWhat, strPath.c_str(), dwError);
    std::exit(1);
}

inline void MakeFolder(const std::wstring& strPath)
{
    if (!::CreateDirectoryW(strPath.c_str(), nullptr))
        Fail(L"creating", strPath);
}

inline void FillFolder(const std::wstring& strFolder)
{
    static const std::string strContent(100, 'x');
    for (int i = 0; i < kFilesPerFolder; ++i) {
        const std::wstring strFile = strFolder + L"\\file" + std::to_wstring(i) + L".txt";
        CHFileHandle file(
            ::CreateFileW(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD dwWritten = 0;
        if (!file ||
            !::WriteFile(file.Get(), strContent.data(), static_cast<DWORD>(strContent.size()), &dwWritten, nullptr))
            Fail(L"writing", strFile);
    }
}

inline void Generate(const std::wstring& strRoot)
{
    MakeFolder(strRoot);
    for (int nTop = 0; nTop < kTopFolders; ++nTop) {
        const std::wstring strTop = strRoot + L"\\top" + std::to_wstring(nTop);
        MakeFolder(strTop);
        FillFolder(strTop);
        for (int nSub = 0; nSub < kSubFoldersEach; ++nSub) {
            const std::wstring strSub = strTop + L"\\sub" + std::to_wstring(nSub);
            MakeFolder(strSub);
            FillFolder(strSub);
        }
    }
}

}  // namespace BenchTree
