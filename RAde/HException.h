// CHException, the one exception type of the library and the launcher, and
// the catch idiom that every method ends in.
//
// A CHException is an ordered list of error entries kept as a small XML
// document (root "error", one "errorentry" per entry, oldest first). The first
// entry is the failure; every method the exception passes through appends a
// "Stacktrace." entry (code 1005) naming its function, source file and line.
//
// The idiom, one line at each end of a method body:
//
//     HTRY {
//         ...
//     } HCATCH
//
// Variants: HCATCH_ATTACH(callable) adds the method's inputs on the way out
// (used around an inner HTRY/HCATCH, so the method appears twice in the
// trail); HCATCH_LOG logs and swallows (constructors, destructors, window
// message handlers); HCATCH_LOGGING_INTERNAL reports to the debugger only
// (the logging classes themselves).
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "RAde/HXmlNode.h"

class _com_error;

// Where an entry was added: the compiler's source file, line and function text.
struct CHSourceSite
{
    const char* pszFile;
    int nLine;
    const char* pszFunction;

    // The qualified name of the function ("CHStringHelper::TokenizeString"),
    // cut out of the compiler's full signature text.
    std::wstring FunctionName() const;
    std::wstring FileName() const;
};

#define HSITE (::CHSourceSite{__FILE__, __LINE__, __PRETTY_FUNCTION__})

// The library's own error codes. Each has a fixed message (HErrorText).
enum class HError : int
{
    UnhandledException = 1001,
    StdException = 1002,
    CharException = 1003,
    WcharException = 1004,
    StackTrace = 1005,
    UndefinedError = 1006,
    InvalidParameter = 1010,
    BufferTooSmall = 1011,
    NotInitialized = 1013,
    OpenFileFailed = 1016,
    CreateDirectoryFailed = 2001,
    TimeConversionFailed = 2002,
    OpenRegistryKeyFailed = 2004,
    ProcessNotStarted = 2005,
    FileNotOpen = 2006,
    ArrayNotLocked = 2007,
    MoveFileFailed = 2008,
    CopyFileFailed = 2009,
    GlobalMemLockMismatch = 2011,
    DeleteFileFailed = 2012,
    ReadRegistryValueFailed = 2014,
    WriteRegistryValueFailed = 2015,
};

// The fixed message of a library error code; for the three codes whose
// message is followed by a text (1002 to 1004) the fixed beginning.
const wchar_t* HErrorText(HError error);

// The system's message text for a Win32 error number, trailing white space
// removed, or "Unable to format error message from error number %d".
std::wstring GetErrorMessageText(DWORD dwError, DWORD dwLanguageId = 0);

// HRESULT_FROM_WIN32 of a thread's last error.
HRESULT HResultFromWin32(DWORD dwError);

// A failure of the platform framework itself (an operation it does not
// implement, a resource it cannot set up), carrying an HRESULT. Like any
// exception the idiom does not know, it is reported as code 1001.
class CHFrameworkError
{
public:
    explicit CHFrameworkError(HRESULT hr) : m_hr(hr) {}
    HRESULT GetHResult() const { return m_hr; }

private:
    HRESULT m_hr;
};

// Derives from std::exception so that code which knows only the standard
// exceptions (a test framework, a runtime's last handler) still shows what
// happened: what() is the full description in UTF-8.
class CHException : public std::exception
{
public:
    CHException();
    CHException(const CHException& other);
    CHException& operator=(const CHException& other);
    CHException(const std::wstring& strDescription, int nCode, const CHSourceSite& site);
    CHException(HError error, const CHSourceSite& site);
    explicit CHException(const _com_error& e);
    virtual ~CHException();

    // A Win32 failure: the system text of dwError with its HRESULT.
    static CHException FromWin32Error(DWORD dwError, const CHSourceSite& site);
    // The same for the thread's last error, read before anything else runs.
    static CHException FromLastError(const CHSourceSite& site);
    // A failing HRESULT with the system's text for it.
    static CHException FromHResult(HRESULT hr, const CHSourceSite& site);
    // A C-runtime failure reported through errno.
    static CHException FromErrno(int nErrno, const CHSourceSite& site);

