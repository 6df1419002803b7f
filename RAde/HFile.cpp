#include "RAde/HFile.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

#include "RAde/HException.h"
#include "RAde/HFileUtilities.h"

CHFile::~CHFile()
{
    HTRY {
        Close();
    } HCATCH_LOG
}

void CHFile::Open(const std::wstring& strPath, bool bWrite)
{
    HTRY {
        OpenEx(strPath, _O_BINARY | (bWrite ? _O_CREAT | _O_RDWR : _O_RDONLY));
    } HCATCH
}

void CHFile::OpenEx(const std::wstring& strPath, int nFlags)
{
    HTRY {
        Close();
        if (nFlags & (_O_WRONLY | _O_RDWR | _O_CREAT)) {
            const std::wstring strFolder = CHFileUtilities::GetPathFromFilename(strPath);
            if (!strFolder.empty())
                CHFileUtilities::BuildDirectory(strFolder);
        } else {
            // Reported as the system reports a missing file, not as errno.
            CHFileUtilities::CheckFileExists(strPath);
        }
        int nDescriptor = ::_wopen(CHFileUtilities::GetUnicodePath(strPath).c_str(), nFlags, _S_IREAD | _S_IWRITE);
        if (nDescriptor == -1) {
            int nErrno = errno;
            throw CHException::FromErrno(nErrno, HSITE).AddValue(L"File", strPath);
        }
        m_nDescriptor = nDescriptor;
    } HCATCH
}

void CHFile::CheckFileOpen() const
{
    HTRY {
        if (!IsOpen())
            throw CHException(HError::FileNotOpen, HSITE);
    } HCATCH
}

void CHFile::WriteBytes(const void* pData, size_t nCount)
{
    HTRY {
        CheckFileOpen();
        const char* pBytes = static_cast<const char*>(pData);
        // _write takes an unsigned int count and answers with an int.
        while (nCount > 0) {
            unsigned int nChunk = static_cast<unsigned int>(std::min<size_t>(nCount, INT_MAX));
            int nWritten = ::_write(m_nDescriptor, pBytes, nChunk);
            if (nWritten < 0) {
                int nErrno = errno;
                throw CHException::FromErrno(nErrno, HSITE);
            }
            if (nWritten == 0)
                throw CHException::FromErrno(ENOSPC, HSITE);
            pBytes += nWritten;
            nCount -= static_cast<size_t>(nWritten);
        }
    } HCATCH
}

void CHFile::Close()
{
    HTRY {
        if (!IsOpen())
            return;
        // Closed or not, the descriptor is no longer ours.
        int nDescriptor = std::exchange(m_nDescriptor, -1);
        if (::_close(nDescriptor) != 0) {
            int nErrno = errno;
            throw CHException::FromErrno(nErrno, HSITE);
        }
    } HCATCH
}
