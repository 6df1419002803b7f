// What the console tools share: their output in UTF-8, an error told on one
// line, a file read as the bytes it holds, and a finding's place in a text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

class CHException;

namespace ToolSupport {

// Writes the text to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE in UTF-8.
void WriteUtf8(DWORD dwStdHandle, const std::wstring& strText);
// The descriptions of an error's entries, oldest first, on one line (the
// stack trace left out).
std::wstring OneLineDescription(const CHException& e);
// The file's bytes as they are; throws the system's error, with the file, when
// it cannot be read.
std::vector<unsigned char> ReadFileBytes(const std::wstring& strPath);
// What a finding may quote of a file: control characters, which would break
// the line, become "?".
std::wstring Printable(std::wstring strText);
// The printable text in double quotes.
std::wstring Quoted(const std::wstring& strText);
// "LINE,COLUMN" (both from 1) of an offset in the text; an offset past its
// end gives "1,1".
std::wstring LineAndColumn(const std::wstring& strText, size_t nOffset);

}  // namespace ToolSupport
