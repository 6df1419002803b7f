#include "RAde/HTime.h"

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"

namespace {

// OLE dates run from 1 January 100 to the end of 31 December 9999. Days before
// 1900 count backwards with a positive time of day, so all of 1 January 100
// lies above -657435.0; the last second lies just below 2958466.0.
constexpr double kBeforeFirstOleDate = -657435.0;
constexpr double kEndOfOleDates = 2958466.0;

bool IsOleDateInRange(double dDate)
{
    // Written so that NaN, which fails every comparison, is out of range.
    return dDate > kBeforeFirstOleDate && dDate < kEndOfOleDates;
}

}  // namespace

double CHTime::SystemTimeToVariantTime(const SYSTEMTIME& time)
{
    HTRY {
        // The OLE function takes a non-const pointer, though it only reads.
        SYSTEMTIME copy = time;
        double dDate = 0.0;
        if (!::SystemTimeToVariantTime(&copy, &dDate))
            throw CHException(HError::TimeConversionFailed, HSITE);
        return dDate;
    } HCATCH
}

double CHTime::GetLocalTimeAsOleDate()
{
    HTRY {
        SYSTEMTIME now = {};
        ::GetLocalTime(&now);
        return SystemTimeToVariantTime(now);
    } HCATCH
}

std::wstring CHTime::FormatDate(double dDate, DWORD dwFlags)
{
    HTRY {
        HTRY {
            if (!IsOleDateInRange(dDate))
                return L"Invalid DateTime";
            BSTR bstrText = nullptr;
            HRESULT hr = ::VarBstrFromDate(dDate, LOCALE_USER_DEFAULT, dwFlags, &bstrText);
            CHUniqueBstr text(bstrText);
            if (FAILED(hr))
                throw CHException::FromHResult(hr, HSITE);
            return std::wstring(text.Get(), ::SysStringLen(text.Get()));
        } HCATCH
    } HCATCH_ATTACH([&](CHException& e) { e.AddValue(L"Date", CHStringHelper::Format(L"%0.16f", dDate)); })
}
