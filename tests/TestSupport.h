// Small helpers shared by the test programs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "RAde/HBuf.h"
#include "RAde/HException.h"
#include "RAde/HLogging.h"
#include "RAde/HFileUtilities.h"
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

// A generous bound for handshakes between a test and its threads or
// processes; never reached when things work.
constexpr DWORD g_dwHandshakeMs = 20000;

// A manual-reset event, not signalled; named when a name is given.
inline CHKernelHandle NewEvent(const std::wstring& strName = L"")
{
    return CHKernelHandle(::CreateEventW(nullptr, TRUE, FALSE, strName.empty() ? nullptr : strName.c_str()));
}

// Whether the object is signalled within the time.
inline bool WaitSignalled(HANDLE hObject, DWORD dwTimeoutMs = g_dwHandshakeMs)
{
    return ::WaitForSingleObject(hObject, dwTimeoutMs) == WAIT_OBJECT_0;
}
inline bool WaitSignalled(const CHKernelHandle& hObject, DWORD dwTimeoutMs = g_dwHandshakeMs)
{
    return WaitSignalled(hObject.Get(), dwTimeoutMs);
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

// The functions named by an exception's entries, oldest first.
inline std::vector<std::wstring> ErrorFunctionsOf(const CHException& e)
{
    std::vector<std::wstring> functions;
    for (const CHXmlNode* pEntry : e.GetXml().GetChildren(L"errorentry"))
        for (const CHXmlNode* pFunction : pEntry->GetChildren(L"sourcefunction"))
            functions.push_back(pFunction->GetValue());
    return functions;
}

// The library has no XML writer; tests that need a tree as text write it here.
inline std::wstring SerialiseForTest(const CHXmlNode& node)
{
    auto escape = [](const std::wstring& strText) {
        std::wstring strOut;
        for (wchar_t ch : strText) {
            switch (ch) {
            case L'&':
                strOut += L"&amp;";
                break;
            case L'<':
                strOut += L"&lt;";
                break;
            case L'>':
                strOut += L"&gt;";
                break;
            case L'"':
                strOut += L"&quot;";
                break;
            default:
                strOut += ch;
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

// The messages logged at that level that the predicate accepts, counted.
template <class Accept>
size_t CountLoggedWhere(const CLogCapture& log, int nLevel, Accept accept)
{
    const std::vector<std::wstring> messages = log.Messages();
    const std::vector<int> levels = log.Levels();
    size_t nCount = 0;
    for (size_t i = 0; i < messages.size(); ++i)
        nCount += levels[i] == nLevel && accept(messages[i]);
    return nCount;
}

// The message logged with that exact text at that level, counted.
inline size_t CountLogged(const CLogCapture& log, int nLevel, const std::wstring& strMessage)
{
    return CountLoggedWhere(log, nLevel, [&](const std::wstring& strLogged) { return strLogged == strMessage; });
}

// The messages logged at that level that contain the text.
inline size_t CountLoggedContaining(const CLogCapture& log, int nLevel, const std::wstring& strPart)
{
    return CountLoggedWhere(
        log, nLevel, [&](const std::wstring& strLogged) { return strLogged.find(strPart) != std::wstring::npos; });
}

// A path in %TEMP% that no other test (or other run) uses.
inline std::wstring UniqueTempPath(const std::wstring& strStem)
{
    wchar_t szTemp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, szTemp);
    static LONG s_nCounter = 0;
    // Wine hands out process ids again soon, so the process's start time
    // keeps a folder left behind by an earlier process of the same id apart.
    static const ULONGLONG s_nStart = [] {
        FILETIME created = {}, unused = {};
        ::GetProcessTimes(::GetCurrentProcess(), &created, &unused, &unused, &unused);
        return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32 | created.dwLowDateTime) / 10000 % 100000000;
    }();
    return std::wstring(szTemp) + L"hs_" + strStem + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(s_nStart) + L"_" + std::to_wstring(::InterlockedIncrement(&s_nCounter));
}

// The text in UTF-8.
inline std::string Utf8Of(const std::wstring& strText)
{
    const int nBytes = ::WideCharToMultiByte(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string bytes(static_cast<size_t>(nBytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strText.data(), static_cast<int>(strText.size()), bytes.data(), nBytes, nullptr,
                          nullptr);
    return bytes;
}

// The text in UTF-16 little-endian, after the mark FF FE when bMark.
inline std::string Utf16Le(const std::wstring& strText, bool bMark)
{
    std::string bytes = bMark ? std::string("\xFF\xFE", 2) : std::string();
    for (wchar_t ch : strText) {
        bytes += static_cast<char>(ch & 0xFF);
        bytes += static_cast<char>((ch >> 8) & 0xFF);
    }
    return bytes;
}

// Writes raw bytes to a file, replacing it.
inline void WriteFileBytes(const std::wstring& strPath, const std::string& bytes)
{
    HANDLE hFile =
        ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

inline bool Exists(const std::wstring& strPath)
{
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The 8.3 form of an existing path ("" when the system gives none).
inline std::wstring ShortPath(const std::wstring& strPath)
{
    wchar_t szShort[MAX_PATH] = {};
    const DWORD cch = ::GetShortPathNameW(strPath.c_str(), szShort, MAX_PATH);
    return std::wstring(szShort, cch < MAX_PATH ? cch : 0);
}

// A suffix no other call of this process gives, for names of its own.
inline std::wstring UniqueSuffix()
{
    static LONG s_nCounter = 0;
    return std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(::InterlockedIncrement(&s_nCounter));
}

inline bool IsRunningUnderWine()
{
    HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
    return hNtdll && ::GetProcAddress(hNtdll, "wine_get_version");
}

// The sample skin, copied beside the test programs by the build.
inline std::wstring SampleSkinFolder()
{
    return TestProgramFolder() + L"skin";
}

// Copies a folder with everything in it into strTo, which is made (with
// its parents) when missing.
inline void CopyTree(const std::wstring& strFrom, const std::wstring& strTo)
{
    CHFileUtilities::BuildDirectory(strTo);
    WIN32_FIND_DATAW data;
    CHFindHandle find(::FindFirstFileW((strFrom + L"\\*").c_str(), &data));
    ASSERT_TRUE(find.IsValid()) << testing::PrintToString(strFrom);
    do {
        const std::wstring strName = data.cFileName, strSource = strFrom + L"\\" + strName,
                           strCopy = strTo + L"\\" + strName;
        if (strName == L"." || strName == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(strSource, strCopy);
        else
            EXPECT_TRUE(::CopyFileW(strSource.c_str(), strCopy.c_str(), FALSE)) << ::GetLastError();
    } while (::FindNextFileW(find.Get(), &data));
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
    auto start = [&] {
        return ::CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &info) != FALSE;
    };
    // Wine now and then loses a new process before it is set up on a busy
    // machine (ERROR_INTERNAL_ERROR); the helper is started once more then.
    bool bStarted = start();
    if (!bStarted && ::GetLastError() == ERROR_INTERNAL_ERROR) {
        ::Sleep(200);
        bStarted = start();
    }
    if (!bStarted) {
        ADD_FAILURE() << "could not start " << testing::PrintToString(strProgram) << ": error " << ::GetLastError();
        return CHKernelHandle();
    }
    ::CloseHandle(info.hThread);
    return CHKernelHandle(info.hProcess);
}

// The whole content of a file ("" when it cannot be read: a test failure).
inline std::string ReadFileBytes(const std::wstring& strPath)
{
    CHFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ADD_FAILURE() << "cannot read " << testing::PrintToString(strPath) << ": error " << ::GetLastError();
        return std::string();
    }
    std::string bytes;
    char chunk[4096];
    DWORD dwRead = 0;
    while (::ReadFile(file.Get(), chunk, sizeof(chunk), &dwRead, nullptr) && dwRead > 0)
        bytes.append(chunk, dwRead);
    return bytes;
}

// A uniquely named folder in %TEMP%, removed with everything in it when it
// goes (read-only files included). The removal uses plain Win32 calls on the
// long-path form, never the library, and does not enter directory links.
class CTempFolder
{
public:
    explicit CTempFolder(const std::wstring& strStem) : m_strPath(UniqueTempPath(strStem))
    {
        EXPECT_TRUE(::CreateDirectoryW(m_strPath.c_str(), nullptr)) << ::GetLastError();
    }
    ~CTempFolder() { RemoveTree(L"\\\\?\\" + m_strPath); }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::wstring& Path() const { return m_strPath; }
    // A path inside the folder.
    std::wstring operator/(const std::wstring& strRelative) const { return m_strPath + L"\\" + strRelative; }

    static void RemoveTree(const std::wstring& strLongPath)
    {
        WIN32_FIND_DATAW data;
        HANDLE hFind = ::FindFirstFileW((strLongPath + L"\\*").c_str(), &data);
        if (hFind != INVALID_HANDLE_VALUE) {
            do {
                std::wstring strName = data.cFileName, strEntry = strLongPath + L"\\" + strName;
                if (strName == L"." || strName == L"..")
                    continue;
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    RemoveTree(strEntry);
                else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    ::RemoveDirectoryW(strEntry.c_str());
                else {
                    ::SetFileAttributesW(strEntry.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(strEntry.c_str());
                }
            } while (::FindNextFileW(hFind, &data));
            ::FindClose(hFind);
        }
        ::RemoveDirectoryW(strLongPath.c_str());
    }

private:
    std::wstring m_strPath;
};

// The values of that name attached to any of an exception's entries, oldest first.
inline std::vector<std::wstring> ValuesNamed(const CHException& e, const wchar_t* pszName)
{
    std::vector<std::wstring> values;
    for (const CHXmlNode* pEntry : e.GetXml().GetChildren(L"errorentry"))
        for (const CHXmlNode* pValue : pEntry->GetChildren(pszName))
            values.push_back(pValue->GetValue());
    return values;
}

// A manual-reset event of a unique name that a helper program waits for;
// set at the latest when it goes, so the helper never outlives the test.
class CReleaseEvent
{
public:
    CReleaseEvent()
    {
        static LONG s_nCounter = 0;
        m_strName = L"hs_release_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                    std::to_wstring(::InterlockedIncrement(&s_nCounter));
        m_hEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, m_strName.c_str()));
        EXPECT_TRUE(m_hEvent);
    }
    ~CReleaseEvent() { Release(); }
    CReleaseEvent(const CReleaseEvent&) = delete;
    CReleaseEvent& operator=(const CReleaseEvent&) = delete;

    const std::wstring& Name() const { return m_strName; }
    void Release() { ::SetEvent(m_hEvent.Get()); }

private:
    std::wstring m_strName;
    CHKernelHandle m_hEvent;
};

// ---------------------------------------------------------------------------
// Links, as Wine can make them

// Wine only: the Unix name of a Windows path ("" elsewhere, or when it has none).
inline std::wstring UnixFileName(const std::wstring& strPath)
{
    using Convert = char*(CDECL*)(const wchar_t*);
    auto pConvert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!pConvert)
        return std::wstring();
    char* pszUnix = pConvert(strPath.c_str());
    const std::string strUnix = pszUnix ? pszUnix : "";
    ::HeapFree(::GetProcessHeap(), 0, pszUnix);
    std::wstring strWide(strUnix.size(), L'\0');
    strWide.resize(
        static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, strUnix.data(), static_cast<int>(strUnix.size()),
                                                  strWide.data(), static_cast<int>(strWide.size()))));
    return strWide;
}

// Runs a Unix program by its path (Wine starts those from CreateProcessW).
// Its exit code, as Wine reports it, is not to be trusted: the callers look
// at what the program did instead.
inline void RunUnixProgram(std::wstring strCommand)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(
        ::CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        << ::GetLastError();
    CHKernelHandle process(info.hProcess), thread(info.hThread);
    ::WaitForSingleObject(process.Get(), 30000);
}

// Waits up to five seconds for a path to appear or to go.
inline bool WaitForExistence(const std::wstring& strPath, bool bExists)
{
    for (int i = 0; i < 100; ++i, ::Sleep(50))
        if ((::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES) == bExists)
            return true;
    return false;
}

// A symbolic link at strLink to strTarget while it lives. Wine cannot make
// a Windows link (CreateSymbolicLinkW reports success and makes nothing, and
// it has no junctions), so this is a Unix link made with ln -s; it is
// removed with rm, never through Windows calls, which would delete a file
// link's target. Destroy it before the folders around it.
class CUnixSymbolicLink
{
public:
    CUnixSymbolicLink(std::wstring strLink, const std::wstring& strTarget)
        : m_strLink(std::move(strLink)), m_strUnixLink(UnixFileName(m_strLink))
    {
        const std::wstring strUnixTarget = UnixFileName(strTarget);
        if (m_strUnixLink.empty() || strUnixTarget.empty())
            return;
        RunUnixProgram(L"/bin/ln -s \"" + strUnixTarget + L"\" \"" + m_strUnixLink + L"\"");
        m_bMade = WaitForExistence(m_strLink, true);
    }
    ~CUnixSymbolicLink()
    {
        if (m_strUnixLink.empty())
            return;
        RunUnixProgram(L"/bin/rm -f \"" + m_strUnixLink + L"\"");
        WaitForExistence(m_strLink, false);
    }
    CUnixSymbolicLink(const CUnixSymbolicLink&) = delete;
    CUnixSymbolicLink& operator=(const CUnixSymbolicLink&) = delete;

    // False where there is no Wine to make it (the caller skips).
    bool IsMade() const { return m_bMade; }

private:
    std::wstring m_strLink, m_strUnixLink;
    bool m_bMade = false;
};
