// Logging costs: lines per second into a log file (each line takes the
// file's cross-process mutex, checks the size for rotation and appends), and
// the cost of a DEBUG call that no sink takes, next to one that is formatted.
#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "RAde/HFileLog.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"

namespace {

void FileThroughput()
{
    const std::wstring strFolder =
        CHFileUtilities::GetTempDirectory() + L"hs_logbench_" + std::to_wstring(::GetCurrentProcessId());
    CHLogConfig config;
    config.m_nFileLogLevel = HLOG_INFO;
    config.m_strFile = strFolder + L"\\bench.log";
    config.m_nFileMaxSize = 0x7FFFFFFF;
    CHFileLog log;
    log.SetConfig(config);
    log.Init();

    constexpr int kLines = 3000;
    const double dStart = Seconds(Now());
    for (int i = 0; i < kLines; ++i)
        log.Log(HLOG_INFO, L"a typical line of the launcher's log, number " + std::to_wstring(i), false);
    const double dElapsed = Seconds(Now()) - dStart;
    std::printf("file log: %d lines in %.3f s = %.0f lines/s (%.1f us per line)\n", kLines, dElapsed, kLines / dElapsed,
                dElapsed / kLines * 1e6);
    CHFileUtilities::DeleteDirectory(strFolder);
}

void SuppressedDebugCost()
{
    CHLogging::Instance().Init();
    if (CHLogging::Instance().IsDebuggingLevelInternal()) {
        std::printf("a sink takes DEBUG in this configuration: the suppressed cost cannot be measured\n");
        return;
    }
    constexpr int kCalls = 5000000;
    double dStart = Seconds(Now());
    for (int i = 0; i < kCalls; ++i)
        CHLogging::Log({HLOG_DEBUG, false}, L"%s %d", L"trace", i);
    const double dSuppressed = (Seconds(Now()) - dStart) / kCalls * 1e9;

    constexpr int kFormats = 500000;
    dStart = Seconds(Now());
    for (int i = 0; i < kFormats; ++i)
        (void)CHStringHelper::Format(L"%s %d", L"trace", i);
    const double dFormatted = (Seconds(Now()) - dStart) / kFormats * 1e9;

    std::printf("suppressed DEBUG call: %.1f ns; formatting the same message: %.1f ns (ratio %.3f)\n", dSuppressed,
                dFormatted, dSuppressed / dFormatted);
}

}  // namespace

int wmain()
{
    FileThroughput();
    SuppressedDebugCost();
    return 0;
}
