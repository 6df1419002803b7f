// The process-wide logging facade. Every part of the program logs through
// CHLogging::Log; logging never throws.
//
// This is the facade's first form: messages go to the debugger output only.
// The file and event-log sinks, configured from the registry, sit behind the
// same call.
#pragma once

#include <string>

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
    // printf-style wide format ("%s" takes a wide string).
    static void Log(const CHLogLevel& level, const wchar_t* pszFormat, ...) noexcept;

    // Sees every formatted message besides the sinks, on the logging thread.
    // For diagnostics and tests; null removes it.
    using Observer = void (*)(void* pContext, const CHLogLevel& level, const std::wstring& strMessage);
    static void SetObserver(Observer pfnObserver, void* pContext) noexcept;

private:
    static void LogInternal(const CHLogLevel& level, const std::wstring& strMessage) noexcept;
};
