// SetupAPI subset: enumeration of the present interfaces of one device
// interface class and their device paths.
//
// A device-information set is a snapshot taken by SetupDiGetClassDevsW of the
// interfaces registered at that moment (device_registry.h); devices that
// arrive or leave later do not change it. Every function is thread-safe; one
// set may be used from several threads until it is destroyed.
//
// Fault injection: see platform_seams.h. SetupDiGetClassDevsW,
// SetupDiEnumDeviceInterfaces and SetupDiGetDeviceInterfaceDetailW can be made
// to fail with a chosen last-error code.
#pragma once

#include "win/types.h"

#ifndef ANYSIZE_ARRAY
#define ANYSIZE_ARRAY 1
#endif

extern "C" {

typedef PVOID HDEVINFO;

// Only interface-class enumeration is supported: DIGCF_DEVICEINTERFACE must be
// given. Every registered interface is present, so DIGCF_PRESENT changes
// nothing.
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_DEVICEINTERFACE 0x00000010u

// Flags of SP_DEVICE_INTERFACE_DATA.
#define SPINT_ACTIVE 0x00000001u

// Accepted as a parameter type only: every call here requires it to be null.
typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

// The caller sets cbSize to sizeof(SP_DEVICE_INTERFACE_DATA) (28 bytes on a
// 32-bit build, 32 on 64-bit hosts). Reserved identifies the interface within
// its set.
typedef struct _SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

// Variable length: DevicePath runs to the end of the caller's buffer. cbSize
// must be the size of the fixed part, which is what sizeof gives: Windows
// computes it as offsetof(DevicePath) + sizeof(WCHAR) rounded to the
// structure's packing (6 on 32-bit Windows, 8 on 64-bit Windows). Here WCHAR
// is 4 bytes, so it is 8.
typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[ANYSIZE_ARRAY];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

// The interfaces of class *classGuid present now. Enumerator must be null;
// the window is ignored. Returns INVALID_HANDLE_VALUE with the last error set
// on failure (ERROR_INVALID_PARAMETER for a null class, ERROR_INVALID_FLAGS
// for flags other than the two above or without DIGCF_DEVICEINTERFACE).
SVCP_PLATFORM_API HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator,
                                                       HWND parent, DWORD flags);

// Fills *interfaceData for the interface at memberIndex (0-based) among those
// of class *interfaceClassGuid in the set. FALSE with ERROR_NO_MORE_ITEMS past
// the last one, ERROR_INVALID_USER_BUFFER when interfaceData->cbSize is
// wrong, ERROR_INVALID_HANDLE for an unknown set.
SVCP_PLATFORM_API BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet,
                                                          PSP_DEVINFO_DATA deviceInfoData,
                                                          const GUID* interfaceClassGuid,
                                                          DWORD memberIndex,
                                                          PSP_DEVICE_INTERFACE_DATA interfaceData);

// The device path of an enumerated interface, by the two-call protocol: with
// a buffer too small (or none, size 0) it fails with ERROR_INSUFFICIENT_BUFFER
// and sets *requiredSize; with a big enough buffer whose cbSize is
// sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) it copies the terminated path.
// A wrong cbSize, or a null buffer with a nonzero size, fails with
// ERROR_INVALID_USER_BUFFER. requiredSize may be null.
SVCP_PLATFORM_API BOOL WINAPI
SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                 PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfoData);

// Releases the set; FALSE with ERROR_INVALID_HANDLE for an unknown one.
SVCP_PLATFORM_API BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet);

}  // extern "C"
