// OLE dates: conversion from a system time, the current local time, and the
// locale's text for a date.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "RAde/HTime.h"
#include "TestSupport.h"

namespace {

SYSTEMTIME MakeTime(WORD wYear, WORD wMonth, WORD wDay, WORD wHour, WORD wMinute, WORD wSecond)
{
    SYSTEMTIME time = {};
    time.wYear = wYear;
    time.wMonth = wMonth;
    time.wDay = wDay;
    time.wHour = wHour;
    time.wMinute = wMinute;
    time.wSecond = wSecond;
    return time;
}

// The local time now, as an OLE date computed by the test itself.
double LocalOleDateNow()
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    double dDate = 0.0;
    EXPECT_TRUE(::SystemTimeToVariantTime(&now, &dDate));
    return dDate;
}

// What the system itself writes for the date, in the user's default locale.
std::wstring SystemDateText(double dDate, DWORD dwFlags)
{
    BSTR bstrText = nullptr;
    EXPECT_EQ(::VarBstrFromDate(dDate, LOCALE_USER_DEFAULT, dwFlags, &bstrText), S_OK);
    CHUniqueBstr text(bstrText);
    return text ? std::wstring(text.Get(), ::SysStringLen(text.Get())) : L"<no text>";
}

}  // namespace

TEST(CHTime, SystemTimeToVariantTimeCountsDaysFromTheEndOf1899)
{
    EXPECT_EQ(CHTime::SystemTimeToVariantTime(MakeTime(1899, 12, 30, 0, 0, 0)), 0.0);
    EXPECT_EQ(CHTime::SystemTimeToVariantTime(MakeTime(2000, 1, 1, 12, 0, 0)), 36526.5);
    EXPECT_EQ(CHTime::SystemTimeToVariantTime(MakeTime(1900, 1, 1, 18, 0, 0)), 2.75);
    // Before 1899-12-30 the day counts down but the time of day still counts up.
    EXPECT_EQ(CHTime::SystemTimeToVariantTime(MakeTime(1899, 12, 29, 6, 0, 0)), -1.25);
}

TEST(CHTime, AnInvalidSystemTimeIsATimeConversionFailure)
{
    CHException e = CatchThrown([] { CHTime::SystemTimeToVariantTime(MakeTime(2000, 13, 1, 0, 0, 0)); });
    EXPECT_EQ(ErrorCodesOf(e), (std::vector<int>{2002, 1005}));
    EXPECT_EQ(e.GetDescription(0), L"Time conversion failed.\n");
    EXPECT_NE(e.GetStackTrace().find(L" : CHTime::SystemTimeToVariantTime\n"), std::wstring::npos) << e.GetStackTrace();
}

TEST(CHTime, GetLocalTimeAsOleDateIsTheCurrentLocalTime)
{
    double dBefore = LocalOleDateNow();
    double dNow = CHTime::GetLocalTimeAsOleDate();
    double dAfter = LocalOleDateNow();
    EXPECT_LE(dBefore, dNow);
    EXPECT_LE(dNow, dAfter);
}

TEST(CHTime, FormatDateGivesTheSystemsTextForTheFlags)
{
    // OLE automation is delay-loaded: this process's first VarBstrFromDate
    // goes through the delay-load tail, which must keep the date (a double in
    // xmm0). Binutils' own tail lost it ("12:00:00 AM" for noon of 2000).
    const double dNoonOfY2k = 36526.5;
    std::wstring strDateAndTime = CHTime::FormatDate(dNoonOfY2k, 0);
    EXPECT_EQ(strDateAndTime, SystemDateText(dNoonOfY2k, 0));
    std::wstring strDateOnly = CHTime::FormatDate(dNoonOfY2k, VAR_DATEVALUEONLY);
    EXPECT_EQ(strDateOnly, SystemDateText(dNoonOfY2k, VAR_DATEVALUEONLY));
    // The flags reach the system: the date alone is a shorter text.
    EXPECT_LT(strDateOnly.size(), strDateAndTime.size());

    // The first and the last moment that OLE dates can hold.
    EXPECT_EQ(CHTime::FormatDate(-657434.0, 0), SystemDateText(-657434.0, 0));
    EXPECT_EQ(CHTime::FormatDate(-657434.99, 0), SystemDateText(-657434.99, 0));  // 1 January 100, 23:45
    EXPECT_EQ(CHTime::FormatDate(2958465.99, 0), SystemDateText(2958465.99, 0));
}

TEST(CHTime, FormatDateOfADateOutsideTheOleRangeIsInvalid)
{
    for (double dDate : {1e10, -1e10, 2958466.0, -657435.0, std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(CHTime::FormatDate(dDate, 0), L"Invalid DateTime") << dDate;
}
