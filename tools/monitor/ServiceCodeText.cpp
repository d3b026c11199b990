#include "ServiceCodeText.h"

ServiceCodeText DescribeServiceCode(SERVICE_CODE code) {
    switch (code) {
        case ServiceCode_Success:
            return {"Success", "The library is initialised.", ""};
        case ServiceCode_NotInitialised:
            return {"NotInitialised", "The library has not been initialised.",
                    "Call InitialiseServiceDriver first and check its result."};
        case ServiceCode_SmbiosUnreadable:
            return {
                "SmbiosUnreadable", "The machine's SMBIOS tables could not be read.",
                "Check that the WMI service is running and that the class "
                "MSSMBios_RawSMBiosTables in ROOT\\WMI has an instance; the log (level 1) names "
                "the failing WMI call and its HRESULT."};
        case ServiceCode_SmbiosInventoryFailed:
            return {"SmbiosInventoryFailed",
                    "The SMBIOS inventory is unusable, or the BIOS family is unknown.",
                    "Check that SMBIOS describes the BIOS (Type 0), the management devices "
                    "(Type 34), the service processor's sensors (Types 26-28, 35, 36) and its "
                    "LEDs (Type 128), and that the BIOS version begins with 8D, 84 or 85; the "
                    "log (level 1) says which step failed."};
        case ServiceCode_PosSystemUnavailable:
            return {"PosSystemUnavailable", "The process ran out of memory during start-up.",
                    "Check the process's memory use and retry."};
        case ServiceCode_NoServiceProcessor:
            return {"NoServiceProcessor",
                    "SMBIOS lists no management device named \"Orvane Telk Service Processor\".",
                    "This machine has no service processor the library can drive, or its BIOS "
                    "does not describe it; the log (level 3) lists the management devices found."};
        case ServiceCode_DriverUnavailable:
            return {"DriverUnavailable", "The service processor's driver could not be opened.",
                    "Check that the service processor driver is installed and started, that "
                    "exactly one device interface of its class is present, and that no other "
                    "process holds the device open (it opens exclusively); the log (level 1) "
                    "names the failing call and its error code."};
        case ServiceCode_InvalidHandle:
            return {"InvalidHandle", "The handle names no sensor or LED of that kind.",
                    "Use handles from EnumerateSensorHandles or EnumerateLedHandles."};
    }
    return {"Unknown", "The library returned an unknown result code.",
            "Check that the monitor and the library come from the same build."};
}
