// The machine-information extension for C: forwards to GetMachineInfo and
// copies the record, which throws nothing and allocates nothing.
#include <cstring>

#include "svcproc/api/machine/MachineInfo.h"
#include "svcproc/api/machine/svcproc_machine_c.h"

static_assert(SVCP_MACHINE_TEXT_SIZE == kMachineTextSize, "same texts as the C++ record");
static_assert(sizeof(SVCP_MACHINE_INFO) == 2 * SVCP_MACHINE_TEXT_SIZE + 4, "no padding");

SVCP_RESULT SVCP_CALL SvcpGetMachineInfo(SVCP_MACHINE_INFO* info) {
    if (info == nullptr) {
        return SVCP_INVALID_ARGUMENT;
    }
    // Read into a record of our own so that the caller's stays as it was
    // on a failure.
    CMachineInfo record{};
    const SERVICE_CODE result = ServiceApi::GetMachineInfo(record);
    if (result != ServiceCode_Success) {
        return static_cast<SVCP_RESULT>(result);
    }
    std::memcpy(info->BiosVersion, record.BiosVersion, sizeof info->BiosVersion);
    std::memcpy(info->ServiceProcessor, record.ServiceProcessor, sizeof info->ServiceProcessor);
    // The library's copy is terminated; the caller's record is, whatever happens.
    info->BiosVersion[SVCP_MACHINE_TEXT_SIZE - 1] = '\0';
    info->ServiceProcessor[SVCP_MACHINE_TEXT_SIZE - 1] = '\0';
    info->ServiceProcessorAddress = record.ServiceProcessorAddress;
    return SVCP_SUCCESS;
}
