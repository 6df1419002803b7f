// The device path's pieces that need no device: which names a device may
// give its files, how a device's stream becomes a file (short reads, streams
// that end early, run long or fail, the piece size), and the wait dialog's
// thread with its orderly end.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "InstallerShim/DeviceCopy.h"
#include "InstallerShim/DeviceStaging.h"
#include "InstallerShim/PrepareDialogThread.h"
#include "RAde/HFileUtilities.h"
#include "TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// A device's stream as a test describes it

struct CStreamScript
{
    ULONGLONG nTotal = 0;         // bytes the stream holds
    ULONG cbMostPerRead = 0;      // 0: as many as asked
    bool bEndWithSFalse = false;  // the read that reaches the end answers S_FALSE
    ULONGLONG nFailAt = ~0ull;    // from this offset on every read fails
};

BYTE PatternByte(ULONGLONG nOffset)
{
    // Varies with the offset in a way that a skipped or repeated piece cannot hide.
    return static_cast<BYTE>((nOffset * 131) ^ (nOffset >> 11));
}

class CScriptedStream : public IStream
{
public:
    explicit CScriptedStream(const CStreamScript& script) : m_script(script) {}

    ULONG m_nReads = 0;
    ULONG m_cbLargestAsked = 0;

    // IUnknown: lives on the test's stack.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        ++m_nReads;
        m_cbLargestAsked = std::max(m_cbLargestAsked, cb);
        *pcbRead = 0;
        if (m_nOffset >= m_script.nFailAt)
            return STG_E_READFAULT;
        ULONGLONG nCount = std::min<ULONGLONG>(cb, m_script.nTotal - m_nOffset);
        if (m_script.cbMostPerRead != 0)
            nCount = std::min<ULONGLONG>(nCount, m_script.cbMostPerRead);
        BYTE* pBytes = static_cast<BYTE*>(pv);
        for (ULONGLONG i = 0; i < nCount; ++i)
            pBytes[i] = PatternByte(m_nOffset + i);
        m_nOffset += nCount;
        *pcbRead = static_cast<ULONG>(nCount);
        return m_script.bEndWithSFalse && m_nOffset == m_script.nTotal ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    CStreamScript m_script;
    ULONGLONG m_nOffset = 0;
};

std::vector<std::wstring> WarningsOf(const CLogCapture& log)
{
    std::vector<std::wstring> warnings;
    const std::vector<std::wstring> messages = log.Messages();
    const std::vector<int> levels = log.Levels();
    for (size_t i = 0; i < messages.size(); ++i)
        if (levels[i] == HLOG_WARNING)
            warnings.push_back(messages[i]);
    return warnings;
}

// The file holds exactly the first nCount bytes of the pattern (reported briefly: files can be large).
testing::AssertionResult HoldsPattern(const std::wstring& strFile, ULONGLONG nCount)
{
    const std::string bytes = ReadFileBytes(strFile);
    if (bytes.size() != nCount)
        return testing::AssertionFailure() << "the file holds " << bytes.size() << " bytes, not " << nCount;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (static_cast<BYTE>(bytes[i]) != PatternByte(i))
            return testing::AssertionFailure() << "byte " << i << " differs";
    return testing::AssertionSuccess();
}

bool Contains(const std::wstring& strText, const std::wstring& strPart)
{
    return strText.find(strPart) != std::wstring::npos;
}

class CDeviceStreamTest : public testing::Test
{
protected:
    CDeviceStreamTest() : m_folder(L"devstream"), m_strFile(m_folder / L"copy.bin") {}

    // Copies the scripted stream into the test's file; the warnings it logged.
    std::vector<std::wstring> Copy(CScriptedStream& stream, ULONGLONG nReportedSize, DWORD dwOptimal = 4096)
    {
        CLogCapture log;
        EXPECT_TRUE(CopyDeviceStreamToFile(&stream, m_strFile, CREATE_ALWAYS, dwOptimal, nReportedSize));
        return WarningsOf(log);
    }

