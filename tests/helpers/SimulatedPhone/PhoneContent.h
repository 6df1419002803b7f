// An opened simulated device's content: enumeration of objects, their
// properties and their content streams. The three interfaces are views of the
// same storage; only the reading side is implemented (the phone is read-only).
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "InstallerShim/PortableDeviceApi.h"
#include "PhoneComObject.h"
#include "PhoneStorage.h"

namespace SimulatedPhone {

class CPhoneContent : public CPhoneComObject<IPortableDeviceContent>
{
public:
    explicit CPhoneContent(std::shared_ptr<CPhoneStorage> storage) : m_storage(std::move(storage)) {}

    // Lists the parent's children as they are now (flags and filter are not used).
    STDMETHODIMP EnumObjects(DWORD dwFlags, LPCWSTR pszParentObjectID, IPortableDeviceValues* pFilter,
                             IEnumPortableDeviceObjectIDs** ppEnum) override;
    STDMETHODIMP Properties(IPortableDeviceProperties** ppProperties) override;
    STDMETHODIMP Transfer(IPortableDeviceResources** ppResources) override;
    STDMETHODIMP CreateObjectWithPropertiesOnly(IPortableDeviceValues* pValues, LPWSTR* ppszObjectID) override;
    STDMETHODIMP CreateObjectWithPropertiesAndData(IPortableDeviceValues* pValues, IStream** ppData,
                                                   DWORD* pdwOptimalWriteBufferSize, LPWSTR* ppszCookie) override;
    STDMETHODIMP Delete(DWORD dwOptions, IPortableDevicePropVariantCollection* pObjectIDs,
                        IPortableDevicePropVariantCollection** ppResults) override;
    STDMETHODIMP GetObjectIDsFromPersistentUniqueIDs(IPortableDevicePropVariantCollection* pPersistentUniqueIDs,
                                                     IPortableDevicePropVariantCollection** ppObjectIDs) override;
    STDMETHODIMP Cancel() override;
    STDMETHODIMP Move(IPortableDevicePropVariantCollection* pObjectIDs, LPCWSTR pszDestinationFolderObjectID,
                      IPortableDevicePropVariantCollection** ppResults) override;
    STDMETHODIMP Copy(IPortableDevicePropVariantCollection* pObjectIDs, LPCWSTR pszDestinationFolderObjectID,
                      IPortableDevicePropVariantCollection** ppResults) override;

private:
    std::shared_ptr<CPhoneStorage> m_storage;
};

// Object ids in a fixed order; Next hands out at most the storage's next limit
// per call and answers S_OK only when it delivered as many as were asked.
class CPhoneObjectIds : public CPhoneComObject<IEnumPortableDeviceObjectIDs>
{
public:
    CPhoneObjectIds(std::vector<std::wstring> ids, DWORD dwNextLimit)
        : m_ids(std::move(ids)), m_dwNextLimit(dwNextLimit)
    {
    }

    STDMETHODIMP Next(ULONG cObjects, LPWSTR* pObjIDs, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cObjects) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPortableDeviceObjectIDs** ppEnum) override;
    STDMETHODIMP Cancel() override;

private:
    const std::vector<std::wstring> m_ids;
    const DWORD m_dwNextLimit;
    std::mutex m_mutex;
    size_t m_nNext = 0;
};

// Reads an object's name ("DEVICE" and the storage have names too), original
// file name and size. A property the object does not have comes back as a
// VT_ERROR value and makes GetValues answer S_FALSE.
class CPhoneProperties : public CPhoneComObject<IPortableDeviceProperties>
{
public:
    explicit CPhoneProperties(std::shared_ptr<CPhoneStorage> storage) : m_storage(std::move(storage)) {}

    STDMETHODIMP GetSupportedProperties(LPCWSTR pszObjectID, IPortableDeviceKeyCollection** ppKeys) override;
    STDMETHODIMP GetPropertyAttributes(LPCWSTR pszObjectID, REFPROPERTYKEY Key,
                                       IPortableDeviceValues** ppAttributes) override;
    STDMETHODIMP GetValues(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys,
                           IPortableDeviceValues** ppValues) override;
    STDMETHODIMP SetValues(LPCWSTR pszObjectID, IPortableDeviceValues* pValues,
                           IPortableDeviceValues** ppResults) override;
    STDMETHODIMP Delete(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys) override;
    STDMETHODIMP Cancel() override;

private:
    // Stores the object's value of key in values, or says why there is none.
    HRESULT ReadProperty(const CPhoneObject& object, REFPROPERTYKEY key, IPortableDeviceValues* pValues) const;

    std::shared_ptr<CPhoneStorage> m_storage;
};

// Opens a file object's default resource for reading.
class CPhoneResources : public CPhoneComObject<IPortableDeviceResources>
{
public:
    explicit CPhoneResources(std::shared_ptr<CPhoneStorage> storage) : m_storage(std::move(storage)) {}

    STDMETHODIMP GetSupportedResources(LPCWSTR pszObjectID, IPortableDeviceKeyCollection** ppKeys) override;
    STDMETHODIMP GetResourceAttributes(LPCWSTR pszObjectID, REFPROPERTYKEY Key,
                                       IPortableDeviceValues** ppResourceAttributes) override;
    STDMETHODIMP GetStream(LPCWSTR pszObjectID, REFPROPERTYKEY Key, DWORD dwMode, DWORD* pdwOptimalBufferSize,
                           IStream** ppStream) override;
    STDMETHODIMP Delete(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys) override;
    STDMETHODIMP Cancel() override;
    STDMETHODIMP CreateResource(IPortableDeviceValues* pResourceAttributes, IStream** ppData,
                                DWORD* pdwOptimalWriteBufferSize, LPWSTR* ppszCookie) override;

private:
    std::shared_ptr<CPhoneStorage> m_storage;
};

}  // namespace SimulatedPhone
