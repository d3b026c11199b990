/* A kernel driver that stands in for the service processor's driver under
   Wine: one device, reachable through the service processor's device
   interface class, answering the 96-byte I/O control exchange.

   Wine's kernel emulation has no bus driver to report this device, so the
   device object reports itself: it answers the plug-and-play identity
   queries (a root-enumerated device ID and instance 0000) that
   IoRegisterDeviceInterface makes to build the interface's path. The test
   prefix must hold HKLM\System\CurrentControlSet\Enum\ROOT\SVCPSIM\0000 with
   ClassGUID set to the interface class; without it Wine treats the node as a
   phantom and no longer registers the interface from the second session on.

   At this stage the answer is fixed: the request's bytes in reverse order,
   which shows that the request arrived whole and the answer went back whole. */
#include <ddk/wdm.h>

#define SVCP_PACKET_SIZE 96
#define SVCP_IOCTL_EXCHANGE 0x80772004u /* device 0x8077, function 0x801, buffered */

static const GUID kServiceProcessorInterface = {
    0xff1a9a71, 0xa14d, 0x4a6b, {0xa7, 0x78, 0x76, 0xa5, 0x41, 0xa7, 0x8f, 0x1a}};

static const WCHAR kDeviceId[] = L"ROOT\\SVCPSIM";
static const WCHAR kInstanceId[] = L"0000";

static UNICODE_STRING g_interfaceName;

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
    (void)device;
    if (code != SVCP_IOCTL_EXCHANGE) {
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if (inLength != SVCP_PACKET_SIZE || outLength < SVCP_PACKET_SIZE || buffer == NULL) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    /* Buffered I/O: request and answer share the system buffer. */
    for (ULONG i = 0; i < SVCP_PACKET_SIZE / 2; ++i) {
        UCHAR byte = buffer[i];
        buffer[i] = buffer[SVCP_PACKET_SIZE - 1 - i];
        buffer[SVCP_PACKET_SIZE - 1 - i] = byte;
    }
    return Complete(irp, STATUS_SUCCESS, SVCP_PACKET_SIZE);
}

/* A copy of `text` in pool memory, which the caller of the query frees. */
static WCHAR* PoolString(const WCHAR* text, SIZE_T bytes) {
    WCHAR* copy = (WCHAR*)ExAllocatePool(PagedPool, bytes);
    if (copy != NULL) {
        RtlCopyMemory(copy, text, bytes);
    }
    return copy;
}

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    WCHAR* answer = NULL;
    (void)device;
    if (stack->MinorFunction != IRP_MN_QUERY_ID) {
        /* Not ours to answer: leave the IRP's status as the sender set it. */
        NTSTATUS status = irp->IoStatus.Status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    switch (stack->Parameters.QueryId.IdType) {
        case BusQueryDeviceID:
            answer = PoolString(kDeviceId, sizeof(kDeviceId));
            break;
        case BusQueryInstanceID:
            answer = PoolString(kInstanceId, sizeof(kInstanceId));
            break;
        default: {
            NTSTATUS status = irp->IoStatus.Status;
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            return status;
        }
    }
    if (answer == NULL) {
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    return Complete(irp, STATUS_SUCCESS, (ULONG_PTR)answer);
}

static void NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    if (g_interfaceName.Buffer != NULL) {
        IoSetDeviceInterfaceState(&g_interfaceName, FALSE);
        RtlFreeUnicodeString(&g_interfaceName);
    }
    RtlInitUnicodeString(&link, L"\\DosDevices\\SvcpSim");
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != NULL) {
        IoDeleteDevice(driver->DeviceObject);
    }
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    (void)registryPath;

    RtlInitUnicodeString(&name, L"\\Device\\SvcpSim");
    RtlInitUnicodeString(&link, L"\\DosDevices\\SvcpSim");
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->DriverUnload = Unload;
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;

    status = IoRegisterDeviceInterface(device, &kServiceProcessorInterface, NULL, &g_interfaceName);
    if (NT_SUCCESS(status)) {
        status = IoSetDeviceInterfaceState(&g_interfaceName, TRUE);
    }
    if (!NT_SUCCESS(status)) {
        Unload(driver);
        return status;
    }
    return STATUS_SUCCESS;
}
