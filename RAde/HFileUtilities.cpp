#include "RAde/HFileUtilities.h"

#include <algorithm>
#include <climits>
#include <string>

#include "RAde/HBufMalloc.h"
#include "RAde/HException.h"
#include "RAde/HStringHelper.h"
#include "RAde/HUniqueHandle.h"

namespace {

constexpr wchar_t kLocalLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncLongPrefix[] = L"\\\\?\\UNC\\";

// A file without a byte-order mark: the system's Unicode-text test decides
// between the two UTF-16 orders, anything else gets the default encoding.
int DetectEncodingWithoutMark(const BYTE* pBytes, ULONGLONG nSize, int nDefaultEncoding)
{
    if (nSize > INT_MAX)
        return nDefaultEncoding;
    int nTests = IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_CONTROLS |
                 IS_TEXT_UNICODE_SIGNATURE;
    if (::IsTextUnicode(pBytes, static_cast<int>(nSize), &nTests))
        return HTEXT_ENCODING_UTF16LE;
    // The reverse tests report big-endian text only in the flags written back.
    int nReverseTests = IS_TEXT_UNICODE_REVERSE_ASCII16 | IS_TEXT_UNICODE_REVERSE_STATISTICS |
                        IS_TEXT_UNICODE_REVERSE_CONTROLS | IS_TEXT_UNICODE_REVERSE_SIGNATURE;
    ::IsTextUnicode(pBytes, static_cast<int>(nSize), &nReverseTests);
    if (nReverseTests & IS_TEXT_UNICODE_REVERSE_MASK)
        return HTEXT_ENCODING_UTF16BE;
    return nDefaultEncoding;
}

std::wstring DecodeText(const BYTE* pBytes, ULONGLONG nSize, int nEncoding)
{
    switch (nEncoding) {
    case HTEXT_ENCODING_ANSI: {
        // Converted as a zero-terminated text: it ends at the first zero byte.
        std::string strAnsi(reinterpret_cast<const char*>(pBytes), static_cast<size_t>(nSize));
        return strAnsi.empty() || strAnsi[0] == '\0'
                   ? std::wstring()
                   : CHStringHelper::MultiByteToString(strAnsi.c_str(), 0, CP_ACP);
    }
    case HTEXT_ENCODING_UTF16LE:
        return std::wstring(reinterpret_cast<const wchar_t*>(pBytes), static_cast<size_t>(nSize / 2));
    case HTEXT_ENCODING_UTF16BE: {
        std::wstring strText(static_cast<size_t>(nSize / 2), L'\0');
        for (size_t i = 0; i < strText.size(); ++i)
            strText[i] = static_cast<wchar_t>((pBytes[2 * i] << 8) | pBytes[2 * i + 1]);
        return strText;
    }
    case HTEXT_ENCODING_UTF8:
        if (nSize == 0)
            return std::wstring();
        return CHStringHelper::MultiByteToString(reinterpret_cast<const char*>(pBytes), static_cast<size_t>(nSize),
                                                 CP_UTF8);
    default:
        return std::wstring();
    }
}

} // namespace

std::wstring CHFileUtilities::SetPathSeparator(const std::wstring& strPath, wchar_t chSeparator)
{
    HTRY {
        std::wstring strResult = strPath;
        std::replace_if(strResult.begin(), strResult.end(), [](wchar_t ch) { return ch == L'/' || ch == L'\\'; },
                        chSeparator);
        return strResult;
    } HCATCH
}

bool CHFileUtilities::IsRelativePath(const std::wstring& strPath)
{
    HTRY {
        if (strPath.size() >= 2 && strPath[1] == L':')
            return false;
        return !strPath.starts_with(L"\\\\");
    } HCATCH
}

std::wstring CHFileUtilities::GetUnicodePath(const std::wstring& strPath)
{
    HTRY {
        std::wstring strResult = SetPathSeparator(strPath, L'\\');
        if (IsRelativePath(strResult) || strResult.starts_with(kLocalLongPrefix))
            return strResult;
        if (strResult.starts_with(L"\\\\"))
            return kUncLongPrefix + strResult.substr(2);
        return kLocalLongPrefix + strResult;
    } HCATCH
}

std::wstring CHFileUtilities::ReadTextFile(const std::wstring& strPath, int nDefaultEncoding)
{
    HTRY {
        HTRY {
            CHFileHandle file(::CreateFileW(GetUnicodePath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file)
                throw CHException::FromLastError(HSITE);
            LARGE_INTEGER size = {};
            if (!::GetFileSizeEx(file.Get(), &size))
                throw CHException::FromLastError(HSITE);
            if (size.QuadPart == 0)
                return std::wstring();

            CHBufMalloc content;
            content.Alloc(static_cast<ULONGLONG>(size.QuadPart));
            // Read in pieces that fit a DWORD; a file that shrank meanwhile
            // yields what it still holds.
            ULONGLONG nRead = 0;
            while (nRead < content.GetSize()) {
                DWORD dwChunk = static_cast<DWORD>(std::min<ULONGLONG>(content.GetSize() - nRead, 1u << 30));
                DWORD dwGot = 0;
                if (!::ReadFile(file.Get(), content.GetBuf() + nRead, dwChunk, &dwGot, nullptr))
                    throw CHException::FromLastError(HSITE);
                if (dwGot == 0)
                    break;
                nRead += dwGot;
            }
            if (nRead < content.GetSize())
                content.Realloc(nRead);
            return FileContentToString(content, nDefaultEncoding);
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) { e.AddValue(L"Filename", strPath); })
}

std::wstring CHFileUtilities::FileContentToString(CHBuf& buffer, int nDefaultEncoding)
{
    HTRY {
        ULONGLONG nSize = buffer.GetSize();
        if (nSize == 0)
            return std::wstring();
        CHBufLock lock(buffer);
        const BYTE* pBytes = buffer.GetBuf();
        int nEncoding;
        ULONGLONG nMark = 0;
        if (nSize >= 2 && pBytes[0] == 0xFF && pBytes[1] == 0xFE) {
            nEncoding = HTEXT_ENCODING_UTF16LE;
            nMark = 2;
        } else if (nSize >= 2 && pBytes[0] == 0xFE && pBytes[1] == 0xFF) {
            nEncoding = HTEXT_ENCODING_UTF16BE;
            nMark = 2;
        } else if (nSize >= 3 && pBytes[0] == 0xEF && pBytes[1] == 0xBB && pBytes[2] == 0xBF) {
            nEncoding = HTEXT_ENCODING_UTF8;
            nMark = 3;
        } else {
            nEncoding = DetectEncodingWithoutMark(pBytes, nSize, nDefaultEncoding);
        }
        std::wstring strText = DecodeText(pBytes + nMark, nSize - nMark, nEncoding);
        lock.Unlock();
        return strText;
    } HCATCH
}
