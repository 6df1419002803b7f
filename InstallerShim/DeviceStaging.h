// The device path: a start from a phone's memory (the portable-device shell
// copies what it starts into %TEMP%\WPDNSE\...) stages "autorun.inf" and the
// install-files folder from the phone into %TEMP% and starts the installer
// from there, behind a "Preparing installation" wait dialog. The copy itself
// is in DeviceCopy.h, the wait dialog's thread in PrepareDialogThread.h.
#pragma once

#include <string>

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
