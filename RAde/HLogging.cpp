#include "RAde/HLogging.h"

#include <cstdarg>

#include "RAde/HException.h"
#include "RAde/HLock.h"
#include "RAde/HStringHelper.h"

namespace {

// Constant-initialised, so logging works from any static constructor.
constinit std::atomic<CHLogging::Observer> g_pfnObserver{nullptr};
constinit std::atomic<void*> g_pObserverContext{nullptr};
// Set once the facade is gone at exit: later messages reach only the debugger.
constinit std::atomic<bool> g_bFacadeDestroyed{false};
// A log call on this thread is under way: logging from inside logging (a
// failing unlock, a destructor that logs) must not re-enter the sinks.
constinit thread_local bool t_bInsideLog = false;

// Restores the thread's last-error value when a log call ends, so a caller
// that logs before it reports GetLastError() reports its own error.
class CLastErrorKeeper
{
public:
    CLastErrorKeeper() : m_dwError(::GetLastError()) {}
    ~CLastErrorKeeper() { ::SetLastError(m_dwError); }
    CLastErrorKeeper(const CLastErrorKeeper&) = delete;
    CLastErrorKeeper& operator=(const CLastErrorKeeper&) = delete;

private:
    DWORD m_dwError;
};

class CInsideLog
{
public:
    CInsideLog() : m_bOuter(!t_bInsideLog) { t_bInsideLog = true; }
    ~CInsideLog()
    {
        if (m_bOuter)
            t_bInsideLog = false;
    }
    CInsideLog(const CInsideLog&) = delete;
    CInsideLog& operator=(const CInsideLog&) = delete;
    bool IsOuter() const { return m_bOuter; }

private:
    bool m_bOuter;
};

void NotifyObserver(const CHLogLevel& level, const std::wstring& strMessage)
{
    if (CHLogging::Observer pfnObserver = g_pfnObserver.load())
        pfnObserver(g_pObserverContext.load(), level, strMessage);
}

// The facade exists before the program's entry point runs.
[[maybe_unused]] const bool g_bFacadeConstructed = (CHLogging::Instance(), true);

}  // namespace

CHLogging& CHLogging::Instance()
{
    static CHLogging s_logging;
    return s_logging;
}

CHLogging::CHLogging()
{
    HTRY {
        // Created here, while static construction still runs on one thread:
        // created lazily, two threads logging first could each make one.
        m_initLock.Init(L"", true);
    } HCATCH_LOGGING_INTERNAL
}

CHLogging::~CHLogging()
{
    g_bFacadeDestroyed = true;
}

std::wstring CHLogging::LevelName(int nLevel)
{
    static const wchar_t* const s_apszNames[] = {L"NONE", L"ERROR", L"WARNING", L"INFO", L"DEBUG", L"STACKTRACE"};
    if (nLevel >= 0 && nLevel < static_cast<int>(std::size(s_apszNames)))
        return s_apszNames[nLevel];
    return CHStringHelper::Format(L"%d", nLevel);
}

void CHLogging::Log(const CHLogLevel& level, const wchar_t* pszFormat, ...) noexcept
{
    CLastErrorKeeper lastError;
    HTRY {
        CInsideLog inside;
        const bool bToSinks = inside.IsOuter() && !g_bFacadeDestroyed;
        if (level.nLevel >= HLOG_DEBUG && (!bToSinks || !Instance().IsDebuggingLevelInternal()) &&
            !g_pfnObserver.load())
            return;

        va_list args;
        va_start(args, pszFormat);
        const CHStringHelper::CVaListEnd end(args);
        const std::wstring strMessage = CHStringHelper::FormatV(pszFormat, args);

        NotifyObserver(level, strMessage);
        if (bToSinks)
            Instance().LogInternal(level.nLevel, strMessage, level.bForce);
        else
            ::OutputDebugStringW(strMessage.c_str());
    } HCATCH_LOGGING_INTERNAL
}

void CHLogging::LogInternal(int nLevel, const std::wstring& strMessage, bool bForce)
{
    HTRY {
        if (!m_bInitialized)
            Init();
        if (m_config.m_nEventLogLevel >= nLevel || bForce)
            m_eventLog.Log(nLevel, strMessage, bForce);
        if (m_config.m_nFileLogLevel >= nLevel && !m_config.m_strFile.empty())
            m_fileLog.Log(nLevel, strMessage, false);
    } HCATCH_LOGGING_INTERNAL
}

bool CHLogging::IsDebuggingLevelInternal()
{
    HTRY {
        if (!m_bInitialized)
            Init();
        return m_eventLog.IsDebuggingLevel() || m_fileLog.IsDebuggingLevel();
    } HCATCH_LOGGING_INTERNAL
    return false;
}

void CHLogging::Init()
{
    HTRY {
        CHLockHolder holder(m_initLock);
        if (m_bInitialized)
            return;
        m_config.ReadConfig();
        m_eventLog.SetConfig(m_config);
        m_fileLog.SetConfig(m_config);
        m_eventLog.Init();
        m_fileLog.Init();
        // Set even when the configuration could not be read: the defaults
        // then hold for the rest of the run.
        m_bInitialized = true;
    } HCATCH_LOGGING_INTERNAL
}

void CHLogging::SetObserver(Observer pfnObserver, void* pContext) noexcept
{
    g_pfnObserver.store(nullptr);
    g_pObserverContext.store(pContext);
    g_pfnObserver.store(pfnObserver);
}
