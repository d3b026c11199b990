// CreateFileW and DeviceIoControl, on device paths only, and the I/O-control
// code composition of winioctl.h.
//
// A device path names a device interface listed by SetupAPI (win/setupapi.h);
// the drivers behind the paths are registered in device_registry.h. Handles
// from CreateFileW are closed with CloseHandle (win/kernel32.h). All functions
// are thread-safe; one handle may be used by several threads at once, and the
// driver then sees their calls concurrently.
//
// Fault injection: see platform_seams.h. CreateFileW and DeviceIoControl can
// be made to fail with a chosen last-error code (0 included).
#pragma once

#include "win/types.h"

extern "C" {

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u

#define OPEN_EXISTING 3u

#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

// winioctl.h: an I/O-control code is the device type, the required access, the
// function and the transfer method packed into 32 bits.
#define METHOD_BUFFERED 0u
#define FILE_ANY_ACCESS 0u
#define CTL_CODE(DeviceType, Function, Method, Access) \
    (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))

// Opens the device at `fileName`. Only OPEN_EXISTING is supported; security
// attributes, access and template are accepted and not checked;
// FILE_FLAG_OVERLAPPED fails with ERROR_NOT_SUPPORTED (I/O is synchronous).
// Share mode 0 asks for exclusive use: it fails with ERROR_SHARING_VIOLATION
// while any other handle to the device is open, and while it is held every
// other open fails so. Opens with a nonzero share mode coexist. An unknown or
// removed path fails with ERROR_FILE_NOT_FOUND. Returns INVALID_HANDLE_VALUE
// on failure.
SVCP_PLATFORM_API HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                            LPSECURITY_ATTRIBUTES securityAttributes,
                                            DWORD creationDisposition, DWORD flagsAndAttributes,
                                            HANDLE templateFile);

// Sends one I/O-control request to the driver behind `device` and blocks until
// the driver has answered. Buffered transfer, as METHOD_BUFFERED: the driver
// works on a private copy of the input, and on success the first
// *bytesReturned bytes of its answer are copied to `output` (input and output
// may be the same buffer); on failure nothing is copied and *bytesReturned is
// 0. Returns FALSE with the last error set: the driver's error code,
// ERROR_INVALID_HANDLE for a handle that is not an open device,
// ERROR_DEVICE_NOT_CONNECTED once the device has been removed,
// ERROR_NOT_SUPPORTED with an OVERLAPPED structure, ERROR_INVALID_PARAMETER for
// a null bytesReturned or a null buffer with a nonzero size.
SVCP_PLATFORM_API BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID input,
                                              DWORD inputSize, LPVOID output, DWORD outputSize,
                                              LPDWORD bytesReturned, LPOVERLAPPED overlapped);

}  // extern "C"
