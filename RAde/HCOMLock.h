// An in-process lock on a critical section: serialises the threads of one
// process, re-entrant for the thread that holds it.
#pragma once

#include <windows.h>

#include "RAde/HLock.h"

class CHCOMLock : public CHLock
{
public:
    // Throws the framework error when the critical section cannot be set up.
    CHCOMLock();
    ~CHCOMLock() override;

    // Waits for the critical section; always true.
    bool Lock() override;
    void Unlock() override;

private:
    CRITICAL_SECTION m_section;
};