    CTempFolder m_folder;
    std::wstring m_strFile;
};

}  // namespace

// ---------------------------------------------------------------------------
// The device test

namespace {

// %TEMP% (and %TMP%, which Windows reads first) point to another folder while it lives.
class CTempDirectoryOverride
{
public:
    explicit CTempDirectoryOverride(const std::wstring& strFolder)
        : m_strTemp(Variable(L"TEMP")), m_strTmp(Variable(L"TMP"))
    {
        ::SetEnvironmentVariableW(L"TEMP", strFolder.c_str());
        ::SetEnvironmentVariableW(L"TMP", strFolder.c_str());
    }
    ~CTempDirectoryOverride()
    {
        ::SetEnvironmentVariableW(L"TEMP", m_strTemp.c_str());
        ::SetEnvironmentVariableW(L"TMP", m_strTmp.c_str());
    }
    CTempDirectoryOverride(const CTempDirectoryOverride&) = delete;
    CTempDirectoryOverride& operator=(const CTempDirectoryOverride&) = delete;

private:
    static std::wstring Variable(const wchar_t* pszName)
    {
        wchar_t szValue[MAX_PATH + 1] = {};
        ::GetEnvironmentVariableW(pszName, szValue, MAX_PATH + 1);
        return szValue;
    }
    std::wstring m_strTemp, m_strTmp;
};

}  // namespace

TEST(DeviceTestTest, TheDeviceCacheBelowTempIsRecognisedInLongAndShortFormAndAnyLetterCase)
{
    // A %TEMP% with a name longer than 8 characters, so that its 8.3 form differs.
    CTempFolder temp(L"long_named_temp_folder");
    const std::wstring strCache = temp / L"WPDNSE";
    ASSERT_TRUE(::CreateDirectoryW(strCache.c_str(), nullptr));
    const std::wstring strShortCache = ShortPath(strCache);
    ASSERT_FALSE(strShortCache.empty());
    ASSERT_NE(strShortCache, strCache) << "the system gives no 8.3 form here";
    const CTempDirectoryOverride overrideTemp(temp.Path());

    std::wstring strLower = strCache + L"\\{device}\\";
    ::CharLowerBuffW(strLower.data(), static_cast<DWORD>(strLower.size()));
    for (const std::wstring& strExeDirectory :
         {strCache + L"\\{device}\\", strShortCache + L"\\DEVICE~1\\", strLower, strCache + L"\\a\\b\\c\\"}) {
        EXPECT_TRUE(IsStartedFromDevice(strExeDirectory)) << testing::PrintToString(strExeDirectory);
    }
    for (const std::wstring& strExeDirectory :
         {temp.Path() + L"\\", strCache + L"X\\{device}\\", temp / L"other\\WPDNSE\\", std::wstring(L"C:\\Medium\\"),
          std::wstring()}) {
        EXPECT_FALSE(IsStartedFromDevice(strExeDirectory)) << testing::PrintToString(strExeDirectory);
    }
}

// ---------------------------------------------------------------------------
// Names

TEST(DeviceFileNameTest, OrdinaryNamesOfFilesAndFoldersMayBeJoinedIntoPaths)
{
    for (const std::wstring& strName :
         {std::wstring(L"autorun.inf"), std::wstring(L"HalvikInstaller.exe"), std::wstring(L"data.old"),
          std::wstring(L"two words.txt"), std::wstring(L".profile"), std::wstring(L"a.b.c"),
          std::wstring(L"CONSOLE.txt"), std::wstring(L"COM10.log"), std::wstring(L"LPTX"), std::wstring(L"nul_file"),
          std::wstring(L"aux1"), std::wstring(L"Stra\u00DFe \u8A9E.txt"), std::wstring(255, L'n')}) {
        EXPECT_TRUE(IsSafeDeviceFileName(strName)) << testing::PrintToString(strName);
    }
}

