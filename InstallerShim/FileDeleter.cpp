#include "InstallerShim/FileDeleter.h"

#include "RAde/HException.h"
#include "RAde/HLogging.h"

CFileDeleter::~CFileDeleter()
{
    HTRY {
        StopWorkerThread();
    } HCATCH_LOG
}

void CFileDeleter::WorkerProc(DWORD)
{
    HTRY {
    } HCATCH
}

void RunFileDeleter(CFileDeleter& deleter, const std::vector<std::wstring>& paths,
                    const std::wstring& strBaseDirectory, const std::wstring&)
{
    HTRY {
        // The deletion behind the skinned wait dialog is not part of this
        // launcher yet: the staged files stay where they are.
        deleter.m_paths = paths;
        deleter.m_baseDirectory = strBaseDirectory;
        CHLogging::Log({HLOG_DEBUG, false}, L"Deleting staged files is not available; %d paths left in place.\n",
                       static_cast<int>(paths.size()));
    } HCATCH
}
