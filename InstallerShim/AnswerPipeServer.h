// The server end of the named pipe on which the installer sends its answer.
//
// The answer is read on a worker thread (StartWorkerThread) while the owner
// waits for the installer; the answer members are read only after that
// worker has ended. The worker creates the pipe, waits for the installer to
// connect, reads what it wrote and leaves the taking apart to
// InstallParsers::ApplyAnswerLines.
//
// Only the installer answers: a client is served when its process is the
// installer's (AcceptAnswersFrom) or one that the installer started, or this
// process itself (which ends the worker's wait). Any other client is turned
// away, with a warning naming its process, while it is still connected, and
// the worker goes on waiting for the installer's.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "InstallerShim/InstallParsers.h"
#include "RAde/HUniqueHandle.h"
#include "RAde/HWorkerThreadHost.h"

class CAnswerPipeServer : public CHWorkerThreadHost
{
public:
    // The pipe on which the installer sends its answer.
    static constexpr wchar_t PipeName[] = L"\\\\.\\pipe\\HulvsInstaller";
    // The language of an answer that names none.
    static constexpr wchar_t DefaultLanguage[] = L"en-uk";
    // The pipe's server end. Overlapped, so that waiting for a client can be
    // given up when the worker is asked to stop. FILE_FLAG_FIRST_PIPE_INSTANCE
    // makes the creation fail when another process already serves this name
    // (it would read the installer's answer, or hand us one of its own);
    // PIPE_REJECT_REMOTE_CLIENTS keeps other machines out: the installer runs
    // on this one.
    static constexpr DWORD PipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    static constexpr DWORD PipeMode =
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    static constexpr DWORD PipeBufferSize = 4096;
    // A longer answer is refused (its defaults apply), never allocated blindly.
    static constexpr DWORD MaxAnswerBytes = 64 * 1024;

    using AutorunList = InstallParsers::AutorunList;

    // What came through the pipe, as it came: for a look at the answer
    // beyond what the launcher takes from it.
    struct CReceipt
    {
        bool bPipeCreated = false;
        // A client of the installer's connected (the owner's own release,
        // ReleasePipeWorker, is none).
        bool bInstallerConnected = false;
        unsigned nClientsTurnedAway = 0;
        // The bytes the client wrote (when refused, at least as many as were seen).
        size_t cbSent = 0;
        // Over MaxAnswerBytes, or too many empty messages: taken as no answer.
        bool bRefused = false;
        std::vector<BYTE> bytes;  // the answer as read; empty when refused
    };

    CAnswerPipeServer() = default;
    // Stops the worker before the members it fills are destroyed.
    ~CAnswerPipeServer() override;

    // Ends the worker: connects a client that writes nothing, so a worker
    // still waiting reads an empty answer, then stops it.
    void ReleasePipeWorker();
    // The installer has started: its process, and the processes it starts,
    // may answer. A client that connected before is judged once this is
    // known (or once the worker is asked to stop). The handle is duplicated:
    // the process id cannot be handed to another process while it is kept.
    void AcceptAnswersFrom(HANDLE hInstaller);

    // The answer. Before one was read the language is empty; an answer read
    // gives DefaultLanguage where it names none.
    std::wstring GetUILanguage() const { return m_answer.strLanguage; }
    bool GetDeleteFiles() const { return m_answer.bDeleteFiles; }
    const AutorunList& GetAutoruns() const { return m_answer.autoruns; }
    // Read, like the answer, only after the worker has ended.
    const CReceipt& GetReceipt() const { return m_receipt; }
    // What the launcher takes from an answer's bytes (none: the defaults).
    static InstallParsers::CInstallerAnswer ParseAnswer(const std::vector<BYTE>& bytes);

protected:
    // The pipe server.
    void WorkerProc(DWORD dwParameter) override;

private:
    // Waits for the installer to connect; false when the worker was asked to
    // stop first or the connection failed.
    bool WaitForClient();
    // True when the connected client may answer; false (with a warning) when not.
    bool IsInstallersClient();
    void GetInstallerResponseFromNamedPipe(HANDLE hPipe);
    // Every message that waits in the pipe, into m_receipt.
    void ReadAnswerBytes(HANDLE hPipe);
    // An answer too long to be one: logged, and read as empty (the defaults apply).
    void RefuseLongAnswer();

    InstallParsers::CInstallerAnswer m_answer;
    CReceipt m_receipt;
    CHFileHandle m_hPipe;
    // Set once m_hInstaller is: the worker reads it only after the event.
    CHKernelHandle m_hInstallerKnown{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CHKernelHandle m_hInstaller;
};
