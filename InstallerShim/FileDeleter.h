// Deletes the files staged for the installer, on a worker thread, once the
// installer's answer allows it.
#pragma once

#include <string>
#include <vector>

#include "RAde/HWorkerThreadHost.h"

class CFileDeleter : public CHWorkerThreadHost
{
public:
    CFileDeleter() = default;
    // Stops the worker before the paths it reads are destroyed.
    ~CFileDeleter() override;

protected:
    void WorkerProc(DWORD dwParameter) override;

private:
    friend void RunFileDeleter(CFileDeleter& deleter, const std::vector<std::wstring>& paths,
                               const std::wstring& strBaseDirectory, const std::wstring& strLanguage);

    std::vector<std::wstring> m_paths;
    std::wstring m_baseDirectory;
};

// Deletes the paths (only those on the base directory's drive) on the
// deleter's worker, behind a wait dialog in the installation's language;
// returns when the dialog has closed. The deleter is the entry point's
// g_fileDeleter, whose destruction at exit waits for a deletion still running.
void RunFileDeleter(CFileDeleter& deleter, const std::vector<std::wstring>& paths,
                    const std::wstring& strBaseDirectory, const std::wstring& strLanguage);
