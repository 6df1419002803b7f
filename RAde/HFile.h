// An open file, as a C-runtime low-level descriptor, for writing raw bytes.
#pragma once

#include <string>

class CHFile
{
public:
    CHFile() = default;
    CHFile(const CHFile&) = delete;
    CHFile& operator=(const CHFile&) = delete;
    virtual ~CHFile();

    // Binary; with bWrite created when missing and opened for reading and
    // writing (existing content is kept), else read-only.
    void Open(const std::wstring& strPath, bool bWrite);
    // _O_* flags. Opening for writing or creating builds the missing
    // directories first; a read-only open of a missing file throws the
    // system's file-not-found error with the value "File".
    void OpenEx(const std::wstring& strPath, int nFlags);
    // Throws "File not open." (2006) when no file is open.
    void CheckFileOpen() const;
    void WriteBytes(const void* pData, size_t nCount);
    void Close();

    bool IsOpen() const { return m_nDescriptor != -1; }
    int GetDescriptor() const { return m_nDescriptor; }

private:
    int m_nDescriptor = -1;
};
