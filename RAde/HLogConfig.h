// The logging configuration: two thresholds and the log file, read once from
// "HKEY_CURRENT_USER\Software\Halvik\Logging\<application name>".
#pragma once

#include <string>

class CHLogConfig
{
public:
    static constexpr wchar_t BaseKey[] = L"HKEY_CURRENT_USER\\Software\\Halvik\\Logging";
    // The longest log file path, after expansion of environment references.
    static constexpr size_t MaxFileChars = 520;

    // Reads the four values; whatever is missing, of another type or
    // unreadable keeps its default. A file path whose expansion does not fit
    // turns the file log off.
    void ReadConfig();

    const wchar_t* m_pszApplicationName = L"Halvik software";  // names the key and the event source
    const wchar_t* m_pszModuleName = L"";                      // follows the application name in events
    int m_nEventLogLevel = 2;                                  // WARNING
    int m_nFileLogLevel = 0;                                   // NONE
    std::wstring m_strFile;                                    // empty: no file log
    int m_nFileMaxSize = 0x100000;                             // bytes; above it the file is rotated
};
