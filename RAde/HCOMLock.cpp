#include "RAde/HCOMLock.h"

#include "RAde/HException.h"

CHCOMLock::CHCOMLock()
{
    // Not the swallowing variant: a lock that could not be set up must not be
    // handed out as if it protected anything.
    if (!::InitializeCriticalSectionAndSpinCount(&m_section, 0))
        throw CHFrameworkError(HResultFromWin32(::GetLastError()));
}

CHCOMLock::~CHCOMLock()
{
    ::DeleteCriticalSection(&m_section);
}

bool CHCOMLock::Lock()
{
    HTRY {
        ::EnterCriticalSection(&m_section);
        return true;
    } HCATCH
}

void CHCOMLock::Unlock()
{
    HTRY {
        ::LeaveCriticalSection(&m_section);
    } HCATCH
}
