// OLE dates (days since 30 December 1899, the fraction is the time of day), as the log writes them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "RAde/HUniqueHandle.h"

class CHTime
{
public:
    static double SystemTimeToVariantTime(const SYSTEMTIME& time);
    static double GetLocalTimeAsOleDate();
    // The system's text for the date in the user's default locale; dwFlags are
    // the date-to-text conversion flags (0: date and time). A date outside
    // what OLE dates can hold gives "Invalid DateTime".
    static std::wstring FormatDate(double dDate, DWORD dwFlags);
};
