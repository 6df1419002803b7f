// The calling thread's membership in a COM apartment, for the time this
// object lives: joined when it is made, left when it goes (after every
// interface the thread used has been released). A thread that cannot join
// (it is already in an apartment of the other kind) is logged as a warning
// and stays as it was; Joined() tells.
#pragma once

#include <objbase.h>

#include "RAde/HLogging.h"

class CHComApartment
{
public:
    explicit CHComApartment(DWORD dwConcurrency = COINIT_MULTITHREADED) : m_hr(::CoInitializeEx(nullptr, dwConcurrency))
    {
        if (FAILED(m_hr))
            CHLogging::LogWarning(L"COM could not be initialised for this thread (0x%08X).\n",
                                  static_cast<unsigned>(m_hr));
    }
    ~CHComApartment()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    CHComApartment(const CHComApartment&) = delete;
    CHComApartment& operator=(const CHComApartment&) = delete;

    bool Joined() const noexcept { return SUCCEEDED(m_hr); }
    HRESULT Result() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};
