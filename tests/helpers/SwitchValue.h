// Reading "/name=value" switches in the helper programs.
#pragma once

#include <cwchar>
#include <string>

// True when strArg begins with pszSwitch ("/exit="); strValue is then what follows it.
inline bool TakeSwitchValue(const std::wstring& strArg, const wchar_t* pszSwitch, std::wstring& strValue)
{
    const size_t cchSwitch = std::wcslen(pszSwitch);
    if (strArg.compare(0, cchSwitch, pszSwitch) != 0)
        return false;
    strValue = strArg.substr(cchSwitch);
    return true;
}
