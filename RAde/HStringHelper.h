// String helpers: tokenizing and joining, code-page conversion, number
// formatting and line-break normalisation.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

class CHBuf;

class CHStringHelper
{
public:
    // Splits text at any of the delimiter characters; runs of delimiters give
    // no empty tokens. Null or empty delimiters are an invalid parameter (1010).
    static std::vector<std::wstring> TokenizeString(const std::wstring& strText, const wchar_t* pszDelimiters);
    static std::wstring UnTokenizeString(const std::vector<std::wstring>& items, const std::wstring& strSeparator);

    // nBytes 0 converts up to the terminating zero. Text that the code page
    // cannot convert (invalid characters) gives an empty string.
    static std::wstring MultiByteToString(const char* pszText, size_t nBytes, UINT nCodePage);
    // Replaces the buffer's content with the converted text, without a terminating zero.
    static void StringToMultiByte(const std::wstring& strText, CHBuf& buffer, UINT nCodePage);

    // Ordinal comparison ignoring case, as the system compares names (ids,
    // class names, file names): no locale, no normalisation.
    static bool EqualsNoCase(std::wstring_view str1, std::wstring_view str2) noexcept;
    static bool StartsWithNoCase(std::wstring_view strText, std::wstring_view strPrefix) noexcept;
    static bool ContainsNoCase(std::wstring_view strText, std::wstring_view strPart) noexcept;

    static std::wstring IntToString(int nValue);
    static std::wstring IntToHexString(int nValue);

    // Every "\r\n", "\r" and "\n" becomes strLineBreak.
    static std::wstring ConvertNewlinesTo(const std::wstring& strText, const std::wstring& strLineBreak);

    // printf-style formatting with the C runtime's wide rules: "%s" takes a wide string.
    static std::wstring Format(const wchar_t* pszFormat, ...);
    static std::wstring FormatV(const wchar_t* pszFormat, va_list args);

    // Ends a variadic function's va_list when it goes, so that its va_start
    // is matched whatever formatting throws.
    class CVaListEnd
    {
    public:
        explicit CVaListEnd(va_list& args) noexcept : m_args(args) {}
        ~CVaListEnd() { va_end(m_args); }
        CVaListEnd(const CVaListEnd&) = delete;
        CVaListEnd& operator=(const CVaListEnd&) = delete;

    private:
        va_list& m_args;
    };
};
