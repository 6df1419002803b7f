#include "InstallerShim/AnswerPipeServer.h"

#include <array>
#include <vector>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"
#include "RAde/HLogging.h"
#include "RAde/HProcess.h"

namespace {

// How long the worker lets the installer write its answer after connecting.
constexpr DWORD g_dwAnswerDelayMs = 1000;
// The worker's pause before it creates the pipe (a stop request ends it).
constexpr DWORD g_dwWorkerStartDelayMs = 200;
// A read of bytes that the pipe reported waiting completes at once; one that
// hangs this long is given up.
constexpr DWORD g_dwPipeReadTimeoutMs = 5000;
// Empty messages carry nothing; a client that sends more than this many is
// not waited out.
constexpr int g_nMaxEmptyMessages = 64;

// The number of bytes waiting in the pipe, over all messages.
DWORD BytesWaitingInPipe(HANDLE hPipe)
{
    // GetFileSize is no measure for a pipe: Wine answers 0xFFFFFFFF.
    DWORD cbTotal = 0;
    if (::PeekNamedPipe(hPipe, nullptr, 0, nullptr, &cbTotal, nullptr))
        return cbTotal;
    // A client that has closed its end (the installer may have ended) leaves
    // what it wrote readable; once that is read, the pipe reports it broken.
    const DWORD dwError = ::GetLastError();
    if (dwError == ERROR_BROKEN_PIPE)
        return 0;
    throw CHException::FromWin32Error(dwError, HSITE);
}

// One overlapped read from the pipe into pBuffer; true when the current
// message goes on beyond what was read (ERROR_MORE_DATA).
bool ReadPipeChunk(HANDLE hPipe, BYTE* pBuffer, DWORD cbBuffer, DWORD& cbRead)
{
    CHKernelHandle hDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HCHECK_WIN32(hDone);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = hDone.Get();
    if (!::ReadFile(hPipe, pBuffer, cbBuffer, nullptr, &overlapped)) {
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_IO_PENDING && dwError != ERROR_MORE_DATA)
            throw CHException::FromWin32Error(dwError, HSITE);
    }
    // The overlapped structure must outlive the read: a read that does not
    // complete is cancelled and its end awaited before this returns.
    if (::WaitForSingleObject(hDone.Get(), g_dwPipeReadTimeoutMs) != WAIT_OBJECT_0) {
        ::CancelIo(hPipe);
        ::GetOverlappedResult(hPipe, &overlapped, &cbRead, TRUE);
        throw CHException::FromWin32Error(ERROR_TIMEOUT, HSITE);
    }
    cbRead = 0;
    if (::GetOverlappedResult(hPipe, &overlapped, &cbRead, FALSE))
        return false;
    const DWORD dwError = ::GetLastError();
    if (dwError == ERROR_MORE_DATA)
        return true;
    throw CHException::FromWin32Error(dwError, HSITE);
}

}  // namespace

CAnswerPipeServer::~CAnswerPipeServer()
{
    HTRY {
        // The worker writes the members below and uses the pipe: it ends
        // first (the base destructor would stop it only after they are gone).
        StopWorkerThread();
        m_hPipe.Reset();
        m_answer.autoruns.clear();
    } HCATCH_LOG
}

