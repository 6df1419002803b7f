#include "RAde/HException.h"

#include <comdef.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {

constexpr wchar_t kRootName[] = L"error";
constexpr wchar_t kEntryName[] = L"errorentry";
constexpr wchar_t kDescriptionName[] = L"description";
constexpr wchar_t kErrorCodeName[] = L"errorcode";
constexpr wchar_t kSourceFileName[] = L"sourcefile";
constexpr wchar_t kSourceLineName[] = L"sourceline";
constexpr wchar_t kSourceFunctionName[] = L"sourcefunction";
constexpr int kStackTraceCode = static_cast<int>(HError::StackTrace);
// A COM error with this HRESULT carries a serialised CHException as its description.
constexpr HRESULT kSerializedExceptionHResult = static_cast<HRESULT>(0x80045D53);

// Compiler texts and exception messages are in the ANSI code page.
std::wstring WidenAnsi(const char* pszText)
{
    if (!pszText || !*pszText)
        return std::wstring();
    int nChars = ::MultiByteToWideChar(CP_ACP, 0, pszText, -1, nullptr, 0);
    if (nChars <= 0)
        return std::wstring();
    std::wstring strWide(static_cast<size_t>(nChars), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, pszText, -1, strWide.data(), nChars);
    strWide.pop_back();
    return strWide;
}

std::wstring DecimalText(int nValue)
{
    return CHStringHelper::Format(L"%d", nValue);
}

// An entry's code as written: optional sign and leading digits, 0 when none.
int ReadDecimal(const std::wstring& strText)
{
    return static_cast<int>(std::wcstol(strText.c_str(), nullptr, 10));
}

bool IsIdentifierChar(char ch)
{
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_';
}

// GCC appends " [with T = X; U = Y]" to the signature of a template's member.
std::vector<std::pair<std::string_view, std::string_view>> CutTemplateBindings(std::string_view& signature)
{
    std::vector<std::pair<std::string_view, std::string_view>> bindings;
    size_t nWith = signature.rfind(" [with ");
    if (nWith == std::string_view::npos || !signature.ends_with(']'))
        return bindings;
    std::string_view list = signature.substr(nWith + 7, signature.size() - nWith - 8);
    signature = signature.substr(0, nWith);
    while (!list.empty()) {
        // Bindings are separated by "; " outside template brackets.
        size_t nEnd = 0;
        for (int nDepth = 0; nEnd < list.size(); ++nEnd) {
            if (list[nEnd] == '<')
                ++nDepth;
            else if (list[nEnd] == '>')
                --nDepth;
            else if (list[nEnd] == ';' && nDepth == 0)
                break;
        }
        std::string_view binding = list.substr(0, nEnd);
        size_t nEquals = binding.find(" = ");
        if (nEquals != std::string_view::npos)
            bindings.emplace_back(binding.substr(0, nEquals), binding.substr(nEquals + 3));
        list = nEnd < list.size() ? list.substr(std::min(nEnd + 2, list.size())) : std::string_view();
    }
    return bindings;
}

// Cuts the parameter list and what follows it (qualifiers), then the return type.
std::string_view CutToQualifiedName(std::string_view signature)
{
    size_t nClose = signature.rfind(')');
    if (nClose != std::string_view::npos) {
        int nDepth = 0;
        for (size_t i = nClose + 1; i-- > 0;) {
            if (signature[i] == ')') {
                ++nDepth;
            } else if (signature[i] == '(' && --nDepth == 0) {
                signature = signature.substr(0, i);
                break;
            }
        }
    }
    int nDepth = 0;
    for (size_t i = signature.size(); i-- > 0;) {
        if (signature[i] == '>')
            ++nDepth;
        else if (signature[i] == '<')
            --nDepth;
        else if (signature[i] == ' ' && nDepth == 0)
            return signature.substr(i + 1);
    }
    return signature;
}

}  // namespace

// ---------------------------------------------------------------------------
// Source sites

