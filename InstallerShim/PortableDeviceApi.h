// The part of the Windows Portable Devices API that the launcher uses to
// copy its install files from a phone: the device manager, the device, its
// content, properties and resources, and the object-id enumerator, with the
// class ids, interface ids and property keys they need. MinGW ships only the
// value set and key collection interfaces (portabledevicetypes.h); these
// declarations follow the published interface definitions, method by method.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <portabledevicetypes.h>
#include <propkeydef.h>

struct IPortableDeviceContent;
struct IPortableDeviceProperties;
struct IPortableDeviceResources;
struct IEnumPortableDeviceObjectIDs;
struct IPortableDeviceCapabilities;
struct IPortableDeviceEventCallback;

struct IPortableDeviceManager : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE RefreshDeviceList() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceFriendlyName(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceFriendlyName,
                                                            DWORD* pcchDeviceFriendlyName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceDescription(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceDescription,
                                                           DWORD* pcchDeviceDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceManufacturer(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceManufacturer,
                                                            DWORD* pcchDeviceManufacturer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceProperty(LPCWSTR pszPnPDeviceID, LPCWSTR pszDevicePropertyName,
                                                        BYTE* pData, DWORD* pcbData, DWORD* pdwType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPrivateDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) = 0;
};

struct IPortableDevice : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Open(LPCWSTR pszPnPDeviceID, IPortableDeviceValues* pClientInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendCommand(DWORD dwFlags, IPortableDeviceValues* pParameters,
                                                  IPortableDeviceValues** ppResults) = 0;
    virtual HRESULT STDMETHODCALLTYPE Content(IPortableDeviceContent** ppContent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Capabilities(IPortableDeviceCapabilities** ppCapabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(DWORD dwFlags, IPortableDeviceEventCallback* pCallback,
                                             IPortableDeviceValues* pParameters, LPWSTR* ppszCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(LPCWSTR pszCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPnPDeviceID(LPWSTR* ppszPnPDeviceID) = 0;
};

struct IPortableDeviceContent : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE EnumObjects(DWORD dwFlags, LPCWSTR pszParentObjectID,
                                                  IPortableDeviceValues* pFilter,
                                                  IEnumPortableDeviceObjectIDs** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE Properties(IPortableDeviceProperties** ppProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE Transfer(IPortableDeviceResources** ppResources) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateObjectWithPropertiesOnly(IPortableDeviceValues* pValues,
                                                                     LPWSTR* ppszObjectID) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateObjectWithPropertiesAndData(IPortableDeviceValues* pValues,
                                                                        IStream** ppData,
                                                                        DWORD* pdwOptimalWriteBufferSize,
                                                                        LPWSTR* ppszCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(DWORD dwOptions, IPortableDevicePropVariantCollection* pObjectIDs,
                                             IPortableDevicePropVariantCollection** ppResults) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetObjectIDsFromPersistentUniqueIDs(IPortableDevicePropVariantCollection* pPersistentUniqueIDs,
                                        IPortableDevicePropVariantCollection** ppObjectIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE Move(IPortableDevicePropVariantCollection* pObjectIDs,
                                           LPCWSTR pszDestinationFolderObjectID,
                                           IPortableDevicePropVariantCollection** ppResults) = 0;
    virtual HRESULT STDMETHODCALLTYPE Copy(IPortableDevicePropVariantCollection* pObjectIDs,
                                           LPCWSTR pszDestinationFolderObjectID,
                                           IPortableDevicePropVariantCollection** ppResults) = 0;
};

struct IEnumPortableDeviceObjectIDs : public IUnknown
{
    // S_FALSE with fewer ids than asked when the enumeration ends.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cObjects, LPWSTR* pObjIDs, ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cObjects) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumPortableDeviceObjectIDs** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
};

struct IPortableDeviceProperties : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetSupportedProperties(LPCWSTR pszObjectID,
                                                             IPortableDeviceKeyCollection** ppKeys) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyAttributes(LPCWSTR pszObjectID, REFPROPERTYKEY Key,
                                                            IPortableDeviceValues** ppAttributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetValues(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys,
                                                IPortableDeviceValues** ppValues) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetValues(LPCWSTR pszObjectID, IPortableDeviceValues* pValues,
                                                IPortableDeviceValues** ppResults) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
};

struct IPortableDeviceResources : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetSupportedResources(LPCWSTR pszObjectID,
                                                            IPortableDeviceKeyCollection** ppKeys) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResourceAttributes(LPCWSTR pszObjectID, REFPROPERTYKEY Key,
                                                            IPortableDeviceValues** ppResourceAttributes) = 0;
    // dwMode 0 (STGM_READ) opens for reading; the device reports the
    // transfer size it works best with.
    virtual HRESULT STDMETHODCALLTYPE GetStream(LPCWSTR pszObjectID, REFPROPERTYKEY Key, DWORD dwMode,
                                                DWORD* pdwOptimalBufferSize, IStream** ppStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE Delete(LPCWSTR pszObjectID, IPortableDeviceKeyCollection* pKeys) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateResource(IPortableDeviceValues* pResourceAttributes, IStream** ppData,
                                                     DWORD* pdwOptimalWriteBufferSize, LPWSTR* ppszCookie) = 0;
};

__CRT_UUID_DECL(IPortableDeviceManager, 0xa1567595, 0x4c2f, 0x4574, 0xa6, 0xfa, 0xec, 0xef, 0x91, 0x7b, 0x9a, 0x40)
__CRT_UUID_DECL(IPortableDevice, 0x625e2df8, 0x6392, 0x4cf0, 0x9a, 0xd1, 0x3c, 0xfa, 0x5f, 0x17, 0x77, 0x5c)
__CRT_UUID_DECL(IPortableDeviceContent, 0x6a96ed84, 0x7c73, 0x4480, 0x99, 0x38, 0xbf, 0x5a, 0xf4, 0x77, 0xd4, 0x26)
__CRT_UUID_DECL(IEnumPortableDeviceObjectIDs, 0x10ece955, 0xcf41, 0x4728, 0xbf, 0xa0, 0x41, 0xee, 0xdf, 0x1b, 0xbf,
                0x19)
__CRT_UUID_DECL(IPortableDeviceProperties, 0x7f6d695c, 0x03df, 0x4439, 0xa8, 0x09, 0x59, 0x26, 0x6b, 0xee, 0xe3, 0xa6)
__CRT_UUID_DECL(IPortableDeviceResources, 0xfd8878ac, 0xd841, 0x4d17, 0x89, 0x1c, 0xe6, 0x82, 0x9c, 0xdb, 0x69, 0x34)

// Class ids, property keys and fixed object ids.
namespace Wpd {

inline constexpr CLSID CLSID_DeviceManager = {
    0x0af10cec, 0x2ecd, 0x4b92, {0x95, 0x81, 0x34, 0xf6, 0xae, 0x06, 0x37, 0xf3}};
inline constexpr CLSID CLSID_Device = {0x728a21c5, 0x3d9e, 0x48d7, {0x98, 0x10, 0x86, 0x48, 0x48, 0xf0, 0xf4, 0x04}};
inline constexpr CLSID CLSID_ValueSet = {0x0c15d503, 0xd017, 0x47ce, {0x90, 0x16, 0x7b, 0x3f, 0x97, 0x87, 0x21, 0xcc}};
inline constexpr CLSID CLSID_KeyCollection = {
    0xde2d022d, 0x2480, 0x43be, {0x97, 0xf0, 0xd1, 0xfa, 0x2c, 0xf9, 0x8f, 0x4f}};

inline constexpr IID IID_DeviceManager = {0xa1567595, 0x4c2f, 0x4574, {0xa6, 0xfa, 0xec, 0xef, 0x91, 0x7b, 0x9a, 0x40}};
inline constexpr IID IID_Device = {0x625e2df8, 0x6392, 0x4cf0, {0x9a, 0xd1, 0x3c, 0xfa, 0x5f, 0x17, 0x77, 0x5c}};
inline constexpr IID IID_ValueSet = {0x6848f6f2, 0x3155, 0x4f86, {0xb6, 0xf5, 0x26, 0x3e, 0xee, 0xab, 0x31, 0x43}};
inline constexpr IID IID_KeyCollection = {0xdada2357, 0xe0ad, 0x492e, {0x98, 0xdb, 0xdd, 0x61, 0xc5, 0x3b, 0xa3, 0x53}};

// The client information a device is opened with.
inline constexpr GUID kClientInformation = {
    0x204d9f0c, 0x2292, 0x4080, {0x9f, 0x42, 0x40, 0x66, 0x4e, 0x70, 0xf8, 0x59}};
inline constexpr PROPERTYKEY ClientName = {kClientInformation, 2};
inline constexpr PROPERTYKEY ClientMajorVersion = {kClientInformation, 3};
inline constexpr PROPERTYKEY ClientMinorVersion = {kClientInformation, 4};
inline constexpr PROPERTYKEY ClientRevision = {kClientInformation, 5};

// Object properties.
inline constexpr GUID kObjectProperties = {
    0xef6b490d, 0x5cd8, 0x437a, {0xaf, 0xfc, 0xda, 0x8b, 0x60, 0xee, 0x4a, 0x3c}};
inline constexpr PROPERTYKEY ObjectSize = {kObjectProperties, 11};
inline constexpr PROPERTYKEY ObjectOriginalFileName = {kObjectProperties, 12};

// An object's content, read through IPortableDeviceResources::GetStream.
inline constexpr PROPERTYKEY ResourceDefault = {
    {0xe81e79be, 0x34f0, 0x41bf, {0xb5, 0x3f, 0xf1, 0xa0, 0x6a, 0xe8, 0x78, 0x42}}, 0};

// The root object of every device.
inline constexpr wchar_t DeviceObjectId[] = L"DEVICE";

}  // namespace Wpd