TEST(DeviceFileNameTest, NamesThatWouldLeaveTheFolderOrNameADeviceAreRefused)
{
    for (const std::wstring& strName : {std::wstring(),
                                        std::wstring(L"."),
                                        std::wstring(L".."),
                                        std::wstring(L"a..b"),
                                        std::wstring(L"..\\x"),
                                        std::wstring(L"sub\\x.txt"),
                                        std::wstring(L"sub/x.txt"),
                                        std::wstring(L"C:x.txt"),
                                        std::wstring(L"file.txt:stream"),
                                        std::wstring(L"\\\\server\\share"),
                                        std::wstring(L"CON"),
                                        std::wstring(L"con.txt"),
                                        std::wstring(L"Nul .tar.gz"),
                                        std::wstring(L"prn"),
                                        std::wstring(L"AUX.inf"),
                                        std::wstring(L"COM1"),
                                        std::wstring(L"com9.log"),
                                        std::wstring(L"LPT0.txt"),
                                        std::wstring(L"lpt5"),
                                        std::wstring(L"COM\u00B9.txt"),
                                        std::wstring(L"CONIN$"),
                                        std::wstring(L"conout$.x"),
                                        std::wstring(L"a*b"),
                                        std::wstring(L"a?b"),
                                        std::wstring(L"a\"b"),
                                        std::wstring(L"a<b"),
                                        std::wstring(L"a>b"),
                                        std::wstring(L"a|b"),
                                        std::wstring(L"tab\there"),
                                        std::wstring(L"trailing."),
                                        std::wstring(L"trailing "),
                                        std::wstring(256, L'n')}) {
        EXPECT_FALSE(IsSafeDeviceFileName(strName)) << testing::PrintToString(strName);
    }
}

// ---------------------------------------------------------------------------
// Streams into files

TEST_F(CDeviceStreamTest, ShortReadsAreNoEndTheWholeStreamArrives)
{
    CStreamScript script;
    script.nTotal = 3 * 4096 + 7;
    script.cbMostPerRead = 1000;  // never as much as asked
    CScriptedStream stream(script);
    EXPECT_TRUE(Copy(stream, script.nTotal).empty());
    EXPECT_TRUE(HoldsPattern(m_strFile, script.nTotal));
    EXPECT_EQ(stream.m_nReads, 14u) << "13 reads with bytes and the one that found the end";
}

TEST_F(CDeviceStreamTest, AStreamThatSignalsItsEndWithSFalseIsWrittenWhole)
{
    CStreamScript script;
    script.nTotal = 10000;
    script.bEndWithSFalse = true;
    CScriptedStream stream(script);
    EXPECT_TRUE(Copy(stream, script.nTotal).empty());
    EXPECT_TRUE(HoldsPattern(m_strFile, script.nTotal));
}

TEST_F(CDeviceStreamTest, TheReportedSizeIsAHintDifferencesAreWarnedAboutNeverPadded)
{
    {
        SCOPED_TRACE("ends early");
        CStreamScript script;
        script.nTotal = 6000;
        CScriptedStream stream(script);
        const std::vector<std::wstring> warnings = Copy(stream, 10000);
        EXPECT_TRUE(HoldsPattern(m_strFile, 6000)) << "the bytes received, no zero padding";
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_TRUE(Contains(warnings[0], m_strFile) && Contains(warnings[0], L" 6000 ") &&
                    Contains(warnings[0], L" 10000 "))
            << testing::PrintToString(warnings[0]);
    }
    {
        SCOPED_TRACE("runs past the reported size");
        CStreamScript script;
        script.nTotal = 5000;
        CScriptedStream stream(script);
        const std::vector<std::wstring> warnings = Copy(stream, 100);
        EXPECT_TRUE(HoldsPattern(m_strFile, 5000)) << "written whole, not cut at the reported size";
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_TRUE(Contains(warnings[0], L" 5000 ") && Contains(warnings[0], L" 100 "))
            << testing::PrintToString(warnings[0]);
    }
    {
        SCOPED_TRACE("no size reported");
        CStreamScript script;
        script.nTotal = 777;
        CScriptedStream stream(script);
        EXPECT_TRUE(Copy(stream, 0).empty());
        EXPECT_TRUE(HoldsPattern(m_strFile, 777));
    }
    {
        SCOPED_TRACE("an empty stream of an empty file");
        CStreamScript script;
        CScriptedStream stream(script);
        EXPECT_TRUE(Copy(stream, 0).empty());
        EXPECT_EQ(ReadFileBytes(m_strFile), std::string()) << "the longer file of the case before is replaced";
    }
}

