// The device path: a start from a phone's memory (the portable-device shell
// copies what it starts into %TEMP%\WPDNSE\...) stages "autorun.inf" and the
// install-files folder from the phone into %TEMP% and starts the installer
// from there, behind a "Preparing installation" wait dialog.
#pragma once

#include <windows.h>

#include <string>

struct IPortableDeviceContent;
struct IPortableDeviceProperties;

// Runs the device path. bHandled comes in true and stays true once a device
// supplied both names and its installer was chosen; false sends the entry
// point on to the normal path.
void StageFromDevice(bool& bHandled);

// The wait dialog's thread (the parameter is not used).
DWORD WINAPI PrepareDialogThreadProc(LPVOID pParameter);

// Copies one device folder, recursively, into strDestination.
void CopyDeviceFolder(LPCWSTR pszObjectId, IPortableDeviceContent* pContent, IPortableDeviceProperties* pProperties,
                      std::wstring strDestination);
