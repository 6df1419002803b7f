// CHFileUtilities' text files: reading and writing them whole in ANSI,
// UTF-16 (either byte order) or UTF-8, with the byte-order marks that name
// the encoding. The path operations are in HFileUtilities.cpp.
#include "RAde/HFileUtilities.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "RAde/HBufMalloc.h"
#include "RAde/HException.h"
#include "RAde/HStringHelper.h"
#include "RAde/HUniqueHandle.h"

namespace {

// Large reads and writes go in pieces that fit a DWORD.
constexpr ULONGLONG kIoChunk = 1u << 30;

// A file without a byte-order mark: the system's Unicode-text test decides
// between the two UTF-16 orders, anything else gets the default encoding.
int DetectEncodingWithoutMark(const BYTE* pBytes, ULONGLONG nSize, int nDefaultEncoding)
{
    if (nSize > INT_MAX)
        return nDefaultEncoding;
    int nTests =
        IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_CONTROLS | IS_TEXT_UNICODE_SIGNATURE;
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
        return strAnsi.empty() || strAnsi[0] == '\0' ? std::wstring()
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

bool IsValidEncoding(int nEncoding)
{
    return nEncoding >= HTEXT_ENCODING_ANSI && nEncoding <= HTEXT_ENCODING_UTF8;
}

// The bytes of a text in one of the four encodings, without a mark.
std::string EncodeText(const std::wstring& strContent, int nEncoding)
{
    switch (nEncoding) {
    case HTEXT_ENCODING_ANSI:
    case HTEXT_ENCODING_UTF8: {
        CHBufMalloc encoded;
        CHStringHelper::StringToMultiByte(strContent, encoded, nEncoding == HTEXT_ENCODING_UTF8 ? CP_UTF8 : CP_ACP);
        return std::string(reinterpret_cast<const char*>(encoded.GetBuf()), static_cast<size_t>(encoded.GetSize()));
    }
    default: {
        std::string bytes(strContent.size() * 2, '\0');
        bool bBigEndian = nEncoding == HTEXT_ENCODING_UTF16BE;
        for (size_t i = 0; i < strContent.size(); ++i) {
            char chLow = static_cast<char>(strContent[i] & 0xFF), chHigh = static_cast<char>(strContent[i] >> 8);
            bytes[2 * i] = bBigEndian ? chHigh : chLow;
            bytes[2 * i + 1] = bBigEndian ? chLow : chHigh;
        }
        return bytes;
    }
    }
}

std::string ByteOrderMark(int nEncoding)
{
    switch (nEncoding) {
    case HTEXT_ENCODING_UTF16LE:
        return "\xFF\xFE";
    case HTEXT_ENCODING_UTF16BE:
        return "\xFE\xFF";
    case HTEXT_ENCODING_UTF8:
        return "\xEF\xBB\xBF";
    default:
        return std::string();
    }
}

void AppendBytes(CHBuf& buffer, const std::string& bytes)
{
    if (bytes.empty())
        return;
    ULONGLONG nOldSize = buffer.GetSize();
    // An empty buffer is allocated rather than grown: not every buffer can grow.
    if (nOldSize == 0)
        buffer.Alloc(bytes.size());
    else
        buffer.Realloc(nOldSize + bytes.size());
    CHBufLock lock(buffer);
    std::memcpy(buffer.GetBuf() + nOldSize, bytes.data(), bytes.size());
    lock.Unlock();
}

// The encoding an existing, non-empty file announces by its first bytes;
// text without a mark is taken for ANSI. Reads from the current position
// (the start of a freshly opened file).
DWORD ReadEncodingOfFile(HANDLE hFile, ULONGLONG nSize, int& nEncoding)
{
    BYTE mark[3] = {};
    DWORD dwRead = 0;
    if (!::ReadFile(hFile, mark, static_cast<DWORD>(std::min<ULONGLONG>(nSize, 3)), &dwRead, nullptr))
        return ::GetLastError();
    if (dwRead >= 2 && mark[0] == 0xFF && mark[1] == 0xFE)
        nEncoding = HTEXT_ENCODING_UTF16LE;
    else if (dwRead >= 2 && mark[0] == 0xFE && mark[1] == 0xFF)
        nEncoding = HTEXT_ENCODING_UTF16BE;
    else if (dwRead >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF)
        nEncoding = HTEXT_ENCODING_UTF8;
    else
        nEncoding = HTEXT_ENCODING_ANSI;
    return NO_ERROR;
}

// Writes the whole buffer; returns the Win32 error. A disk file is written
// short without an error only when the disk is full.
DWORD WriteAll(HANDLE hFile, CHBuf& buffer)
{
    if (buffer.GetSize() == 0)
        return NO_ERROR;
    CHBufLock lock(buffer);
    const BYTE* pBytes = buffer.GetBuf();
    for (ULONGLONG nDone = 0; nDone < buffer.GetSize();) {
        DWORD dwChunk = static_cast<DWORD>(std::min(buffer.GetSize() - nDone, kIoChunk));
        DWORD dwWritten = 0;
        if (!::WriteFile(hFile, pBytes + nDone, dwChunk, &dwWritten, nullptr))
            return ::GetLastError();
        if (dwWritten < dwChunk)
            return ERROR_DISK_FULL;
        nDone += dwWritten;
    }
    lock.Unlock();
    return NO_ERROR;
}

}  // namespace

std::wstring CHFileUtilities::ReadTextFile(const std::wstring& strPath, int nDefaultEncoding)
{
    HTRY {
        HTRY {
            CHFileHandle file(::CreateFileW(GetUnicodePath(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            HCHECK_WIN32(file);
            LARGE_INTEGER size = {};
            HCHECK_WIN32(::GetFileSizeEx(file.Get(), &size));
            if (size.QuadPart == 0)
                return std::wstring();

            CHBufMalloc content;
            content.Alloc(static_cast<ULONGLONG>(size.QuadPart));
            // Read in pieces that fit a DWORD; a file that shrank meanwhile
            // yields what it still holds.
            ULONGLONG nRead = 0;
            while (nRead < content.GetSize()) {
                DWORD dwChunk = static_cast<DWORD>(std::min<ULONGLONG>(content.GetSize() - nRead, kIoChunk));
                DWORD dwGot = 0;
                HCHECK_WIN32(::ReadFile(file.Get(), content.GetBuf() + nRead, dwChunk, &dwGot, nullptr));
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

void CHFileUtilities::WriteTextFile(const std::wstring& strPath, const std::wstring& strContent, bool bAppend,
                                    int nEncoding)
{
    HTRY {
        HTRY {
            // Checked before the file is opened: a new file has no encoding to
            // detect, and opening it for writing would already empty it.
            if (!IsValidEncoding(nEncoding) && !(bAppend && nEncoding == HTEXT_ENCODING_DETECT))
                throw CHException(HError::InvalidParameter, HSITE).AddValue(L"Encoding", nEncoding, false);
            const std::wstring strFolder = GetPathFromFilename(strPath);
            if (!strFolder.empty())
                BuildDirectory(strFolder);

            CHFileHandle file(::CreateFileW(
                GetUnicodePath(strPath).c_str(), bAppend ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                FILE_SHARE_READ, nullptr, bAppend ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            HCHECK_WIN32(file);

            // Appending to an empty file is writing a new one (mark included).
            bool bNewFile = true;
            if (bAppend) {
                LARGE_INTEGER size = {};
                HCHECK_WIN32(::GetFileSizeEx(file.Get(), &size));
                bNewFile = size.QuadPart == 0;
                if (!bNewFile && nEncoding == HTEXT_ENCODING_DETECT) {
                    DWORD dwError = ReadEncodingOfFile(file.Get(), static_cast<ULONGLONG>(size.QuadPart), nEncoding);
                    if (dwError != NO_ERROR)
                        throw CHException::FromWin32Error(dwError, HSITE);
                }
                LARGE_INTEGER zero = {};
                HCHECK_WIN32(::SetFilePointerEx(file.Get(), zero, nullptr, FILE_END));
            }

            CHBufMalloc content;
            StringToFileContent(strContent, content, nEncoding, bNewFile);
            DWORD dwError = WriteAll(file.Get(), content);
            if (dwError != NO_ERROR)
                throw CHException::FromWin32Error(dwError, HSITE);
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) {
        e.AddValue(L"Filename", strPath);
        e.AddValue(L"Content", strContent);
    })
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

void CHFileUtilities::StringToFileContent(const std::wstring& strContent, CHBuf& buffer, int nEncoding, bool bWriteMark)
{
    HTRY {
        if (!IsValidEncoding(nEncoding))
            throw CHException(HError::InvalidParameter, HSITE).AddValue(L"Encoding", nEncoding, false);
        std::string bytes = bWriteMark ? ByteOrderMark(nEncoding) : std::string();
        bytes += EncodeText(strContent, nEncoding);
        AppendBytes(buffer, bytes);
    } HCATCH
}
