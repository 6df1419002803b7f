#include "RAde/HStringHelper.h"

#include <climits>
#include <cstdio>

#include "RAde/HBuf.h"
#include "RAde/HException.h"

std::vector<std::wstring> CHStringHelper::TokenizeString(const std::wstring& strText, const wchar_t* pszDelimiters)
{
    HTRY {
        std::vector<std::wstring> tokens;
        if (strText.empty())
            return tokens;
        if (!pszDelimiters || !*pszDelimiters)
            throw CHException(HError::InvalidParameter, HSITE);

        size_t nPos = 0;
        for (;;) {
            size_t nStart = strText.find_first_not_of(pszDelimiters, nPos);
            if (nStart == std::wstring::npos)
                break;
            size_t nEnd = strText.find_first_of(pszDelimiters, nStart);
            if (nEnd == std::wstring::npos)
                nEnd = strText.size();
            tokens.push_back(strText.substr(nStart, nEnd - nStart));
            nPos = nEnd;
        }
        return tokens;
    } HCATCH
}

std::wstring CHStringHelper::UnTokenizeString(const std::vector<std::wstring>& items, const std::wstring& strSeparator)
{
    HTRY {
        std::wstring strJoined;
        for (size_t i = 0; i < items.size(); ++i) {
            if (i > 0)
                strJoined += strSeparator;
            strJoined += items[i];
        }
        return strJoined;
    } HCATCH
}

bool CHStringHelper::EqualsNoCase(std::wstring_view str1, std::wstring_view str2) noexcept
{
    if (str1.size() > INT_MAX || str2.size() > INT_MAX)
        return false;
    return ::CompareStringOrdinal(str1.data(), static_cast<int>(str1.size()), str2.data(),
                                  static_cast<int>(str2.size()), TRUE) == CSTR_EQUAL;
}

bool CHStringHelper::StartsWithNoCase(std::wstring_view strText, std::wstring_view strPrefix) noexcept
{
    return strText.size() >= strPrefix.size() && EqualsNoCase(strText.substr(0, strPrefix.size()), strPrefix);
}

bool CHStringHelper::ContainsNoCase(std::wstring_view strText, std::wstring_view strPart) noexcept
{
    for (size_t nPos = 0; nPos + strPart.size() <= strText.size(); ++nPos)
        if (EqualsNoCase(strText.substr(nPos, strPart.size()), strPart))
            return true;
    return false;
}

std::wstring CHStringHelper::MultiByteToString(const char* pszText, size_t nBytes, UINT nCodePage)
{
    HTRY {
        if (!pszText || nBytes > INT_MAX)
            throw CHException(HError::InvalidParameter, HSITE);
        // Length -1 converts up to and including the terminating zero.
        int nLength = nBytes == 0 ? -1 : static_cast<int>(nBytes);
        int nChars = ::MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, pszText, nLength, nullptr, 0);
        if (nChars <= 0)
            return std::wstring();
        std::wstring strResult(static_cast<size_t>(nChars), L'\0');
        HCHECK_WIN32(
            ::MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, pszText, nLength, strResult.data(), nChars) > 0);
        if (nLength == -1)
            strResult.pop_back();
        return strResult;
    } HCATCH
}

void CHStringHelper::StringToMultiByte(const std::wstring& strText, CHBuf& buffer, UINT nCodePage)
{
    HTRY {
        if (strText.size() > INT_MAX)
            throw CHException(HError::InvalidParameter, HSITE);
        if (strText.empty()) {
            buffer.Clear();
            return;
        }
        int nUnits = static_cast<int>(strText.size());
        int nBytes = ::WideCharToMultiByte(nCodePage, 0, strText.data(), nUnits, nullptr, 0, nullptr, nullptr);
        HCHECK_WIN32(nBytes > 0);
        buffer.Alloc(static_cast<ULONGLONG>(nBytes));
        CHBufLock lock(buffer);
        HCHECK_WIN32(::WideCharToMultiByte(nCodePage, 0, strText.data(), nUnits,
                                           reinterpret_cast<char*>(buffer.GetBuf()), nBytes, nullptr, nullptr) > 0);
        lock.Unlock();
    } HCATCH
}

std::wstring CHStringHelper::IntToString(int nValue)
{
    HTRY {
        return Format(L"%d", nValue);
    } HCATCH
}

std::wstring CHStringHelper::IntToHexString(int nValue)
{
    HTRY {
        return Format(L"%x", nValue);
    } HCATCH
}

namespace {

void ReplaceAll(std::wstring& strText, std::wstring_view from, std::wstring_view to)
{
    std::wstring strResult;
    strResult.reserve(strText.size());
    size_t nPos = 0;
    for (size_t nHit; (nHit = strText.find(from, nPos)) != std::wstring::npos; nPos = nHit + from.size()) {
        strResult.append(strText, nPos, nHit - nPos);
        strResult.append(to);
    }
    strResult.append(strText, nPos);
    strText.swap(strResult);
}

}  // namespace

std::wstring CHStringHelper::ConvertNewlinesTo(const std::wstring& strText, const std::wstring& strLineBreak)
{
    HTRY {
        std::wstring strResult = strText;
        ReplaceAll(strResult, L"\r\n", L"\n");
        ReplaceAll(strResult, L"\r", L"\n");
        ReplaceAll(strResult, L"\n", strLineBreak);
        return strResult;
    } HCATCH
}

std::wstring CHStringHelper::Format(const wchar_t* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    const CVaListEnd end(args);
    return FormatV(pszFormat, args);
}

std::wstring CHStringHelper::FormatV(const wchar_t* pszFormat, va_list args)
{
    HTRY {
        if (!pszFormat)
            throw CHException(HError::InvalidParameter, HSITE);
        // The C runtime's own wide formatter: "%s" is a wide string there.
        va_list sizing;
        va_copy(sizing, args);
        int nLength = ::_vscwprintf(pszFormat, sizing);
        va_end(sizing);
        if (nLength < 0)
            throw CHException(HError::InvalidParameter, HSITE);
        std::wstring strResult(static_cast<size_t>(nLength), L'\0');
        ::_vsnwprintf(strResult.data(), strResult.size() + 1, pszFormat, args);
        return strResult;
    } HCATCH
}
