#include "RAde/DEVEDar/HUIErrorHandler.h"

#include <mutex>

#include "RAde/HException.h"
#include "RAde/HLogging.h"

namespace {
// The texts are set by the thread that loads the UI language and read by any
// thread that reports an error.
struct CProcessTexts
{
    std::mutex mutex;
    std::wstring strDefaultErrorText;
    std::wstring strApplicationName;
};

CProcessTexts& ProcessTexts()
{
    static CProcessTexts s_texts;
    return s_texts;
}

std::wstring ReadText(const std::wstring CProcessTexts::*pText)
{
    CProcessTexts& texts = ProcessTexts();
    std::lock_guard<std::mutex> lock(texts.mutex);
    return texts.*pText;
}

void WriteText(std::wstring CProcessTexts::*pText, const std::wstring& strText)
{
    CProcessTexts& texts = ProcessTexts();
    std::wstring strCopy = strText;  // allocated outside the lock
    std::lock_guard<std::mutex> lock(texts.mutex);
    (texts.*pText).swap(strCopy);
}

// Reporting an error must not raise another one: a failure while reporting is
// logged and goes no further. Called from inside a catch block.
void LogReportingFailure() noexcept
{
    try {
        throw;
    } catch (const CHException& e) {
        try {
            CHLogging::LogError(L"%s\n", e.GetDescription(CHException::DescribeEverything).c_str());
        } catch (...) {
            // Out of memory while describing the failure: nothing is left to report to.
        }
    } catch (...) {
    }
}
}  // namespace

void CHUIErrorHandler::HandleError(const std::wstring& strText, const CHException& error, HWND hWndOwner)
{
    try {
        HTRY {
            std::wstring strMessage = strText.empty() ? GetDefaultErrorText() : strText;
            AddErrorSpecificInfo(strMessage, error);
            CHLogging::LogError(L"%s\n\n%s", strMessage.c_str(),
                                error.GetDescription(CHException::DescribeEverything).c_str());
            const std::wstring strCaption = GetApplicationName();
            // The user's answer changes nothing: there is only OK.
            ::MessageBoxW(hWndOwner, strMessage.c_str(), strCaption.c_str(), MB_OK | MB_ICONERROR);
        } HCATCH
    } catch (...) {
        LogReportingFailure();
    }
}

void CHUIErrorHandler::AddErrorSpecificInfo(std::wstring& strText, const CHException& error)
{
    try {
        HTRY {
            // The operating system's own words, when the failure came from it.
            CHException win32Entry;
            if (error.FindFacility(FACILITY_WIN32, &win32Entry))
                strText += L"\n\n" + win32Entry.GetDescription(CHException::DescribeNewest);
        } HCATCH
    } catch (...) {
        LogReportingFailure();
    }
}

void CHUIErrorHandler::SetDefaultErrorText(const std::wstring& strText)
{
    HTRY {
        WriteText(&CProcessTexts::strDefaultErrorText, strText);
    } HCATCH
}

void CHUIErrorHandler::SetApplicationName(const std::wstring& strName)
{
    HTRY {
        WriteText(&CProcessTexts::strApplicationName, strName);
    } HCATCH
}

std::wstring CHUIErrorHandler::GetDefaultErrorText()
{
    HTRY {
        return ReadText(&CProcessTexts::strDefaultErrorText);
    } HCATCH
}

std::wstring CHUIErrorHandler::GetApplicationName()
{
    HTRY {
        return ReadText(&CProcessTexts::strApplicationName);
    } HCATCH
}