void CAnswerPipeServer::ReleasePipeWorker()
{
    HTRY {
        // A client that writes nothing ends the worker's wait with an empty
        // answer (the defaults). Without a free pipe instance the stop
        // request alone ends the wait.
        CHFileHandle hClient;
        if (::WaitNamedPipeW(PipeName, NMPWAIT_USE_DEFAULT_WAIT))
            hClient.Reset(::CreateFileW(PipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        StopWorkerThread();
    } HCATCH
}

void CAnswerPipeServer::AcceptAnswersFrom(HANDLE hInstaller)
{
    HTRY {
        // Without a handle (a start through the shell may give none) no
        // other process may answer.
        HANDLE hDuplicate = nullptr;
        HCHECK_WIN32(!hInstaller ||
                     ::DuplicateHandle(::GetCurrentProcess(), hInstaller, ::GetCurrentProcess(), &hDuplicate,
                                       PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, 0));
        m_hInstaller.Reset(hDuplicate);
        ::SetEvent(m_hInstallerKnown.Get());
    } HCATCH
}

void CAnswerPipeServer::WorkerProc(DWORD)
{
    HTRY {
        if (!ContinueWorking(g_dwWorkerStartDelayMs))
            return;

        // Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE and
        // PIPE_REJECT_REMOTE_CLIENTS (a second "first instance" is created
        // there), so under Wine a squatter is not detected; on Windows the
        // creation fails and the run goes on without an answer.
        m_hPipe.Reset();
        m_hPipe.Reset(::CreateNamedPipeW(PipeName, PipeOpenMode, PipeMode, PIPE_UNLIMITED_INSTANCES, PipeBufferSize,
                                         PipeBufferSize, 0, nullptr));
        if (!m_hPipe) {
            const DWORD dwError = ::GetLastError();
            CHLogging::LogWarning(L"Pipe %s could not be created (error %u), it may be in use by another process; the "
                                  L"installer's answer is not read.\n",
                                  PipeName, static_cast<unsigned>(dwError));
            return;
        }
        m_receipt.bPipeCreated = true;
        // A client that the installer did not start is turned away; the
        // wait for the installer's goes on, until the owner stops it.
        for (;;) {
            if (!ContinueWorking(0) || !WaitForClient())
                return;
            if (IsInstallersClient())
                break;
            ++m_receipt.nClientsTurnedAway;
            if (!::DisconnectNamedPipe(m_hPipe.Get()))
                return;
        }

        // The installer writes its whole answer within a second of
        // connecting. Once a stop is requested the installer has ended (or
        // the answer no longer matters), so what waits is read at once.
        ContinueWorking(g_dwAnswerDelayMs);
        GetInstallerResponseFromNamedPipe(m_hPipe.Get());

        ::FlushFileBuffers(m_hPipe.Get());
        ::DisconnectNamedPipe(m_hPipe.Get());
    } HCATCH
}

bool CAnswerPipeServer::WaitForClient()
{
    HTRY {
        CHKernelHandle hConnected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        HCHECK_WIN32(hConnected);
        OVERLAPPED overlapped = {};
        overlapped.hEvent = hConnected.Get();
        if (::ConnectNamedPipe(m_hPipe.Get(), &overlapped))
            return true;
        const DWORD dwError = ::GetLastError();
        // The client came before the wait began; it may even have written
        // its answer and closed its end already (ERROR_NO_DATA).
        if (dwError == ERROR_PIPE_CONNECTED || dwError == ERROR_NO_DATA)
            return true;
        if (dwError != ERROR_IO_PENDING)
            return false;

        // Whichever comes first: a client, or the stop request (the stop
        // event is set after the stop flag, so a request made before this
        // wait began is seen too).
        const std::array<HANDLE, 2> handles = {hConnected.Get(), GetStopEvent()};
        const DWORD dwWait =
            ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
        if (dwWait != WAIT_OBJECT_0)
            ::CancelIo(m_hPipe.Get());
        // The overlapped structure lives until the operation has ended. A
        // client that connected just as the stop came is served all the same.
        DWORD dwIgnored = 0;
        return ::GetOverlappedResult(m_hPipe.Get(), &overlapped, &dwIgnored, TRUE) != FALSE;
    } HCATCH
}

bool CAnswerPipeServer::IsInstallersClient()
{
    HTRY {
        // Read while the client is connected: its process id is the one it
        // connected with, whether or not it has closed its end since.
        ULONG nClientId = 0;
        if (!::GetNamedPipeClientProcessId(m_hPipe.Get(), &nClientId)) {
            CHLogging::LogWarning(L"A client of pipe %s cannot be told by its process (error %u); its answer is not "
                                  L"read.\n",
                                  PipeName, static_cast<unsigned>(::GetLastError()));
            return false;
        }
        if (nClientId == ::GetCurrentProcessId())
            return true;
        // Held from now on: the client may end at once (an installer's
        // helper that wrote its answer), and its id must not go to another
        // process while it is judged.
        CHKernelHandle hClient(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, nClientId));
        // A client may come before the installer's start has returned.
        const std::array<HANDLE, 2> handles = {m_hInstallerKnown.Get(), GetStopEvent()};
        const bool bInstallerKnown = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                                              INFINITE) == WAIT_OBJECT_0;
        if (bInstallerKnown && hClient && CHProcess::IsSelfOrDescendantOf(hClient.Get(), m_hInstaller.Get())) {
            m_receipt.bInstallerConnected = true;
            return true;
        }
        const std::wstring strImage = CHProcess::GetImagePath(nClientId);
        CHLogging::LogWarning(L"Process %u (%s) connected to pipe %s, but the installer did not start it; its answer "
                              L"is not read.\n",
                              static_cast<unsigned>(nClientId), strImage.empty() ? L"image unknown" : strImage.c_str(),
                              PipeName);
        return false;
    } HCATCH
}

