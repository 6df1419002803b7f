// Small helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "RAde/HBuf.h"
#include "RAde/HException.h"
#include "RAde/HLogging.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HXmlNode.h"

// Runs fn and returns the CHException it throws; a test failure when it throws none.
template <class Fn>
CHException CatchThrown(Fn&& fn)
{
    try {
        fn();
    } catch (CHException& e) {
        return e;
    }
    ADD_FAILURE() << "no CHException was thrown";
    return CHException();
}

// The codes of an exception's entries, oldest first.
inline std::vector<int> ErrorCodesOf(const CHException& e)
{
    std::vector<int> codes;
    for (const CHXmlNode* pEntry : e.GetXml().GetChildren(L"errorentry"))
        for (const CHXmlNode* pCode : pEntry->GetChildren(L"errorcode"))
            codes.push_back(std::stoi(pCode->GetValue()));
    return codes;
}

// The library has no XML writer; tests that need a tree as text write it here.
inline std::wstring SerialiseForTest(const CHXmlNode& node)
{
    auto escape = [](const std::wstring& strText) {
        std::wstring strOut;
        for (wchar_t ch : strText) {
            switch (ch) {
            case L'&': strOut += L"&amp;"; break;
            case L'<': strOut += L"&lt;"; break;
            case L'>': strOut += L"&gt;"; break;
            case L'"': strOut += L"&quot;"; break;
            default: strOut += ch;
            }
        }
        return strOut;
    };
    std::wstring strOut = L"<" + node.GetName();
    for (const auto& attribute : node.GetAttributes())
        strOut += L" " + attribute->GetName() + L"=\"" + escape(attribute->GetValue()) + L"\"";
    strOut += L">" + escape(node.GetValue());
    for (const auto& child : node.GetChildNodes())
        strOut += SerialiseForTest(*child);
    return strOut + L"</" + node.GetName() + L">";
}

// Records what is logged while it lives.
class CLogCapture
{
public:
    CLogCapture() { CHLogging::SetObserver(&CLogCapture::Observe, this); }
    ~CLogCapture() { CHLogging::SetObserver(nullptr, nullptr); }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<std::wstring> Messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    std::vector<int> Levels() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_levels;
    }

private:
    static void Observe(void* pContext, const CHLogLevel& level, const std::wstring& strMessage)
    {
        auto* pThis = static_cast<CLogCapture*>(pContext);
        std::lock_guard<std::mutex> lock(pThis->m_mutex);
        pThis->m_messages.push_back(strMessage);
        pThis->m_levels.push_back(level.nLevel);
    }

    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_messages;
    std::vector<int> m_levels;
};

// A path in %TEMP% that no other test (or other run) uses.
inline std::wstring UniqueTempPath(const std::wstring& strStem)
{
    wchar_t szTemp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, szTemp);
    static LONG s_nCounter = 0;
    return std::wstring(szTemp) + L"hs_" + strStem + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(::InterlockedIncrement(&s_nCounter));
}

// Writes raw bytes to a file, replacing it.
inline void WriteFileBytes(const std::wstring& strPath, const std::string& bytes)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    DWORD dwWritten = 0;
    ::WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr);
    ::CloseHandle(hFile);
    ASSERT_EQ(dwWritten, bytes.size());
}

// A uniquely named file in %TEMP% holding the bytes, deleted when it goes.
class CTempFile
{
public:
    CTempFile(const std::wstring& strStem, const std::string& bytes) : m_strPath(UniqueTempPath(strStem))
    {
        WriteFileBytes(m_strPath, bytes);
    }
    ~CTempFile() { ::DeleteFileW(m_strPath.c_str()); }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;

    const std::wstring& Path() const { return m_strPath; }

private:
    std::wstring m_strPath;
};

// The folder of the running test program, with a trailing "\".
inline std::wstring TestProgramFolder()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L"\\/") + 1);
}

// The bytes a buffer holds (locked for the copy when the buffer needs it).
inline std::string BufferBytes(CHBuf& buffer)
{
    if (buffer.GetSize() == 0)
        return std::string();
    CHBufLock lock(buffer);
    std::string bytes(reinterpret_cast<const char*>(buffer.GetBuf()), static_cast<size_t>(buffer.GetSize()));
    lock.Unlock();
    return bytes;
}

// Starts one of the helper programs that lie beside the test program; returns
// its process handle (invalid when it could not start: a test failure).
inline CHKernelHandle StartHelperProgram(const std::wstring& strProgram, const std::wstring& strArguments)
{
    std::wstring strCommand = L"\"" + TestProgramFolder() + strProgram + L"\" " + strArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "could not start " << testing::PrintToString(strProgram) << ": error " << ::GetLastError();
        return CHKernelHandle();
    }
    ::CloseHandle(info.hThread);
    return CHKernelHandle(info.hProcess);
}
