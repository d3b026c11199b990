#include "snapshot/ServiceCodeAdvice.h"

#include "svcproc/api/ServiceCodeText.h"

namespace {

const char* Advice(SERVICE_CODE code) {
    switch (code) {
        case ServiceCode_Success:
            return "";
        case ServiceCode_NotInitialised:
            return "Check the result InitialiseServiceDriver returned.";
        case ServiceCode_SmbiosUnreadable:
            return "Check that the WMI service is running and that the class "
                   "MSSMBios_RawSMBiosTables in ROOT\\WMI has an instance; the log (level 1) "
                   "names the failing WMI call and its HRESULT.";
        case ServiceCode_SmbiosInventoryFailed:
            return "Check that SMBIOS describes the BIOS (Type 0), the management devices "
                   "(Type 34), the service processor's sensors (Types 26-28, 35, 36) and its "
                   "LEDs (Type 128), and that the BIOS version begins with 8D, 84 or 85; the "
                   "log (level 1) says which step failed.";
        case ServiceCode_PosSystemUnavailable:
            return "Check the process's memory use and retry.";
        case ServiceCode_NoServiceProcessor:
            return "The library looks for a management device named \"Orvane Telk Service "
                   "Processor\". This machine has none the library can drive, or its BIOS does "
                   "not describe it; the log (level 3) lists the management devices found.";
        case ServiceCode_DriverUnavailable:
            return "Check that the service processor driver is installed and started, that "
                   "exactly one device interface of its class is present, and that no other "
                   "process holds the device open (it opens exclusively); the log (level 1) "
                   "names the failing call and its error code.";
        case ServiceCode_InvalidHandle:
            return "Use handles from EnumerateSensorHandles or EnumerateLedHandles.";
    }
    return "Check that the monitor and the library come from the same build.";
}

}  // namespace

ServiceCodeAdvice DescribeServiceCode(SERVICE_CODE code) {
    const ServiceApi::ServiceCodeWords words =
        ServiceApi::ServiceCodeText(static_cast<unsigned long>(code));
    return {words.Name, words.Meaning, Advice(code)};
}
