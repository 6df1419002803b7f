// What the tests of the launcher's answer pipe share: the installer's side
// of the pipe (a client that connects and writes its messages), UTF-16LE
// text as bytes, and time measured. The pipe's name is fixed: these tests run
// one at a time.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "InstallUtilsTestSupport.h"
#include "InstallerShim/AnswerPipeServer.h"

constexpr DWORD g_dwWorkerTimeoutMs = 20000;
// Generous bounds for what must not hang (a hang would be the whole time-out).
constexpr long long g_nPromptMs = 5000;

inline std::wstring OwnPath()
{
    std::wstring strPath(32768, L'\0');
    strPath.resize(::GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size())));
    return strPath;
}

// Connects to the launcher's pipe as the installer does, once the worker has
// created it; an invalid handle (a test failure) after the time-out.
inline CHFileHandle ConnectAsInstaller()
{
    for (DWORD dwWaited = 0; dwWaited < g_dwWorkerTimeoutMs; dwWaited += 10) {
        CHFileHandle hClient(
            ::CreateFileW(CAnswerPipeServer::PipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (hClient)
            return hClient;
        ::Sleep(10);
    }
    ADD_FAILURE() << "the launcher's pipe never accepted a client";
    return CHFileHandle();
}

// Each WriteFile on a message pipe is one message. Written on a thread of
// their own: a message larger than the pipe's buffer is only taken as the
// worker reads it (or refuses it and disconnects).
class CInstallerClient
{
public:
    explicit CInstallerClient(std::vector<std::string> messages) : m_hPipe(ConnectAsInstaller())
    {
        m_writer = std::thread([this, messages = std::move(messages)] {
            for (const std::string& message : messages) {
                DWORD cbWritten = 0;
                if (!::WriteFile(m_hPipe.Get(), message.data(), static_cast<DWORD>(message.size()), &cbWritten,
                                 nullptr))
                    m_dwWriteError = ::GetLastError();
            }
        });
    }
    ~CInstallerClient() { Close(); }
    CInstallerClient(const CInstallerClient&) = delete;
    CInstallerClient& operator=(const CInstallerClient&) = delete;

    HANDLE Handle() const { return m_hPipe.Get(); }
    bool IsConnected() const { return m_hPipe.IsValid(); }
    // Ends the client as an installer that exits does: once its messages are
    // written (or refused), its end of the pipe is closed.
    void Close()
    {
        if (m_writer.joinable())
            m_writer.join();
        m_hPipe.Reset();
    }

private:
    CHFileHandle m_hPipe;
    std::thread m_writer;
    DWORD m_dwWriteError = 0;
};

inline long long ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}
