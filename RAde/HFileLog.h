// The log file: UTF-16 lines "date [LEVEL     ] TID:n : message" with CR LF
// breaks, one "_old" generation kept on rotation, and a named global mutex
// that serialises every process writing the same file.
#pragma once

#include "RAde/HLogBase.h"
#include "RAde/HMutexLock.h"

class CHFileLog : public CHLogBase
{
public:
    // How long a line waits for the file's mutex before it is dropped: a
    // process that holds the mutex (or squats its name) must not hang every
    // program that logs.
    static constexpr DWORD LockWaitMs = 5000;

    // Names the mutex after the log file.
    void Init() override;
    void Log(int nLevel, const std::wstring& strMessage, bool bForce) override;
    void SetConfig(const CHLogConfig& config) override;
    bool IsDebuggingLevel() override;

    // "<name>_old<extension>" beside the log file.
    static std::wstring OldGenerationPath(const std::wstring& strFile);
    // The line as written, line breaks already CR LF.
    static std::wstring FormatLine(const std::wstring& strDate, int nLevel, DWORD dwThreadId,
                                   const std::wstring& strMessage);

private:
    void RotateIfTooLarge();

    CHMutexLock m_fileLock;
};