std::wstring CHSourceSite::FunctionName() const
{
    if (!pszFunction)
        return std::wstring();
    std::string_view signature = pszFunction;
    auto bindings = CutTemplateBindings(signature);
    std::string_view name = CutToQualifiedName(signature);

    // Template parameters inside the name read as their arguments:
    // "CHDialog<T>::OnInitDialog" becomes "CHDialog<CHWaitDialog>::OnInitDialog".
    std::string strName;
    for (size_t i = 0; i < name.size();) {
        if (!IsIdentifierChar(name[i])) {
            strName += name[i++];
            continue;
        }
        size_t nEnd = i;
        while (nEnd < name.size() && IsIdentifierChar(name[nEnd]))
            ++nEnd;
        std::string_view word = name.substr(i, nEnd - i);
        for (const auto& [parameter, argument] : bindings) {
            if (parameter == word) {
                word = argument;
                break;
            }
        }
        strName += word;
        i = nEnd;
    }
    return WidenAnsi(strName.c_str());
}

std::wstring CHSourceSite::FileName() const
{
    return WidenAnsi(pszFile);
}

// ---------------------------------------------------------------------------
// Error texts

const wchar_t* HErrorText(HError error)
{
    switch (error) {
    case HError::UnhandledException:
        return L"Unhandled exception caught (Possibly caused by access violation)";
    case HError::StdException:
        return L"std exception caught: ";
    case HError::CharException:
        return L"char* exception caught: ";
    case HError::WcharException:
        return L"wchar_t* exception caught: ";
    case HError::StackTrace:
        return L"Stacktrace.";
    case HError::UndefinedError:
        return L"Undefined error.";
    case HError::InvalidParameter:
        return L"Invalid function parameter.";
    case HError::BufferTooSmall:
        return L"Memory buffer too small.";
    case HError::NotInitialized:
        return L"Object not initialized.";
    case HError::OpenFileFailed:
        return L"Failed to open file.";
    case HError::CreateDirectoryFailed:
        return L"Failed to create directory.";
    case HError::TimeConversionFailed:
        return L"Time conversion failed.";
    case HError::OpenRegistryKeyFailed:
        return L"Failed to open registry key.";
    case HError::ProcessNotStarted:
        return L"Process not started. Cannot get exitcode.";
    case HError::FileNotOpen:
        return L"File not open.";
    case HError::ArrayNotLocked:
        return L"Array not locked.";
    case HError::MoveFileFailed:
        return L"Failed to move file.";
    case HError::CopyFileFailed:
        return L"Failed to copy file.";
    case HError::GlobalMemLockMismatch:
        return L"GlobalMem locking failed, Lock/Unlock mismatch.";
    case HError::DeleteFileFailed:
        return L"Failed to delete file.";
    case HError::ReadRegistryValueFailed:
        return L"Failed to read registry value.";
    case HError::WriteRegistryValueFailed:
        return L"Failed to write registry value.";
    }
    return L"";
}

HRESULT HResultFromWin32(DWORD dwError)
{
    return static_cast<HRESULT>(dwError) <= 0 ? static_cast<HRESULT>(dwError)
                                              : static_cast<HRESULT>((dwError & 0xFFFF) | 0x80070000);
}

namespace {

std::wstring MessageFromTable(DWORD dwSource, HMODULE hModule, DWORD dwError, DWORD dwLanguageId)
{
    LPWSTR pszBuffer = nullptr;
    DWORD dwChars = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | dwSource, hModule,
                                     dwError, dwLanguageId, reinterpret_cast<LPWSTR>(&pszBuffer), 0, nullptr);
    std::wstring strText;
    if (dwChars > 0 && pszBuffer)
        strText.assign(pszBuffer, dwChars);
    if (pszBuffer)
        ::LocalFree(pszBuffer);
    return strText;
}

}  // namespace

std::wstring GetErrorMessageText(DWORD dwError, DWORD dwLanguageId)
{
    HTRY {
        constexpr DWORD kUserDefaultLanguage = 0x400;
        std::wstring strText = MessageFromTable(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError,
                                                dwLanguageId ? dwLanguageId : kUserDefaultLanguage);
        if (strText.empty())
            strText = MessageFromTable(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError, kUserDefaultLanguage);
        if (strText.empty()) {
            // WinHTTP's errors live in its own table, asked only when the process
            // has loaded it already; otherwise the executable's own table.
            HMODULE hModule = ::GetModuleHandleW(L"winhttp.dll");
            if (!hModule)
                hModule = ::GetModuleHandleW(nullptr);
            strText = MessageFromTable(FORMAT_MESSAGE_FROM_HMODULE, hModule, dwError, kUserDefaultLanguage);
        }
        while (!strText.empty() && std::iswspace(strText.back()))
            strText.pop_back();
        if (strText.empty())
            return CHStringHelper::Format(L"Unable to format error message from error number %d",
                                          static_cast<int>(dwError));
        return strText;
    } HCATCH
}

