/* The relay driver that stands in for the service processor's driver under
   Wine: it publishes the service processor's device interface and hands each
   96-byte exchange to a relay host in user mode (inverted call), which runs
   the simulated service processor and sends the answer back. SvcpRelayIoctl.h
   has the control interface.

   Why a relay rather than the model in the driver: the simulator is C++ with
   the standard library, which a kernel image built with -nostdlib cannot
   carry, and its controls (readings, alerts, faults) are then called by the
   tests directly, in their own process, exactly as on Linux.

   Devices:
     \Device\SvcpSim0, \Device\SvcpSim1  the interface instances 0000 and
        0001 (0001 enabled only on request: the "two interfaces" machine)
     \Device\SvcpSimControl (\\.\SvcpSimControl)  the relay host's side

   Wine's kernel emulation has no bus driver to report these devices, so each
   interface device reports itself: it answers the plug-and-play identity
   queries (device ID ROOT\SVCPSIM, its instance ID) that
   IoRegisterDeviceInterface makes to build the interface's path. The prefix
   must hold HKLM\System\CurrentControlSet\Enum\ROOT\SVCPSIM\000n with
   ClassGUID set to the interface class; without it Wine treats the node as a
   phantom and no longer registers the interface from the second session on.

   Queues: library requests waiting for the host, library requests handed to
   the host (awaiting its answer) and the host's pending NEXT calls. All
   three are guarded by the cancel spin lock, so that a cancel routine (which
   runs holding it) and the queue operations exclude each other: an IRP whose
   cancel routine is still set while the lock is held is owned by its queue.

   A host that goes away without detaching (its process killed, or Wine not
   sending the cleanup of its handle) must not leave the library's calls
   waiting: a watchdog thread detaches a host that holds a request longer
   than the exchange timeout, or that has had no NEXT pending for that long,
   so that its requests fail and a new host may attach. The watchdog counts
   its own periods rather than reading a clock. */
#include <ddk/wdm.h>

#include "SvcpRelayIoctl.h"

/* Exported by ntoskrnl, not declared by mingw-w64's wdm.h. */
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                              PLARGE_INTEGER timeout);

#define SVCP_IOCTL_EXCHANGE 0x80772004u /* device 0x8077, function 0x801, buffered */
#define SVCP_INSTANCES 2
#define SVCP_WATCH_PERIOD_MS 100
/* Watch periods a request may wait for the host, and a host may go without
   asking: generous, as the 32-bit suite runs under emulation. */
#define SVCP_EXCHANGE_TIMEOUT_PERIODS 30

static const GUID kServiceProcessorInterface = {
    0xff1a9a71, 0xa14d, 0x4a6b, {0xa7, 0x78, 0x76, 0xa5, 0x41, 0xa7, 0x8f, 0x1a}};

static const WCHAR kDeviceId[] = L"ROOT\\SVCPSIM";
static const WCHAR* const kInstanceIds[SVCP_INSTANCES] = {L"0000", L"0001"};
static const WCHAR* const kDeviceNames[SVCP_INSTANCES] = {L"\\Device\\SvcpSim0",
                                                          L"\\Device\\SvcpSim1"};
static const WCHAR kControlName[] = L"\\Device\\SvcpSimControl";
static const WCHAR kControlLink[] = L"\\DosDevices\\SvcpSimControl";

typedef struct DEVICE_EXTENSION {
    BOOLEAN control;
    ULONG instance;
    UNICODE_STRING interfaceName;
} DEVICE_EXTENSION;

static LIST_ENTRY g_waiting;    /* library IRPs not yet handed to the host */
static LIST_ENTRY g_handedOver; /* library IRPs the host is answering */
static LIST_ENTRY g_hostCalls;  /* the host's pending NEXT IRPs */
static PFILE_OBJECT g_host;     /* the attached host, or NULL */
static ULONG g_nextId;
static ULONG g_watchPeriods; /* the watchdog's periods so far */
static ULONG g_hostSeen;     /* the period the host last had a NEXT pending */
static KEVENT g_stopWatch;
static HANDLE g_watchThread;

