#include "PhoneStorage.h"

#include <algorithm>
#include <cwctype>
#include <string_view>

#include "InstallerShim/PortableDeviceApi.h"
#include "RAde/HUniqueHandle.h"
#include "SimulatedPhoneConfig.h"

namespace SimulatedPhone {

namespace {

bool EndsWithNoCase(const std::wstring& strText, const std::wstring& strEnd)
{
    return strText.size() > strEnd.size() &&
           ::CompareStringOrdinal(strText.c_str() + strText.size() - strEnd.size(), static_cast<int>(strEnd.size()),
                                  strEnd.c_str(), static_cast<int>(strEnd.size()), TRUE) == CSTR_EQUAL;
}

// The phone's listing order: by name without regard to case, then with it.
bool ListedBefore(const CPhoneObject& a, const CPhoneObject& b)
{
    const int nNoCase = ::CompareStringOrdinal(a.strName.c_str(), -1, b.strName.c_str(), -1, TRUE);
    if (nNoCase != CSTR_EQUAL)
        return nNoCase == CSTR_LESS_THAN;
    return a.strName < b.strName;
}

// The text of a small file (sidecars and generated-file descriptions).
HRESULT ReadSmallFile(const std::wstring& strPath, std::string& text)
{
    CHFileHandle file(::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return HRESULT_FROM_WIN32(::GetLastError());
    char buffer[64] = {};
    DWORD cbRead = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof(buffer), &cbRead, nullptr))
        return HRESULT_FROM_WIN32(::GetLastError());
    text.assign(buffer, cbRead);
    return S_OK;
}

std::string Trimmed(const std::string& text)
{
    const size_t nFirst = text.find_first_not_of(" \t\r\n");
    if (nFirst == std::string::npos)
        return std::string();
    return text.substr(nFirst, text.find_last_not_of(" \t\r\n") - nFirst + 1);
}

// A decimal byte count; anything else is a mistake in the test's folder.
HRESULT ParseCount(const std::string& text, ULONGLONG& nCount)
{
    const std::string strDigits = Trimmed(text);
    if (strDigits.empty() || strDigits.size() > 19 ||
        !std::all_of(strDigits.begin(), strDigits.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    nCount = std::stoull(strDigits);
    return S_OK;
}

}  // namespace

std::wstring LongPath(const std::wstring& strPath)
{
    std::wstring strLong = strPath;
    std::replace(strLong.begin(), strLong.end(), L'/', L'\\');
    if (strLong.size() >= 3 && strLong[1] == L':' && strLong[2] == L'\\')
        return L"\\\\?\\" + strLong;
    return strLong;
}

CPhoneStorage::CPhoneStorage(const std::wstring& strFolder, const CPhoneOptions& options) : m_options(options)
{
    if (strFolder.empty())
        return;
    std::wstring strPath = LongPath(strFolder);
    while (strPath.size() > 1 && strPath.back() == L'\\')
        strPath.pop_back();
    m_storage = CPhoneObject{CPhoneObject::EKind::Storage, kStorageId, L"Internal storage", strPath, strPath};
}

std::optional<CPhoneObject> CPhoneStorage::Find(const std::wstring& strId) const
{
    if (strId == Wpd::DeviceObjectId)
        return CPhoneObject{CPhoneObject::EKind::Device, Wpd::DeviceObjectId, L"Simulated phone", L"", L""};
    if (strId == kStorageId)
        return m_storage;
    if (strId.size() < 2 || strId[0] != L'o' || !std::all_of(strId.begin() + 1, strId.end(), ::iswdigit))
        return std::nullopt;
    const size_t nIndex = std::wcstoul(strId.c_str() + 1, nullptr, 10);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (nIndex == 0 || nIndex > m_objects.size())
        return std::nullopt;
    return m_objects[nIndex - 1];
}

HRESULT CPhoneStorage::ListChildren(const CPhoneObject& parent, std::vector<std::wstring>& ids)
{
    if (parent.kind == CPhoneObject::EKind::Device) {
        if (m_storage)
            ids.push_back(m_storage->strId);
        return S_OK;
    }
    if (parent.IsFile())
        return S_OK;

    WIN32_FIND_DATAW data = {};
    CHFindHandle find(::FindFirstFileExW((parent.strDiskPath + L"\\*").c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, 0));
    if (!find)
        return HRESULT_FROM_WIN32(::GetLastError());
    std::vector<CPhoneObject> children;
    do {
        const std::wstring strDiskName = data.cFileName;
        if (strDiskName == L"." || strDiskName == L".." || EndsWithNoCase(strDiskName, kSizeSuffix))
            continue;
        CPhoneObject child{CPhoneObject::EKind::File, L"", strDiskName, parent.strDiskPath + L"\\" + strDiskName, L""};
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            child.kind = CPhoneObject::EKind::Folder;
        } else if (EndsWithNoCase(strDiskName, kGeneratedSuffix)) {
            child.kind = CPhoneObject::EKind::GeneratedFile;
            child.strName.resize(strDiskName.size() - std::wstring_view(kGeneratedSuffix).size());
        }
        child.strShownPath = parent.strDiskPath + L"\\" + child.strName;
        children.push_back(std::move(child));
    } while (::FindNextFileW(find.Get(), &data));

    std::sort(children.begin(), children.end(), ListedBefore);
    for (CPhoneObject& child : children)
        ids.push_back(IdFor(std::move(child)));
    return S_OK;
}

std::wstring CPhoneStorage::IdFor(CPhoneObject&& object)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_indexByDiskPath.find(object.strDiskPath);
    if (it == m_indexByDiskPath.end()) {
        object.strId = L"o" + std::to_wstring(m_objects.size() + 1);
        it = m_indexByDiskPath.emplace(object.strDiskPath, m_objects.size()).first;
        m_objects.push_back(std::move(object));
    }
    return m_objects[it->second].strId;
}

HRESULT CPhoneStorage::ReportedSize(const CPhoneObject& object, std::optional<ULONGLONG>& size) const
{
    std::string text;
    const std::wstring strSidecar = object.strShownPath + kSizeSuffix;
    if (::GetFileAttributesW(strSidecar.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ULONGLONG nLength = 0;
        const HRESULT hr = ContentLength(object, nLength);
        size = nLength;
        return hr;
    }
    HRESULT hr = ReadSmallFile(strSidecar, text);
    if (FAILED(hr))
        return hr;
    if (Trimmed(text) == kNoSize) {
        size.reset();
        return S_OK;
    }
    ULONGLONG nSize = 0;
    hr = ParseCount(text, nSize);
    size = nSize;
    return hr;
}

HRESULT CPhoneStorage::ContentLength(const CPhoneObject& object, ULONGLONG& nLength)
{
    nLength = 0;
    switch (object.kind) {
    case CPhoneObject::EKind::File: {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (!::GetFileAttributesExW(object.strDiskPath.c_str(), GetFileExInfoStandard, &data))
            return HRESULT_FROM_WIN32(::GetLastError());
        nLength = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return S_OK;
    }
    case CPhoneObject::EKind::GeneratedFile: {
        std::string text;
        const HRESULT hr = ReadSmallFile(object.strDiskPath, text);
        return FAILED(hr) ? hr : ParseCount(text, nLength);
    }
    default:
        return S_OK;
    }
}

}  // namespace SimulatedPhone