TEST_F(CDeviceStreamTest, AFailingReadThrowsNamingTheFileAndRemovesThePartialCopy)
{
    CStreamScript script;
    script.nTotal = 20000;
    script.cbMostPerRead = 4096;
    script.nFailAt = 8192;
    for (const DWORD dwDisposition : {DWORD{CREATE_ALWAYS}, DWORD{CREATE_NEW}}) {
        SCOPED_TRACE(dwDisposition);
        ::DeleteFileW(m_strFile.c_str());
        if (dwDisposition == CREATE_ALWAYS)
            WriteFileBytes(m_strFile, "overwritten by the copy");
        CScriptedStream stream(script);
        CLogCapture log;
        const CHException e =
            CatchThrown([&] { CopyDeviceStreamToFile(&stream, m_strFile, dwDisposition, 4096, script.nTotal); });
        ASSERT_FALSE(ErrorCodesOf(e).empty());
        EXPECT_EQ(ErrorCodesOf(e).front(), static_cast<int>(STG_E_READFAULT));
        EXPECT_EQ(ValuesNamed(e, L"File"), std::vector<std::wstring>{m_strFile});
        EXPECT_EQ(stream.m_nReads, 3u) << "no read after the failed one";
        EXPECT_EQ(::GetFileAttributesW(m_strFile.c_str()), INVALID_FILE_ATTRIBUTES) << "the partial copy is gone";
        EXPECT_TRUE(WarningsOf(log).empty()) << "no warning about the length besides";
    }
}

TEST_F(CDeviceStreamTest, PiecesFollowTheDevicesTransferSizeWithinBounds)
{
    struct CCase
    {
        DWORD dwOptimal;
        ULONG cbExpected;
    };
    // A device that asks for 4 GiB pieces does not get them: memory stays small whatever it says.
    for (const CCase& testCase :
         {CCase{0, 1u << 20}, CCase{16, 64u << 10}, CCase{262144, 262144}, CCase{0xFFFFFFFF, 8u << 20}}) {
        SCOPED_TRACE(testCase.dwOptimal);
        CStreamScript script;
        script.nTotal = 100;
        CScriptedStream stream(script);
        EXPECT_TRUE(Copy(stream, 100, testCase.dwOptimal).empty());
        EXPECT_EQ(stream.m_cbLargestAsked, testCase.cbExpected);
    }
}

TEST_F(CDeviceStreamTest, CreateNewLeavesAnExistingFileAloneOtherLocalFailuresThrow)
{
    WriteFileBytes(m_strFile, "already here");
    CStreamScript script;
    script.nTotal = 50;
    CScriptedStream stream(script);
    EXPECT_FALSE(CopyDeviceStreamToFile(&stream, m_strFile, CREATE_NEW, 0, 50));
    EXPECT_EQ(ReadFileBytes(m_strFile), "already here");
    EXPECT_EQ(stream.m_nReads, 0u);

    const std::wstring strMissing = m_folder / L"missing\\copy.bin";
    ::SetLastError(0xdeadbeef);
    const HANDLE hProbe = ::CreateFileW(strMissing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_EQ(hProbe, INVALID_HANDLE_VALUE);
    const DWORD dwExpected = ::GetLastError();
    const CHException e = CatchThrown([&] { CopyDeviceStreamToFile(&stream, strMissing, CREATE_NEW, 0, 50); });
    const std::vector<int> codes = ErrorCodesOf(e);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), static_cast<int>(HRESULT_FROM_WIN32(dwExpected)));
    EXPECT_EQ(ValuesNamed(e, L"File"), std::vector<std::wstring>{strMissing});
}