/* The id of a library IRP lives in its driver context. */
#define IRP_ID(irp) ((ULONG)(ULONG_PTR)(irp)->Tail.Overlay.DriverContext[0])
#define IRP_INSTANCE(irp) ((ULONG)(ULONG_PTR)(irp)->Tail.Overlay.DriverContext[1])
/* The watch period a library IRP arrived in. */
#define IRP_ARRIVED(irp) ((ULONG)(ULONG_PTR)(irp)->Tail.Overlay.DriverContext[2])
#define SET_IRP_CONTEXT(irp, slot, value) \
    ((irp)->Tail.Overlay.DriverContext[slot] = (PVOID)(ULONG_PTR)(value))

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* Win32 error codes travel as NTSTATUS values of the Win32 facility, which
   the I/O manager turns back into the same error for the caller. */
static NTSTATUS StatusFromWin32(ULONG error) {
    return (NTSTATUS)(0xC0070000u | (error & 0xFFFFu));
}

static void NTAPI CancelQueued(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    Complete(irp, STATUS_CANCELLED, 0);
}

/* REQUIRES: the cancel spin lock. Queues the IRP cancellably; false when it
   is already cancelled (the caller completes it). */
static BOOLEAN Enqueue(LIST_ENTRY* queue, PIRP irp) {
    if (irp->Cancel) {
        return FALSE;
    }
    IoSetCancelRoutine(irp, CancelQueued);
    IoMarkIrpPending(irp);
    InsertTailList(queue, &irp->Tail.Overlay.ListEntry);
    return TRUE;
}

/* REQUIRES: the cancel spin lock. Takes the first IRP of the queue, or NULL. */
static PIRP Dequeue(LIST_ENTRY* queue) {
    while (!IsListEmpty(queue)) {
        PIRP irp = CONTAINING_RECORD(queue->Flink, IRP, Tail.Overlay.ListEntry);
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        /* Under the lock no cancel routine can be running, so it is set. */
        IoSetCancelRoutine(irp, NULL);
        return irp;
    }
    return NULL;
}

/* REQUIRES: the cancel spin lock, under which the library request cannot
   be cancelled. Copies it into the host's NEXT buffer. */
static void HandOver(PIRP hostCall, PIRP request) {
    SVCP_RELAY_REQUEST* out = (SVCP_RELAY_REQUEST*)hostCall->AssociatedIrp.SystemBuffer;
    out->id = IRP_ID(request);
    out->instance = IRP_INSTANCE(request);
    RtlCopyMemory(out->packet, request->AssociatedIrp.SystemBuffer, SVCP_RELAY_PACKET_SIZE);
}