void CAnswerPipeServer::GetInstallerResponseFromNamedPipe(HANDLE hPipe)
{
    HTRY {
        // The defaults stand when the answer cannot be read.
        m_answer = InstallParsers::CInstallerAnswer();
        m_answer.strLanguage = DefaultLanguage;
        ReadAnswerBytes(hPipe);
        m_answer = ParseAnswer(m_receipt.bytes);
    } HCATCH
}

InstallParsers::CInstallerAnswer CAnswerPipeServer::ParseAnswer(const std::vector<BYTE>& bytes)
{
    HTRY {
        InstallParsers::CInstallerAnswer answer;
        answer.strLanguage = DefaultLanguage;
        InstallParsers::ApplyAnswerLines(InstallParsers::DecodeAnswer(bytes), answer);
        return answer;
    } HCATCH
}

void CAnswerPipeServer::ReadAnswerBytes(HANDLE hPipe)
{
    HTRY {
        std::vector<BYTE>& answer = m_receipt.bytes;
        answer.clear();
        DWORD cbWaiting = BytesWaitingInPipe(hPipe);
        m_receipt.cbSent = cbWaiting;
        if (cbWaiting > MaxAnswerBytes)
            return RefuseLongAnswer();

        // Every message that waits, in order, each read to its end.
        std::vector<BYTE> chunk(PipeBufferSize);
        int nEmptyMessages = 0;
        while (cbWaiting > 0 && answer.size() <= MaxAnswerBytes && nEmptyMessages <= g_nMaxEmptyMessages) {
            DWORD cbRead = 0;
            const bool bMessageGoesOn = ReadPipeChunk(hPipe, chunk.data(), static_cast<DWORD>(chunk.size()), cbRead);
            answer.insert(answer.end(), chunk.begin(), chunk.begin() + cbRead);
            if (bMessageGoesOn)
                continue;
            if (cbRead == 0)
                ++nEmptyMessages;
            cbWaiting = BytesWaitingInPipe(hPipe);
        }
        m_receipt.cbSent = answer.size() + cbWaiting;
        if (answer.size() > MaxAnswerBytes || nEmptyMessages > g_nMaxEmptyMessages)
            RefuseLongAnswer();
    } HCATCH
}

void CAnswerPipeServer::RefuseLongAnswer()
{
    CHLogging::LogWarning(L"The installer's answer is larger than %u bytes; it is ignored.\n",
                          static_cast<unsigned>(MaxAnswerBytes));
    m_receipt.bytes.clear();
    m_receipt.bRefused = true;
}
