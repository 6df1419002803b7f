// What one opened simulated device holds: its root object "DEVICE", one
// storage whose content is a folder's tree (or none for a locked phone), the
// object ids handed out so far, and the options read when it was opened.
// Shared by the device's content, properties, resources and enumerators; any
// thread may use it.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace SimulatedPhone {

struct CPhoneOptions
{
    DWORD dwNextLimit = 0;  // 0: none
    DWORD dwReadLimit = 0;  // 0: none
    DWORD dwReadDelayMs = 0;
    DWORD dwOptimalTransferSize = 0;
    ULONGLONG nFailReadAt = ~0ull;  // reads from this stream position on fail
};

struct CPhoneObject
{
    enum class EKind
    {
        Device,
        Storage,
        Folder,
        File,
        GeneratedFile
    };

    EKind kind = EKind::Device;
    std::wstring strId;
    std::wstring strName;       // as the phone shows it
    std::wstring strDiskPath;   // the folder or file behind it (a generated file's ".hsgen" file)
    std::wstring strShownPath;  // the folder's path joined with the shown name (its ".hssize" sidecar's stem)

    bool IsFile() const { return kind == EKind::File || kind == EKind::GeneratedFile; }
};

class CPhoneStorage
{
public:
    // strFolder: the folder whose tree the storage shows; empty: the device shows no storage.
    CPhoneStorage(const std::wstring& strFolder, const CPhoneOptions& options);

    const CPhoneOptions& Options() const { return m_options; }

    // The object an id names, or nothing for an unknown id.
    std::optional<CPhoneObject> Find(const std::wstring& strId) const;
    // The ids of an object's children in the phone's order (a file has none).
    HRESULT ListChildren(const CPhoneObject& parent, std::vector<std::wstring>& ids);

    // The size the phone reports: the sidecar's, else the true content length
    // (0 for folders); nothing when the sidecar says "none".
    HRESULT ReportedSize(const CPhoneObject& object, std::optional<ULONGLONG>& size) const;
    // How many bytes the object's stream delivers.
    static HRESULT ContentLength(const CPhoneObject& object, ULONGLONG& nLength);

private:
    // The id of a listed child, assigned on its first listing.
    std::wstring IdFor(CPhoneObject&& object);

    CPhoneOptions m_options;
    std::optional<CPhoneObject> m_storage;
    mutable std::mutex m_mutex;
    std::vector<CPhoneObject> m_objects;  // m_objects[n] has the id "o<n+1>"
    std::map<std::wstring, size_t> m_indexByDiskPath;
};

// The path in its long form (\\?\C:\...), so deep trees work.
std::wstring LongPath(const std::wstring& strPath);

}  // namespace SimulatedPhone