    CHException& AddEntry(const std::wstring& strDescription, int nCode);
    CHException& AddEntry(const std::wstring& strDescription, int nCode, const CHSourceSite& site);
    CHException& AddEntry(HError error);
    CHException& AddEntry(HError error, const CHSourceSite& site);
    // Attaches a named value to the newest entry that is not a stack entry.
    CHException& AddValue(const std::wstring& strName, const std::wstring& strValue);
    CHException& AddValue(const std::wstring& strName, int nValue, bool bHex);
    void Clear();

    bool FindErrorCode(int nCode, CHException* pFound) const;
    bool FindFacility(int nFacility, CHException* pFound) const;

    std::wstring GetStackTrace() const;
    // What GetDescription shows besides the newest entry's text and values.
    enum EDescription : int
    {
        DescribeNewest = 0,      // the newest entry alone
        DescribeAllEntries = 1,  // every entry, newest first
        DescribeStackTrace = 2,  // the stack trace after them
        DescribeErrorCodes = 4,  // each entry's error codes
        DescribeEverything = DescribeAllEntries | DescribeStackTrace | DescribeErrorCodes,
    };
    // nFlags: EDescription values or'ed together.
    std::wstring GetDescription(int nFlags) const;

    // The document itself (root "error").
    const CHXmlNode& GetXml() const { return m_xml; }

    // GetDescription(CHException::DescribeEverything) in UTF-8, valid until the next call.
    const char* what() const noexcept override;

    // The catch idiom's handlers, called from inside a catch (...) block.
    [[noreturn]] static void RethrowCurrent(const CHSourceSite& site);
    template <class Attach>
    [[noreturn]] static void RethrowCurrentAttaching(const CHSourceSite& site, Attach&& attach);
    static void LogCurrent(const CHSourceSite& site) noexcept;
    static void ReportCurrentToDebugger(const CHSourceSite& site) noexcept;

private:
    CHXmlNode* NewestEntryWithCode(bool bSkipStackEntries) const;
    template <class Match>
    bool FindEntry(Match&& match, CHException* pFound) const;

    CHXmlNode m_xml;
    mutable std::string m_strWhat;
};

template <class Attach>
void CHException::RethrowCurrentAttaching(const CHSourceSite& site, Attach&& attach)
{
    try {
        try {
            throw;
        } catch (CHException& e) {
            attach(e);
            throw;
        }
    } catch (...) {
        RethrowCurrent(site);
    }
}

// A Win32 call checked at the boundary, in one expression: when its result
// (a BOOL, a handle, a pointer, an owner that tests as a handle) is false,
// the thread's last error is thrown with this site, exactly as
// "if (!result) throw CHException::FromLastError(HSITE);" throws it. What
// follows the result is applied to the error before it is thrown:
// HCHECK_WIN32(::SetCurrentDirectoryW(p), .AddValue(L"Directory", p)).
#define HCHECK_WIN32(result, ...)                                                                                      \
    ((result) ? static_cast<void>(0) : throw ::CHException::FromLastError(HSITE) __VA_ARGS__)

#define HTRY try
#define HCATCH                                                                                                         \
    catch (...)                                                                                                        \
    {                                                                                                                  \
        ::CHException::RethrowCurrent(HSITE);                                                                          \
    }
#define HCATCH_ATTACH(...)                                                                                             \
    catch (...)                                                                                                        \
    {                                                                                                                  \
        ::CHException::RethrowCurrentAttaching(HSITE, __VA_ARGS__);                                                    \
    }
#define HCATCH_LOG                                                                                                     \
    catch (...)                                                                                                        \
    {                                                                                                                  \
        ::CHException::LogCurrent(HSITE);                                                                              \
    }
#define HCATCH_LOGGING_INTERNAL                                                                                        \
    catch (...)                                                                                                        \
    {                                                                                                                  \
        ::CHException::ReportCurrentToDebugger(HSITE);                                                                 \
    }
