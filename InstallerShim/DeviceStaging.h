// The device path: a start from a phone's memory (the portable-device shell
// copies what it starts into %TEMP%\WPDNSE\...) stages "autorun.inf" and the
// install-files folder from the phone into %TEMP% and starts the installer
// from there, behind a "Preparing installation" wait dialog.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <string>

#include "RAde/HUniqueHandle.h"

struct IPortableDeviceContent;
struct IPortableDeviceProperties;

// Whether the executable runs from the folder into which the portable-device
// shell copies what it starts from a phone: %TEMP%\WPDNSE\ in its long or
// its 8.3 form occurs in strExeDirectory (compared without regard to case).
bool IsStartedFromDevice(const std::wstring& strExeDirectory);

// Runs the device path. bHandled comes in true and stays true once a device
// supplied both names and its installer was chosen; false sends the entry
// point on to the normal path. Errors leave as CHException, after the wait
// dialog has ended and COM is as it was; a read from a device that fails is
// one of them, and the installer is then not started.
void StageFromDevice(bool& bHandled);

// The wait dialog's thread (the parameter is not used). It ends when a
// WM_QUIT reaches its message queue.
DWORD WINAPI PrepareDialogThreadProc(LPVOID pParameter);

// Copies one device folder, recursively, into strDestination.
void CopyDeviceFolder(LPCWSTR pszObjectId, IPortableDeviceContent* pContent, IPortableDeviceProperties* pProperties,
                      std::wstring strDestination);

// ---------------------------------------------------------------------------
// The pieces of the device path, reachable by the tests

// True when a name that a device reports for one of its objects may be
// joined into a local path: not empty, no path separator, ":", "..",
// wildcard, quote, pipe or control character, no trailing dot or blank
// (Windows would drop it and write another name), and not a reserved device
// name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9, LPT0 to LPT9 and
// the superscript-digit COM and LPT names, with or without an extension).
bool IsSafeDeviceFileName(const std::wstring& strName);

// The size of the pieces a stream is copied in: the device's optimal
// transfer size, kept between 64 KiB and 8 MiB (0 means 1 MiB).
DWORD DeviceTransferPieceSize(DWORD dwOptimalTransferSize);

// Streams one device object into strFile (created with dwCreationDisposition,
// no sharing), piece by piece, until a read delivers nothing. nReportedSize
// is the size the device reported (0: none): a stream that ends short of it
// or runs past it is written as it came and logged as a warning. Returns
// false, touching nothing, when dwCreationDisposition is CREATE_NEW and the
// file exists. A read that fails throws with the device's HRESULT, as do
// local failures; a file this call opened is removed before either leaves,
// so no partial copy stays (and an existing file that CREATE_NEW refused was
// never opened, so it stays as it was).
bool CopyDeviceStreamToFile(IStream* pStream, const std::wstring& strFile, DWORD dwCreationDisposition,
                            DWORD dwOptimalTransferSize, ULONGLONG nReportedSize);

// The wait dialog on a thread of its own, from construction until End (or
// destruction). The end is orderly: WM_QUIT is posted to the thread, which
// then destroys its window and returns; the thread is never terminated.
class CPrepareDialogThread
{
public:
    // How long End waits for the thread; a thread that does not end by then
    // is left to the end of the process.
    static constexpr DWORD EndTimeoutMs = 10000;

    CPrepareDialogThread();
    ~CPrepareDialogThread();
    CPrepareDialogThread(const CPrepareDialogThread&) = delete;
    CPrepareDialogThread& operator=(const CPrepareDialogThread&) = delete;

    // True when the thread had ended (or never started) by the time it returned.
    bool End() noexcept;

    DWORD GetThreadId() const { return m_dwThreadId; }

private:
    CHKernelHandle m_hThread;
    DWORD m_dwThreadId = 0;
};
