// The device copy: what the device path reads from a phone and how it lands
// in local files. Object ids with their names and sizes, one device stream
// into one file, and one device folder, recursively, into a local folder.
// Which device and which objects are copied is the staging's choice
// (DeviceStaging.h).
#pragma once

#include <windows.h>

#include <objidl.h>

#include <optional>
#include <string>
#include <vector>

#include "RAde/HUniqueHandle.h"

struct IPortableDeviceContent;
struct IPortableDeviceProperties;
struct IPortableDeviceKeyCollection;

// ---------------------------------------------------------------------------
// Object ids and properties

// The ids of an object's first nMax children in the device's order; fewer
// when there are no more, none when they cannot be listed.
std::vector<CHCoTaskMemString> ChildObjectIds(IPortableDeviceContent* pContent, LPCWSTR pszParentId, ULONG nMax);

// The keys the launcher reads of every object; none when the collection cannot be made.
CHComPtr<IPortableDeviceKeyCollection> NameAndSizeKeys();

struct CObjectInfo
{
    std::wstring strName;
    ULONGLONG nSize = 0;  // 0: the device reported none
};

// An object's file name and size; nothing when its values cannot be read.
std::optional<CObjectInfo> ReadObjectInfo(IPortableDeviceProperties* pProperties, IPortableDeviceKeyCollection* pKeys,
                                          LPCWSTR pszObjectId);

// ---------------------------------------------------------------------------
// Copies

// Streams one device object into strFile (created with dwCreationDisposition,
// no sharing), piece by piece, until a read delivers nothing. nReportedSize
// is the size the device reported (0: none): a stream that ends short of it
// or runs past it is written as it came and logged as a warning. Returns
// false, touching nothing, when dwCreationDisposition is CREATE_NEW and the
// file exists. A read that fails throws with the device's HRESULT, as do
// local failures; a file this call opened is removed before either leaves,
// so no partial copy stays (and an existing file that CREATE_NEW refused was
// never opened, so it stays as it was).
bool CopyDeviceStreamToFile(IStream* pStream, const std::wstring& strFile, DWORD dwCreationDisposition,
                            DWORD dwOptimalTransferSize, ULONGLONG nReportedSize);

// Copies one device folder, recursively, into strDestination.
void CopyDeviceFolder(LPCWSTR pszObjectId, IPortableDeviceContent* pContent, IPortableDeviceProperties* pProperties,
                      std::wstring strDestination);

// ---------------------------------------------------------------------------
// The pieces of the device copy, reachable by the tests

// True when a name that a device reports for one of its objects may be
// joined into a local path: not empty, no path separator, ":", "..",
// wildcard, quote, pipe or control character, no trailing dot or blank
// (Windows would drop it and write another name), and not a reserved device
// name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9, LPT0 to LPT9 and
// the superscript-digit COM and LPT names, with or without an extension).
bool IsSafeDeviceFileName(const std::wstring& strName);

// The size of the pieces a stream is copied in: the device's optimal
// transfer size, kept between 64 KiB and 8 MiB (0 means 1 MiB).
DWORD DeviceTransferPieceSize(DWORD dwOptimalTransferSize);