// ---------------------------------------------------------------------------
// The wait dialog's thread

namespace {

// Well within the end's time-out. (Wine without a window manager takes two
// seconds to destroy a window that was shown; Windows takes no time.)
constexpr ULONGLONG g_nPromptEndMs = 5000;

// The dialog's window: a top-level window of this process with the dialog's title.
HWND FindPreparingWindow(DWORD dwThreadId)
{
    struct CSearch
    {
        DWORD dwThreadId;
        HWND hFound;
    } search = {dwThreadId, nullptr};
    ::EnumThreadWindows(
        dwThreadId,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            wchar_t szTitle[64] = {};
            ::GetWindowTextW(hWnd, szTitle, 64);
            if (std::wstring(szTitle) == L"Preparing installation" && ::GetParent(hWnd) == nullptr) {
                reinterpret_cast<CSearch*>(lParam)->hFound = hWnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

// The texts of the shown children, in z-order.
std::wstring VisibleChildTexts(HWND hWnd)
{
    std::wstring strTexts;
    for (HWND hChild = ::GetWindow(hWnd, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(hChild))
            continue;
        wchar_t szText[128] = {};
        ::GetWindowTextW(hChild, szText, 128);
        strTexts += std::wstring(szText) + L"|";
    }
    return strTexts;
}

bool WaitFor(const std::function<bool()>& condition, DWORD dwTimeoutMs)
{
    const ULONGLONG nDeadline = ::GetTickCount64() + dwTimeoutMs;
    while (!condition()) {
        if (::GetTickCount64() >= nDeadline)
            return false;
        ::Sleep(20);
    }
    return true;
}

}  // namespace

TEST(PrepareDialogThreadTest, ShowsItsWindowWithTheMessageUntilItIsEnded)
{
    CPrepareDialogThread dialog;
    HWND hWindow = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (hWindow = FindPreparingWindow(dialog.GetThreadId())) != nullptr; }, 10000));
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(hWindow) != FALSE; }, 5000));
    // The message and the spinner; no button.
    EXPECT_EQ(VisibleChildTexts(hWindow), L"Copying installation files...||");
    RECT rcSpinner = {};
    ::GetWindowRect(::GetDlgItem(hWindow, 1029), &rcSpinner);
    EXPECT_EQ(rcSpinner.right - rcSpinner.left, 15) << "the spinner's frames come from the launcher's resources";

    const ULONGLONG nStart = ::GetTickCount64();
    EXPECT_TRUE(dialog.End());
    EXPECT_LT(::GetTickCount64() - nStart, g_nPromptEndMs) << "an orderly end is prompt";
    EXPECT_FALSE(::IsWindow(hWindow)) << "the thread destroyed its window before it ended";
    EXPECT_TRUE(dialog.End()) << "a second end has nothing left to do";
}

TEST(PrepareDialogThreadTest, AnEndRightAfterTheStartEndsTheThreadBeforeItHasAQueue)
{
    // The end request may come before the thread has run at all: it must still end it, and promptly.
    for (int nRound = 0; nRound < 5; ++nRound) {
        SCOPED_TRACE(nRound);
        CPrepareDialogThread dialog;
        const ULONGLONG nStart = ::GetTickCount64();
        EXPECT_TRUE(dialog.End());
        EXPECT_LT(::GetTickCount64() - nStart, g_nPromptEndMs);
    }
}
