// Paths and files. Every file-system call goes through the long-path form
// ("\\?\C:\..." or "\\?\UNC\server\share\...") of absolute paths.
#pragma once

#include <windows.h>

#include <string>

class CHBuf;

// Text encodings of files.
enum : int
{
    HTEXT_ENCODING_DETECT = 0,
    HTEXT_ENCODING_ANSI = 1,      // the system ANSI code page, no byte-order mark
    HTEXT_ENCODING_UTF16LE = 2,   // mark FF FE
    HTEXT_ENCODING_UTF16BE = 3,   // mark FE FF
    HTEXT_ENCODING_UTF8 = 4,      // mark EF BB BF
};

class CHFileUtilities
{
public:
    // Copy with every "/" and "\" made nSeparator.
    static std::wstring SetPathSeparator(const std::wstring& strPath, wchar_t chSeparator);
    // False for "X:..." and "\\..." paths; true otherwise, also for "" and "\x".
    static bool IsRelativePath(const std::wstring& strPath);
    // The long-path form of an absolute path; a relative path comes back with "\" separators.
    static std::wstring GetUnicodePath(const std::wstring& strPath);

    // Reads a whole text file. A byte-order mark, or failing that the
    // system's Unicode-text test, decides the encoding; nDefaultEncoding
    // applies to everything else.
    static std::wstring ReadTextFile(const std::wstring& strPath, int nDefaultEncoding);
    static std::wstring FileContentToString(CHBuf& buffer, int nDefaultEncoding);
};
