// The process-wide logging facade. Every part of the program logs through
// CHLogging::Log; logging never throws, never hangs for long, and never
// changes the thread's last-error value.
//
// A message goes to up to two sinks, each with its own threshold read once
// from "HKEY_CURRENT_USER\Software\Halvik\Logging\Halvik software": the
// Windows event log (errors and warnings by default) and a log file (off by
// default). The configuration is read on the first log call.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "RAde/HEventLog.h"
#include "RAde/HFileLog.h"
#include "RAde/HLogConfig.h"
#include "RAde/HMutexLock.h"

// Log levels: a sink takes a message when its threshold is at least the level.
enum : int
{
    HLOG_NONE = 0,
    HLOG_ERROR = 1,
    HLOG_WARNING = 2,
    HLOG_INFO = 3,
    HLOG_DEBUG = 4,
    HLOG_STACKTRACE = 5,
};

struct CHLogLevel
{
    int nLevel;
    bool bForce;  // the event log takes the message whatever its threshold
};

class CHLogging
{
public:
    // printf-style wide format ("%s" takes a wide string). DEBUG and
    // STACKTRACE messages are not even formatted unless a sink takes them.
    static void Log(const CHLogLevel& level, const wchar_t* pszFormat, ...) noexcept;
    // The same at one level, not forced into the event log.
    template <class... Args>
    static void LogError(const wchar_t* pszFormat, Args... args) noexcept
    {
        Log({HLOG_ERROR, false}, pszFormat, args...);
    }
    template <class... Args>
    static void LogWarning(const wchar_t* pszFormat, Args... args) noexcept
    {
        Log({HLOG_WARNING, false}, pszFormat, args...);
    }
    template <class... Args>
    static void LogInfo(const wchar_t* pszFormat, Args... args) noexcept
    {
        Log({HLOG_INFO, false}, pszFormat, args...);
    }
    template <class... Args>
    static void LogDebug(const wchar_t* pszFormat, Args... args) noexcept
    {
        Log({HLOG_DEBUG, false}, pszFormat, args...);
    }

    // The level's name as the log file prints it.
    static std::wstring LevelName(int nLevel);

    // Sees every formatted message besides the sinks, on the logging thread.
    // For diagnostics and tests; null removes it.
    using Observer = void (*)(void* pContext, const CHLogLevel& level, const std::wstring& strMessage);
    static void SetObserver(Observer pfnObserver, void* pContext) noexcept;

    // The one facade of the process.
    static CHLogging& Instance();

    void LogInternal(int nLevel, const std::wstring& strMessage, bool bForce);
    bool IsDebuggingLevelInternal();
    // Reads the configuration and sets up the sinks, once.
    void Init();

    const CHLogConfig& GetConfig() const { return m_config; }

    CHLogging();
    CHLogging(const CHLogging&) = delete;
    CHLogging& operator=(const CHLogging&) = delete;
    ~CHLogging();

private:
    CHLogConfig m_config;
    CHEventLog m_eventLog;
    CHFileLog m_fileLog;
    std::atomic<bool> m_bInitialized{false};
    CHMutexLock m_initLock;
};