// ---------------------------------------------------------------------------
// Construction

CHException::CHException()
{
    m_xml.SetName(kRootName);
}

CHException::CHException(const CHException& other) : CHException()
{
    *this = other;
}

CHException& CHException::operator=(const CHException& other)
{
    if (this == &other)
        return *this;
    Clear();
    for (const CHXmlNode* pEntry : other.m_xml.GetChildren(kEntryName))
        m_xml.AppendCopy(*pEntry);
    return *this;
}

CHException::CHException(const std::wstring& strDescription, int nCode, const CHSourceSite& site) : CHException()
{
    AddEntry(strDescription, nCode, site);
}

CHException::CHException(HError error, const CHSourceSite& site) : CHException()
{
    AddEntry(error, site);
}

CHException::CHException(const _com_error& e) : CHException()
{
    HRESULT hr = e.Error();
    _bstr_t description = e.Description();
    const wchar_t* pszDescription = static_cast<const wchar_t*>(description);
    if (hr == kSerializedExceptionHResult) {
        // The result is not checked: a malformed payload leaves what was read.
        CHXmlParseInfo info;
        m_xml.Load(pszDescription ? pszDescription : L"", info);
        return;
    }
    if (pszDescription && *pszDescription) {
        AddEntry(pszDescription, hr);
    } else {
        const wchar_t* pszSystemText = e.ErrorMessage();
        if (pszSystemText && *pszSystemText)
            AddEntry(pszSystemText, hr);
        else
            AddEntry(GetErrorMessageText(static_cast<DWORD>(hr)), hr);
    }
    _bstr_t helpFile = e.HelpFile();
    const wchar_t* pszHelpFile = static_cast<const wchar_t*>(helpFile);
    if (pszHelpFile && *pszHelpFile)
        AddValue(kSourceFileName, pszHelpFile);
}

CHException::~CHException() = default;

CHException CHException::FromWin32Error(DWORD dwError, const CHSourceSite& site)
{
    return CHException(GetErrorMessageText(dwError), HResultFromWin32(dwError), site);
}

CHException CHException::FromLastError(const CHSourceSite& site)
{
    DWORD dwError = ::GetLastError();
    return FromWin32Error(dwError, site);
}

CHException CHException::FromHResult(HRESULT hr, const CHSourceSite& site)
{
    return CHException(GetErrorMessageText(static_cast<DWORD>(hr)), hr, site);
}

CHException CHException::FromErrno(int nErrno, const CHSourceSite& site)
{
    wchar_t szText[1024] = {};
    if (::_wcserror_s(szText, _countof(szText), nErrno) != 0)
        return CHException(HError::UndefinedError, site);
    return CHException(szText, nErrno, site);
}

// ---------------------------------------------------------------------------
// Entries and values

CHException& CHException::AddEntry(const std::wstring& strDescription, int nCode)
{
    CHXmlNode* pEntry = m_xml.AppendChild(kEntryName, L"");
    pEntry->AppendChild(kDescriptionName, strDescription);
    pEntry->AppendChild(kErrorCodeName, DecimalText(nCode));
    return *this;
}

CHException& CHException::AddEntry(const std::wstring& strDescription, int nCode, const CHSourceSite& site)
{
    AddEntry(strDescription, nCode);
    if (CHXmlNode* pEntry = NewestEntryWithCode(false)) {
        pEntry->AppendChild(kSourceFileName, site.FileName());
        pEntry->AppendChild(kSourceLineName, DecimalText(site.nLine));
        pEntry->AppendChild(kSourceFunctionName, site.FunctionName());
    }
    return *this;
}

