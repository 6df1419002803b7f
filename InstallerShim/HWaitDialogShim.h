// The "Preparing installation" dialog of the device path: the wait dialog
// under a type of its own, shown by the thread that exists only to show it
// while the install files are copied from the phone.
#pragma once

#include "InstallerShim/HWaitDialog.h"

class CHWaitDialogShim : public CHWaitDialog
{
public:
    CHWaitDialogShim() = default;
    ~CHWaitDialogShim() override = default;
};
