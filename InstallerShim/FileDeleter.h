// Deletes the files staged for the installer, on a worker thread, behind the
// skinned wait dialog in the installation's language, once the installer's
// answer allows it.
//
// Only paths of the staged set are deleted: below the medium's folder that
// listed them or in the installer's working folder, and not below a link
// there (a staged path that is a link goes as the link alone). Of those,
// only paths on the base directory's drive are deleted: the path's and the
// base directory's drive letters must be the same character ("c" and "C"
// differ); any other path is skipped without notice. A path that does not
// exist is only logged. The first path that cannot be deleted (a read-only
// single file, a file in use) ends the deletion: the paths after it stay,
// and the dialog shows the failure until the user closes it.
#pragma once

#include <string>
#include <vector>

#include "InstallerShim/HWaitDialog.h"
#include "RAde/HWorkerThreadHost.h"

// The folders that hold the staged set: the medium's folder, whose
// "autorun.inf" listed the paths below it, and the installer's working
// folder (the paths in it, and that folder itself).
struct CStagingFolders
{
    std::wstring strMedium;
    std::wstring strInstallerWorkingFolder;
};

class CFileDeleter : public CHWorkerThreadHost
{
public:
    CFileDeleter() = default;
    // Waits for the worker before the paths it reads and the dialog it ends
    // are destroyed: the process does not end while a deletion still runs.
    ~CFileDeleter() override;

    // The paths of a delete list that may be deleted at all: absolute (a
    // drive or a share), without a ".." segment, not a drive's or a share's
    // root, and in the staged set's folders. Every other path is dropped with
    // a warning in the log; empty entries are dropped silently.
    static std::vector<std::wstring> KeepDeletablePaths(const std::vector<std::wstring>& paths,
                                                        const CStagingFolders& folders);
    // The drive rule: both paths begin with a drive letter, the same
    // character ("c" and "C" differ); a share path is on no drive.
    static bool IsOnDriveOf(const std::wstring& strPath, const std::wstring& strBaseDirectory);

protected:
    void WorkerProc(DWORD dwParameter) override;

    CHWaitDialog m_waitDialog;
    std::vector<std::wstring> m_paths;
    std::wstring m_baseDirectory;
    // What the dialog shows when a deletion fails (empty: the error's own
    // text), and its button's caption then; taken from the skin beforehand,
    // so that the worker never reads the skin.
    std::wstring m_strFailureMessage;
    std::wstring m_strCloseButton;
    CStagingFolders m_folders;

private:
    friend void RunFileDeleter(CFileDeleter& deleter, const std::vector<std::wstring>& paths,
                               const std::wstring& strBaseDirectory, const std::wstring& strLanguage,
                               const CStagingFolders& folders);

    bool IsOnBaseDrive(const std::wstring& strPath) const { return IsOnDriveOf(strPath, m_baseDirectory); }
    // The link below the staged set's folder that the path lies below, or "".
    std::wstring LinkAbove(const std::wstring& strPath) const;
    void DeletePaths();
};

// The deletion's wait dialog in the installation's language: the skin
// ("SkinningConfig.xml" of the current directory) read and applied, the
// dialog's caption and message from it, the dialog's options taken anew (the
// deleter is built before the skin is read), and the images of its form read
// now, before the deletion may take the skin's folder away. A preview of the
// dialog draws it at another DPI scale, and may read it right to left
// whatever the language.
void PrepareDeletionDialog(CHWaitDialog& dialog, const std::wstring& strLanguage,
                           float fDpiScale = CHDialogAppeareaceDef::ScreenDpiScale(), bool bRightToLeft = false);

// Deletes the paths behind the wait dialog: reads the skin ("SkinningConfig.xml"
// of the current directory) in the installation's language, starts the
// deleter's worker from the temporary directory (so that the current
// directory can go too) and runs the dialog; returns when the dialog has
// closed, which may be before the worker has finished. The deleter is the
// entry point's g_fileDeleter, whose destruction at exit waits for the worker.
void RunFileDeleter(CFileDeleter& deleter, const std::vector<std::wstring>& paths, const std::wstring& strBaseDirectory,
                    const std::wstring& strLanguage, const CStagingFolders& folders);
