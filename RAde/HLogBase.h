// What every log sink has: a copy of the configuration, and the four
// operations the facade calls. No sink operation ever throws.
#pragma once

#include <string>

#include "RAde/HLogConfig.h"

class CHLogBase
{
public:
    CHLogBase() = default;
    CHLogBase(const CHLogBase&) = delete;
    CHLogBase& operator=(const CHLogBase&) = delete;
    virtual ~CHLogBase() = default;

    virtual void Init() {}
    virtual void Log(int nLevel, const std::wstring& strMessage, bool bForce) = 0;
    virtual void SetConfig(const CHLogConfig& config) { m_config = config; }
    // Whether the sink's threshold takes DEBUG messages.
    virtual bool IsDebuggingLevel() = 0;

    const CHLogConfig& GetConfig() const { return m_config; }

protected:
    CHLogConfig m_config;
};
