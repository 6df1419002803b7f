#include "RAde/HLogging.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>

#include "RAde/HException.h"
#include "RAde/HStringHelper.h"

namespace {

// Constant-initialised, so logging works from any static constructor.
constinit std::atomic<CHLogging::Observer> g_pfnObserver{nullptr};
constinit std::atomic<void*> g_pObserverContext{nullptr};

} // namespace

void CHLogging::Log(const CHLogLevel& level, const wchar_t* pszFormat, ...) noexcept
{
    HTRY {
        va_list args;
        va_start(args, pszFormat);
        struct CEndArgs { va_list& args; ~CEndArgs() { va_end(args); } } endArgs{args};
        LogInternal(level, CHStringHelper::FormatV(pszFormat, args));
    } HCATCH_LOGGING_INTERNAL
}

void CHLogging::LogInternal(const CHLogLevel& level, const std::wstring& strMessage) noexcept
{
    HTRY {
        ::OutputDebugStringW(strMessage.c_str());
        if (Observer pfnObserver = g_pfnObserver.load())
            pfnObserver(g_pObserverContext.load(), level, strMessage);
    } HCATCH_LOGGING_INTERNAL
}

void CHLogging::SetObserver(Observer pfnObserver, void* pContext) noexcept
{
    g_pfnObserver.store(nullptr);
    g_pObserverContext.store(pContext);
    g_pfnObserver.store(pfnObserver);
}
