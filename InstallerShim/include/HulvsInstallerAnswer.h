/*
 * HulvsInstallerAnswer.h: how the suite's installer hands its answer to the
 * installer launcher (InstallerShim.exe) that started it.
 *
 * The launcher serves the named pipe "\\.\pipe\HulvsInstaller" while the
 * installer runs. Shortly before it exits, the installer connects, writes its
 * whole answer as ONE message and closes its end:
 *
 *     DWORD dwError = HulvsSendInstallerAnswer(
 *         L"autorun=C:\\Halvik\\Ulvo.exe /firstRun\n"
 *         L"language=de-de\n"
 *         L"delete-files=true\n",
 *         10000);
 *
 * HulvsSendInstallerAnswer writes the text as UTF-16 little-endian WITH a
 * byte-order mark (FF FE), so the launcher never has to guess the encoding.
 * Lines end in a line feed alone ("\n"); the launcher does not remove a
 * carriage return. A program path that contains a blank needs two pairs of
 * quotes:  autorun=""C:\P Q\app.exe" /min"
 * docs/installer-pipe-protocol.md describes the whole protocol.
 *
 * Header only, for C and C++; it needs nothing but <windows.h>. Every function
 * returns a Win32 error code: ERROR_SUCCESS (0) when the answer was handed
 * over, WAIT_TIMEOUT when no launcher pipe appeared within the time-out
 * (the installer was not started by the launcher: carry on without it),
 * ERROR_INVALID_PARAMETER for an answer larger than the launcher accepts, or
 * the error of the failed pipe call.
 */
#ifndef HULVS_INSTALLER_ANSWER_H
#define HULVS_INSTALLER_ANSWER_H

#include <windows.h>

/* The pipe the launcher serves while the installer runs. */
#define HULVS_INSTALLER_PIPE_NAME L"\\\\.\\pipe\\HulvsInstaller"
/* The largest answer the launcher reads, in bytes, byte-order mark included. */
#define HULVS_INSTALLER_ANSWER_MAX_BYTES (64u * 1024u)
/* The installer's exit code that asks the launcher to restart Windows. */
#define HULVS_INSTALLER_EXIT_RESTART 3010
/* The installer's exit code that says it has started a restart itself: the
   launcher then starts no autoruns and asks for no second restart. */
#define HULVS_INSTALLER_EXIT_RESTART_STARTED 1641

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Connects to the launcher's pipe for writing, retrying until dwTimeoutMs
 * have passed: the launcher may create the pipe a moment after the
 * installer has started, and another client may hold the instance for a
 * moment. On success *phPipe is the client end (close it with CloseHandle).
 */
static __inline DWORD HulvsConnectInstallerPipe(DWORD dwTimeoutMs, HANDLE* phPipe)
{
    const DWORD dwStart = GetTickCount();
    *phPipe = INVALID_HANDLE_VALUE;
    for (;;) {
        DWORD dwError;
        DWORD dwElapsed;
        HANDLE hPipe = CreateFileW(HULVS_INSTALLER_PIPE_NAME, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (hPipe != INVALID_HANDLE_VALUE) {
            *phPipe = hPipe;
            return ERROR_SUCCESS;
        }
        dwError = GetLastError();
        dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs)
            return WAIT_TIMEOUT;
        if (dwError == ERROR_PIPE_BUSY) {
            /* An instance exists but is taken: wait until one is free. */
            WaitNamedPipeW(HULVS_INSTALLER_PIPE_NAME, dwTimeoutMs - dwElapsed);
        } else if (dwError == ERROR_FILE_NOT_FOUND) {
            /* No instance yet: WaitNamedPipeW would fail at once, so poll. */
            Sleep(50);
        } else {
            return dwError;
        }
    }
}

/*
 * Sends cbAnswer bytes exactly as given, as one message. For installers that
 * encode the answer themselves (UTF-8 with its mark EF BB BF, or UTF-16 with
 * FF FE or FE FF); the launcher decides the encoding as the protocol
 * describes.
 */
static __inline DWORD HulvsSendInstallerAnswerBytes(const void* pAnswer, DWORD cbAnswer, DWORD dwTimeoutMs)
{
    HANDLE hPipe;
    DWORD dwError;
    DWORD cbWritten = 0;
    if (cbAnswer > HULVS_INSTALLER_ANSWER_MAX_BYTES || (pAnswer == NULL && cbAnswer != 0))
        return ERROR_INVALID_PARAMETER;
    dwError = HulvsConnectInstallerPipe(dwTimeoutMs, &hPipe);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    /* One WriteFile is one message; the launcher reads it a second after the
       connection, and what was written stays in the pipe after we close. */
    if (!WriteFile(hPipe, pAnswer, cbAnswer, &cbWritten, NULL))
        dwError = GetLastError();
    else if (cbWritten != cbAnswer)
        dwError = ERROR_WRITE_FAULT;
    CloseHandle(hPipe);
    return dwError;
}

/*
 * Sends the answer text (lines "autorun=...", "language=...",
 * "delete-files=true", each ended by "\n") as UTF-16LE with a byte-order mark.
 */
static __inline DWORD HulvsSendInstallerAnswer(LPCWSTR pszAnswer, DWORD dwTimeoutMs)
{
    const DWORD cchAnswer = pszAnswer ? (DWORD)lstrlenW(pszAnswer) : 0;
    DWORD cbMessage;
    BYTE* pMessage;
    DWORD dwError;
    if (cchAnswer > (HULVS_INSTALLER_ANSWER_MAX_BYTES - 2) / 2)
        return ERROR_INVALID_PARAMETER;
    cbMessage = 2 + cchAnswer * 2;
    pMessage = (BYTE*)HeapAlloc(GetProcessHeap(), 0, cbMessage);
    if (pMessage == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    pMessage[0] = 0xFF;
    pMessage[1] = 0xFE;
    if (cchAnswer != 0)
        CopyMemory(pMessage + 2, pszAnswer, cchAnswer * 2);
    dwError = HulvsSendInstallerAnswerBytes(pMessage, cbMessage, dwTimeoutMs);
    HeapFree(GetProcessHeap(), 0, pMessage);
    return dwError;
}

#ifdef __cplusplus
}
#endif

#endif /* HULVS_INSTALLER_ANSWER_H */