CHException& CHException::AddEntry(HError error)
{
    return AddEntry(HErrorText(error), static_cast<int>(error));
}

CHException& CHException::AddEntry(HError error, const CHSourceSite& site)
{
    return AddEntry(HErrorText(error), static_cast<int>(error), site);
}

CHXmlNode* CHException::NewestEntryWithCode(bool bSkipStackEntries) const
{
    const auto& entries = m_xml.GetChildNodes();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if ((*it)->GetName() != kEntryName)
            continue;
        std::vector<CHXmlNode*> codes = (*it)->GetChildren(kErrorCodeName);
        if (codes.empty())
            continue;
        if (bSkipStackEntries && ReadDecimal(codes.front()->GetValue()) == kStackTraceCode)
            continue;
        return it->get();
    }
    return nullptr;
}

CHException& CHException::AddValue(const std::wstring& strName, const std::wstring& strValue)
{
    CHXmlNode* pEntry = NewestEntryWithCode(true);
    if (!pEntry)
        return *this;
    // Element names cannot hold these characters.
    std::wstring strElementName;
    for (wchar_t ch : strName)
        if (ch != L' ' && ch != L'<' && ch != L'&')
            strElementName += ch;
    pEntry->AppendChild(strElementName, strValue);
    return *this;
}

CHException& CHException::AddValue(const std::wstring& strName, int nValue, bool bHex)
{
    return AddValue(strName, CHStringHelper::Format(bHex ? L"0x%X" : L"%d", nValue));
}

void CHException::Clear()
{
    m_xml.Clear();
    m_xml.SetName(kRootName);
    m_xml.SetValue(L"");
}

// ---------------------------------------------------------------------------
// Queries

template <class Match>
bool CHException::FindEntry(Match&& match, CHException* pFound) const
{
    for (const CHXmlNode* pEntry : m_xml.GetChildren(kEntryName)) {
        for (const CHXmlNode* pCode : pEntry->GetChildren(kErrorCodeName)) {
            if (!match(ReadDecimal(pCode->GetValue())))
                continue;
            if (pFound) {
                pFound->Clear();
                pFound->m_xml.AppendCopy(*pEntry);
            }
            return true;
        }
    }
    return false;
}

bool CHException::FindErrorCode(int nCode, CHException* pFound) const
{
    return FindEntry([nCode](int nEntryCode) { return nEntryCode == nCode; }, pFound);
}

bool CHException::FindFacility(int nFacility, CHException* pFound) const
{
    return FindEntry([nFacility](int nEntryCode) { return ((nEntryCode >> 16) & 0x1FFF) == nFacility; }, pFound);
}

std::wstring CHException::GetStackTrace() const
{
    std::wstring strTrace = L"Stack trace:";
    std::wstring strPrevFile, strPrevLine, strPrevFunction;
    const auto& entries = m_xml.GetChildNodes();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if ((*it)->GetName() != kEntryName)
            continue;
        std::wstring strFile = L"Unknown file", strLine = L"Unknown line", strFunction = L"Unknown function";
        for (const auto& pChild : (*it)->GetChildNodes()) {
            if (pChild->GetName() == kSourceFileName)
                strFile = pChild->GetValue();
            else if (pChild->GetName() == kSourceLineName)
                strLine = pChild->GetValue();
            else if (pChild->GetName() == kSourceFunctionName)
                strFunction = pChild->GetValue();
        }
        if (strFile != strPrevFile || strLine != strPrevLine || strFunction != strPrevFunction)
            strTrace += L"\n\t" + strFile + L"(" + strLine + L")" + L" : " + strFunction;
        strPrevFile = std::move(strFile);
        strPrevLine = std::move(strLine);
        strPrevFunction = std::move(strFunction);
    }
    return strTrace + L"\n";
}

const char* CHException::what() const noexcept
{
    // Made anew on each call: entries may have been added since the last one.
    try {
        const std::wstring strDescription = GetDescription(CHException::DescribeEverything);
        const int nChars = static_cast<int>(strDescription.size());
        const int nBytes =
            ::WideCharToMultiByte(CP_UTF8, 0, strDescription.data(), nChars, nullptr, 0, nullptr, nullptr);
        m_strWhat.assign(static_cast<size_t>(nBytes > 0 ? nBytes : 0), '\0');
        if (nBytes > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, strDescription.data(), nChars, m_strWhat.data(), nBytes, nullptr,
                                  nullptr);
    } catch (...) {
        m_strWhat.clear();
    }
    return m_strWhat.empty() ? "CHException" : m_strWhat.c_str();
}

