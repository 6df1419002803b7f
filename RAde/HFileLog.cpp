#include "RAde/HFileLog.h"

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLock.h"
#include "RAde/HLogging.h"
#include "RAde/HStringHelper.h"
#include "RAde/HTime.h"

void CHFileLog::Init()
{
    HTRY {
        m_fileLock.Clear();
        if (m_config.m_strFile.empty())
            return;
        m_fileLock.Init(m_config.m_strFile, true);
        m_fileLock.SetTimeout(LockWaitMs);
    } HCATCH_LOGGING_INTERNAL
}

void CHFileLog::SetConfig(const CHLogConfig& config)
{
    HTRY {
        CHLogBase::SetConfig(config);
        // The mutex belongs to the previous file; Init names the new one.
        m_fileLock.Clear();
    } HCATCH_LOGGING_INTERNAL
}

bool CHFileLog::IsDebuggingLevel()
{
    return m_config.m_nFileLogLevel >= HLOG_DEBUG;
}

std::wstring CHFileLog::OldGenerationPath(const std::wstring& strFile)
{
    HTRY {
        return CHFileUtilities::GetPathFromFilename(strFile) + CHFileUtilities::GetFilenameWithoutExtension(strFile) +
               L"_old" + CHFileUtilities::GetFileExtension(strFile);
    } HCATCH
}

std::wstring CHFileLog::FormatLine(const std::wstring& strDate, int nLevel, DWORD dwThreadId,
                                   const std::wstring& strMessage)
{
    HTRY {
        const std::wstring strLine =
            CHStringHelper::Format(L"%s [%-10s] TID:%d : %s\n", strDate.c_str(), CHLogging::LevelName(nLevel).c_str(),
                                   static_cast<int>(dwThreadId), strMessage.c_str());
        return CHStringHelper::ConvertNewlinesTo(strLine, L"\r\n");
    } HCATCH
}

void CHFileLog::RotateIfTooLarge()
{
    HTRY {
        const std::wstring& strFile = m_config.m_strFile;
        if (CHFileUtilities::GetFileSize(strFile) >
            static_cast<ULONGLONG>(static_cast<unsigned>(m_config.m_nFileMaxSize)))
            CHFileUtilities::MoveFileW(strFile, OldGenerationPath(strFile), false);
    } HCATCH
}

void CHFileLog::Log(int nLevel, const std::wstring& strMessage, bool bForce)
{
    HTRY {
        if (m_config.m_strFile.empty() || !(m_config.m_nFileLogLevel >= nLevel || bForce))
            return;
        const std::wstring strDate = CHTime::FormatDate(CHTime::GetLocalTimeAsOleDate(), 0);
        const std::wstring strLine = FormatLine(strDate, nLevel, ::GetCurrentThreadId(), strMessage);

        CHLockHolder holder(m_fileLock);
        if (!holder.IsAcquired()) {
            ::OutputDebugStringW(L"CHFileLog: the log file stayed locked; a line was dropped\n");
            return;
        }
        // Size test before writing: a file may exceed the limit by one line.
        RotateIfTooLarge();
        CHFileUtilities::WriteTextFile(m_config.m_strFile, strLine, true, HTEXT_ENCODING_UTF16LE);
    } HCATCH_LOGGING_INTERNAL
}
