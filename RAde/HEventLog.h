// The Windows event log: errors and warnings (by default) as events of the
// application's own source, whose message file shows each event's text as is.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "RAde/HLogBase.h"
#include "RAde/HUniqueHandle.h"

// A registered event source.
using CHEventSource = CHUniqueHandle<CHCloseWith<HANDLE, ::DeregisterEventSource>>;

class CHEventLog : public CHLogBase
{
public:
    static constexpr wchar_t SourcesKey[] =
        L"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\EventLog\\Application";
    static constexpr wchar_t MessageFileName[] = L"HEventMessages.dll";
    static constexpr wchar_t LibraryVersion[] = L"0.7.487";
    static constexpr size_t MessageFileSize = 1536;

    CHEventLog() = default;
    ~CHEventLog() override;

    // Sets up the message file and the source's registry values (when this
    // user may), then registers the event source.
    void Init() override;
    void Log(int nLevel, const std::wstring& strMessage, bool bForce) override;
    bool IsDebuggingLevel() override;

    // Writes "EventMessageFile" and "TypesSupported" under the source's key
    // and the message file into %TEMP% when it is missing. Failures go to the
    // debugger output only.
    void InitEventResources();

    // The message file: a resource-only 32-bit DLL whose message table holds
    // one message, id 1, that shows its first insertion string followed by CR LF.
    static const std::array<std::uint8_t, MessageFileSize>& MessageFileImage();

    bool IsRegistered() const { return m_eventSource.IsValid(); }

    // What reports an event: ReportEventW, unless a test program puts a
    // recorder in its place (Wine keeps no event log to read back).
    using ReportFunction = BOOL(WINAPI*)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCWSTR*, LPVOID);
    static void SetReportFunction(ReportFunction pfnReport);

private:
    CHEventSource m_eventSource;
};