std::wstring CHException::GetDescription(int nFlags) const
{
    constexpr int kAllEntries = DescribeAllEntries, kStackTrace = DescribeStackTrace, kErrorCodes = DescribeErrorCodes;
    std::wstring strOut;
    const auto& entries = m_xml.GetChildNodes();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if ((*it)->GetName() != kEntryName)
            continue;
        std::wstring strEntry;
        for (const auto& pChild : (*it)->GetChildNodes()) {
            const std::wstring& strName = pChild->GetName();
            if (strName == kDescriptionName) {
                strEntry += pChild->GetValue() + L"\n";
            } else if (strName == kSourceFunctionName || strName == kSourceFileName || strName == kSourceLineName) {
                continue;
            } else if (strName == kErrorCodeName) {
                if (ReadDecimal(pChild->GetValue()) == kStackTraceCode) {
                    strEntry.clear();  // stack entries contribute nothing
                    break;
                }
                if (nFlags & kErrorCodes)
                    strEntry += L"\t" + strName + L":\t" + pChild->GetValue() + L"\n";
            } else {
                strEntry += L"\t" + strName + L":\t" + pChild->GetValue() + L"\n";
            }
        }
        strOut += strEntry;
        if (!strOut.empty() && !(nFlags & kAllEntries))
            break;
    }
    if (nFlags & kStackTrace)
        strOut += L"\n" + GetStackTrace();

    // The text is used as a format string by the loggers.
    std::wstring strSafe;
    strSafe.reserve(strOut.size());
    for (wchar_t ch : strOut) {
        strSafe += ch;
        if (ch == L'%')
            strSafe += L'%';
    }
    return strSafe;
}

// ---------------------------------------------------------------------------
// The catch idiom

void CHException::RethrowCurrent(const CHSourceSite& site)
{
    try {
        throw;
    } catch (const _com_error& e) {
        CHException converted(e);
        converted.AddEntry(L"", kStackTraceCode, site);
        throw converted;
    } catch (CHException& e) {
        e.AddEntry(HError::StackTrace, site);
        throw CHException(e);
    } catch (const std::exception& e) {
        throw CHException(HErrorText(HError::StdException) + WidenAnsi(e.what()),
                          static_cast<int>(HError::StdException), site);
    } catch (const char* pszText) {
        throw CHException(HErrorText(HError::CharException) + WidenAnsi(pszText),
                          static_cast<int>(HError::CharException), site);
    } catch (const wchar_t* pszText) {
        throw CHException(HErrorText(HError::WcharException) + std::wstring(pszText ? pszText : L""),
                          static_cast<int>(HError::WcharException), site);
    } catch (...) {
        throw CHException(HError::UnhandledException, site);
    }
}

void CHException::LogCurrent(const CHSourceSite& site) noexcept
{
    try {
        RethrowCurrent(site);
    } catch (CHException& e) {
        try {
            CHLogging::LogWarning(L"Exception caught in %s (%s : %d)\n", site.FunctionName().c_str(),
                                  site.FileName().c_str(), site.nLine);
            CHLogging::LogWarning(L"%s\n", e.GetDescription(CHException::DescribeEverything).c_str());
        } catch (...) {
            // Nothing is left to report to: the logging facade itself failed.
        }
    } catch (...) {
    }
}

void CHException::ReportCurrentToDebugger(const CHSourceSite& site) noexcept
{
    try {
        try {
            throw;
        } catch (CHException& e) {
            std::wstring strText = L"Error in logging function " + site.FunctionName() + L" : \n" +
                                   e.GetDescription(CHException::DescribeEverything);
            ::OutputDebugStringW(strText.c_str());
        } catch (...) {
            std::wstring strText = L"Access violation in logging function " + site.FunctionName();
            ::OutputDebugStringW(strText.c_str());
        }
    } catch (...) {
    }
}
