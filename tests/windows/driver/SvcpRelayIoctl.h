/* The relay driver's control interface, shared by the driver (C, kernel) and
   the relay host (C++, user mode).

   The driver publishes the service processor's interface (instance 0000, and
   0001 on demand) and a control device, \\.\SvcpSimControl. A relay host
   opens the control device, attaches, and keeps a NEXT request pending; each
   96-byte exchange the library sends to an interface completes that NEXT
   with the request's bytes and an id, and stays pending until the host
   answers it with COMPLETE (the response bytes, or a Win32 error code the
   library's call then fails with). With no host attached the library's call
   fails at once with ERROR_DEVICE_NOT_CONNECTED. A host that holds a
   request for 3 s, or has no NEXT pending for 3 s, counts as gone: the
   driver detaches it, as if it had sent DETACH.

   Every control code is METHOD_BUFFERED, FILE_ANY_ACCESS, device type
   FILE_DEVICE_UNKNOWN. */
#ifndef SVCP_RELAY_IOCTL_H
#define SVCP_RELAY_IOCTL_H

#define SVCP_RELAY_CONTROL_PATH L"\\\\.\\SvcpSimControl"
#define SVCP_RELAY_PACKET_SIZE 96

/* Makes the caller's file object the host (one at a time: a second host
   fails with ERROR_BUSY). Closing that handle detaches it. */
#define SVCP_RELAY_IOCTL_ATTACH 0x00222400u
/* Output: SVCP_RELAY_REQUEST. Pends until a library request arrives; fails
   with ERROR_OPERATION_ABORTED when the host is detached or the call is
   cancelled. Only the attached file object may ask. */
#define SVCP_RELAY_IOCTL_NEXT 0x00222404u
/* Input: SVCP_RELAY_RESPONSE. Completes the library request with that id;
   ERROR_NOT_FOUND when it is no longer waiting (cancelled). */
#define SVCP_RELAY_IOCTL_COMPLETE 0x00222408u
/* Detaches the host, from any handle: waiting library requests fail with
   ERROR_DEVICE_NOT_CONNECTED, the host's pending NEXT with
   ERROR_OPERATION_ABORTED. */
#define SVCP_RELAY_IOCTL_DETACH 0x0022240Cu
/* Input: SVCP_RELAY_INTERFACE. Enables or disables an interface instance
   (0 or 1); instance 0 is enabled when the driver starts, 1 is not. */
#define SVCP_RELAY_IOCTL_SET_INTERFACE 0x00222410u

typedef struct SVCP_RELAY_REQUEST {
    unsigned int id;
    unsigned int instance; /* the interface the request came through */
    unsigned char packet[SVCP_RELAY_PACKET_SIZE];
} SVCP_RELAY_REQUEST;

typedef struct SVCP_RELAY_RESPONSE {
    unsigned int id;
    unsigned int error; /* 0: answer with `packet`; else this Win32 error */
    unsigned char packet[SVCP_RELAY_PACKET_SIZE];
} SVCP_RELAY_RESPONSE;

typedef struct SVCP_RELAY_INTERFACE {
    unsigned int instance;
    unsigned int enabled;
} SVCP_RELAY_INTERFACE;

#endif