/* A library exchange on an interface device. */
static NTSTATUS ExchangeRequest(DEVICE_EXTENSION* ext, PIRP irp, PIO_STACK_LOCATION stack) {
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    PIRP hostCall = NULL;
    KIRQL irql;
    if (stack->Parameters.DeviceIoControl.IoControlCode != SVCP_IOCTL_EXCHANGE) {
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if (inLength != SVCP_RELAY_PACKET_SIZE || outLength < SVCP_RELAY_PACKET_SIZE ||
        irp->AssociatedIrp.SystemBuffer == NULL) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    IoAcquireCancelSpinLock(&irql);
    if (g_host == NULL) {
        IoReleaseCancelSpinLock(irql);
        return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    SET_IRP_CONTEXT(irp, 0, ++g_nextId);
    SET_IRP_CONTEXT(irp, 1, ext->instance);
    SET_IRP_CONTEXT(irp, 2, g_watchPeriods);
    hostCall = Dequeue(&g_hostCalls);
    if (!Enqueue(hostCall != NULL ? &g_handedOver : &g_waiting, irp)) {
        if (hostCall != NULL) {
            /* Put back: its cancel flag cannot have been set while we hold the lock. */
            Enqueue(&g_hostCalls, hostCall);
        }
        IoReleaseCancelSpinLock(irql);
        return Complete(irp, STATUS_CANCELLED, 0);
    }
    if (hostCall != NULL) {
        HandOver(hostCall, irp);
    }
    IoReleaseCancelSpinLock(irql);
    if (hostCall != NULL) {
        Complete(hostCall, STATUS_SUCCESS, sizeof(SVCP_RELAY_REQUEST));
    }
    return STATUS_PENDING;
}

static NTSTATUS NextRequest(PIRP irp, PIO_STACK_LOCATION stack) {
    PIRP request;
    KIRQL irql;
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(SVCP_RELAY_REQUEST)) {
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    IoAcquireCancelSpinLock(&irql);
    if (g_host == NULL || g_host != stack->FileObject) {
        IoReleaseCancelSpinLock(irql);
        return Complete(irp, STATUS_INVALID_DEVICE_STATE, 0);
    }
    request = Dequeue(&g_waiting);
    if (request == NULL) {
        if (!Enqueue(&g_hostCalls, irp)) {
            IoReleaseCancelSpinLock(irql);
            return Complete(irp, STATUS_CANCELLED, 0);
        }
        IoReleaseCancelSpinLock(irql);
        return STATUS_PENDING;
    }
    if (!Enqueue(&g_handedOver, request)) {
        IoReleaseCancelSpinLock(irql);
        Complete(request, STATUS_CANCELLED, 0);
        /* Nothing handed over: the host simply asks again. */
        return Complete(irp, STATUS_RETRY, 0);
    }
    HandOver(irp, request);
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_SUCCESS, sizeof(SVCP_RELAY_REQUEST));
}

static NTSTATUS CompleteRequest(PIRP irp, PIO_STACK_LOCATION stack) {
    const SVCP_RELAY_RESPONSE* in = (const SVCP_RELAY_RESPONSE*)irp->AssociatedIrp.SystemBuffer;
    PIRP request = NULL;
    LIST_ENTRY* entry;
    KIRQL irql;
    if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(SVCP_RELAY_RESPONSE) ||
        in == NULL) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    IoAcquireCancelSpinLock(&irql);
    for (entry = g_handedOver.Flink; entry != &g_handedOver; entry = entry->Flink) {
        PIRP candidate = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (IRP_ID(candidate) == in->id) {
            RemoveEntryList(entry);
            IoSetCancelRoutine(candidate, NULL);
            request = candidate;
            break;
        }
    }
    IoReleaseCancelSpinLock(irql);
    if (request == NULL) {
        return Complete(irp, STATUS_NOT_FOUND, 0);
    }
    if (in->error != 0) {
        Complete(request, StatusFromWin32(in->error), 0);
    } else {
        RtlCopyMemory(request->AssociatedIrp.SystemBuffer, in->packet, SVCP_RELAY_PACKET_SIZE);
        Complete(request, STATUS_SUCCESS, SVCP_RELAY_PACKET_SIZE);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Ends the attachment: the library's requests fail, the host's calls end.
   With `onlyFile`, only when that file object is the host. */
static void Detach(PFILE_OBJECT onlyFile) {
    LIST_ENTRY requests;
    LIST_ENTRY hostCalls;
    PIRP irp;
    KIRQL irql;
    InitializeListHead(&requests);
    InitializeListHead(&hostCalls);
    IoAcquireCancelSpinLock(&irql);
    if (onlyFile != NULL && g_host != onlyFile) {
        IoReleaseCancelSpinLock(irql);
        return;
    }
    g_host = NULL;
    while ((irp = Dequeue(&g_waiting)) != NULL) {
        InsertTailList(&requests, &irp->Tail.Overlay.ListEntry);
    }
    while ((irp = Dequeue(&g_handedOver)) != NULL) {
        InsertTailList(&requests, &irp->Tail.Overlay.ListEntry);
    }
    while ((irp = Dequeue(&g_hostCalls)) != NULL) {
        InsertTailList(&hostCalls, &irp->Tail.Overlay.ListEntry);
    }
    IoReleaseCancelSpinLock(irql);
    while (!IsListEmpty(&requests)) {
        irp = CONTAINING_RECORD(RemoveHeadList(&requests), IRP, Tail.Overlay.ListEntry);
        Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    while (!IsListEmpty(&hostCalls)) {
        irp = CONTAINING_RECORD(RemoveHeadList(&hostCalls), IRP, Tail.Overlay.ListEntry);
        Complete(irp, STATUS_CANCELLED, 0);
    }
}

/* REQUIRES: the cancel spin lock. Whether a request of the queue has waited
   longer than the exchange timeout. */
static BOOLEAN HasOverdue(const LIST_ENTRY* queue) {
    const LIST_ENTRY* entry;
    for (entry = queue->Flink; entry != queue; entry = entry->Flink) {
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (g_watchPeriods - IRP_ARRIVED(irp) > SVCP_EXCHANGE_TIMEOUT_PERIODS) {
            return TRUE;
        }
    }
    return FALSE;
}

static void NTAPI Watch(PVOID context) {
    LARGE_INTEGER period;
    (void)context;
    period.QuadPart = -10000LL * SVCP_WATCH_PERIOD_MS; /* relative, in 100 ns */
    while (KeWaitForSingleObject(&g_stopWatch, Executive, KernelMode, FALSE, &period) ==
           STATUS_TIMEOUT) {
        PFILE_OBJECT gone = NULL;
        KIRQL irql;
        IoAcquireCancelSpinLock(&irql);
        ++g_watchPeriods;
        if (g_host != NULL) {
            if (!IsListEmpty(&g_hostCalls)) {
                g_hostSeen = g_watchPeriods;
            }
            if (HasOverdue(&g_waiting) || HasOverdue(&g_handedOver) ||
                g_watchPeriods - g_hostSeen > SVCP_EXCHANGE_TIMEOUT_PERIODS) {
                gone = g_host;
            }
        }
        IoReleaseCancelSpinLock(irql);
        if (gone != NULL) {
            Detach(gone);
        }
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static NTSTATUS SetInterface(PDRIVER_OBJECT driver, PIRP irp, PIO_STACK_LOCATION stack) {
    const SVCP_RELAY_INTERFACE* in = (const SVCP_RELAY_INTERFACE*)irp->AssociatedIrp.SystemBuffer;
    PDEVICE_OBJECT device;
    if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(SVCP_RELAY_INTERFACE) ||
        in == NULL || in->instance >= SVCP_INSTANCES) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    for (device = driver->DeviceObject; device != NULL; device = device->NextDevice) {
        DEVICE_EXTENSION* ext = (DEVICE_EXTENSION*)device->DeviceExtension;
        if (!ext->control && ext->instance == in->instance) {
            return Complete(irp, IoSetDeviceInterfaceState(&ext->interfaceName, in->enabled != 0),
                            0);
        }
    }
    return Complete(irp, STATUS_NOT_FOUND, 0);
}

static NTSTATUS ControlRequest(PDEVICE_OBJECT device, PIRP irp, PIO_STACK_LOCATION stack) {
    KIRQL irql;
    NTSTATUS status;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case SVCP_RELAY_IOCTL_ATTACH:
            IoAcquireCancelSpinLock(&irql);
            status = STATUS_SUCCESS;
            if (g_host != NULL && g_host != stack->FileObject) {
                status = STATUS_DEVICE_BUSY;
            } else {
                g_host = stack->FileObject;
                g_hostSeen = g_watchPeriods;
            }
            IoReleaseCancelSpinLock(irql);
            return Complete(irp, status, 0);
        case SVCP_RELAY_IOCTL_NEXT:
            return NextRequest(irp, stack);
        case SVCP_RELAY_IOCTL_COMPLETE:
            return CompleteRequest(irp, stack);
        case SVCP_RELAY_IOCTL_DETACH:
            Detach(NULL);
            return Complete(irp, STATUS_SUCCESS, 0);
        case SVCP_RELAY_IOCTL_SET_INTERFACE:
            return SetInterface(device->DriverObject, irp, stack);
        default:
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    DEVICE_EXTENSION* ext = (DEVICE_EXTENSION*)device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (ext->control) {
        return ControlRequest(device, irp, stack);
    }
    return ExchangeRequest(ext, irp, stack);
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* The last handle of a file object is closed: a host going away detaches. */
static NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
    DEVICE_EXTENSION* ext = (DEVICE_EXTENSION*)device->DeviceExtension;
    if (ext->control) {
        Detach(IoGetCurrentIrpStackLocation(irp)->FileObject);
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* A copy of `text` in pool memory, which the caller of the query frees. */
static WCHAR* PoolString(const WCHAR* text) {
    SIZE_T bytes = sizeof(WCHAR);
    const WCHAR* end;
    for (end = text; *end != 0; ++end) {
        bytes += sizeof(WCHAR);
    }
    WCHAR* copy = (WCHAR*)ExAllocatePool(PagedPool, bytes);
    if (copy != NULL) {
        RtlCopyMemory(copy, text, bytes);
    }
    return copy;
}

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    DEVICE_EXTENSION* ext = (DEVICE_EXTENSION*)device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    WCHAR* answer = NULL;
    NTSTATUS status = irp->IoStatus.Status;
    if (ext->control || stack->MinorFunction != IRP_MN_QUERY_ID) {
        /* Not ours to answer: leave the IRP's status as the sender set it. */
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }
    switch (stack->Parameters.QueryId.IdType) {
        case BusQueryDeviceID:
            answer = PoolString(kDeviceId);
            break;
        case BusQueryInstanceID:
            answer = PoolString(kInstanceIds[ext->instance]);
            break;
        default:
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            return status;
    }
    if (answer == NULL) {
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    return Complete(irp, STATUS_SUCCESS, (ULONG_PTR)answer);
}

static void NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    if (g_watchThread != NULL) {
        KeSetEvent(&g_stopWatch, IO_NO_INCREMENT, FALSE);
        ZwWaitForSingleObject(g_watchThread, FALSE, NULL);
        ZwClose(g_watchThread);
        g_watchThread = NULL;
    }
    Detach(NULL);
    RtlInitUnicodeString(&link, kControlLink);
    IoDeleteSymbolicLink(&link);
    while (driver->DeviceObject != NULL) {
        PDEVICE_OBJECT device = driver->DeviceObject;
        DEVICE_EXTENSION* ext = (DEVICE_EXTENSION*)device->DeviceExtension;
        if (ext->interfaceName.Buffer != NULL) {
            IoSetDeviceInterfaceState(&ext->interfaceName, FALSE);
            RtlFreeUnicodeString(&ext->interfaceName);
        }
        IoDeleteDevice(device);
    }
}

static NTSTATUS CreateDevice(PDRIVER_OBJECT driver, const WCHAR* name, PDEVICE_OBJECT* device) {
    UNICODE_STRING text;
    NTSTATUS status;
    RtlInitUnicodeString(&text, name);
    status = IoCreateDevice(driver, sizeof(DEVICE_EXTENSION), &text, FILE_DEVICE_UNKNOWN, 0, FALSE,
                            device);
    if (NT_SUCCESS(status)) {
        RtlZeroMemory((*device)->DeviceExtension, sizeof(DEVICE_EXTENSION));
        (*device)->Flags |= DO_BUFFERED_IO;
        (*device)->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    return status;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status;
    ULONG instance;
    (void)registryPath;

    InitializeListHead(&g_waiting);
    InitializeListHead(&g_handedOver);
    InitializeListHead(&g_hostCalls);
    g_host = NULL;
    g_watchThread = NULL;
    KeInitializeEvent(&g_stopWatch, NotificationEvent, FALSE);

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->DriverUnload = Unload;

    status = CreateDevice(driver, kControlName, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ((DEVICE_EXTENSION*)device->DeviceExtension)->control = TRUE;
    RtlInitUnicodeString(&name, kControlName);
    RtlInitUnicodeString(&link, kControlLink);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        Unload(driver);
        return status;
    }

    for (instance = 0; instance < SVCP_INSTANCES; ++instance) {
        DEVICE_EXTENSION* ext;
        status = CreateDevice(driver, kDeviceNames[instance], &device);
        if (!NT_SUCCESS(status)) {
            Unload(driver);
            return status;
        }
        ext = (DEVICE_EXTENSION*)device->DeviceExtension;
        ext->instance = instance;
        status = IoRegisterDeviceInterface(device, &kServiceProcessorInterface, NULL,
                                           &ext->interfaceName);
        /* Only instance 0000 is there from the start. */
        if (NT_SUCCESS(status)) {
            status = IoSetDeviceInterfaceState(&ext->interfaceName, instance == 0);
            if (instance != 0 && status == STATUS_OBJECT_NAME_NOT_FOUND) {
                status = STATUS_SUCCESS; /* never enabled: nothing to disable */
            }
        }
        if (!NT_SUCCESS(status)) {
            Unload(driver);
            return status;
        }
    }
    status = PsCreateSystemThread(&g_watchThread, THREAD_ALL_ACCESS, NULL, NULL, NULL, Watch, NULL);
    if (!NT_SUCCESS(status)) {
        g_watchThread = NULL;
        Unload(driver);
    }
    return status;
}
