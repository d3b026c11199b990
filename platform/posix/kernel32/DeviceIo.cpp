// CreateFileW and DeviceIoControl on the device interfaces of the providers.
#include <cstring>
#include <vector>

#include "HandleTable.h"
#include "device_registry.h"
#include "platform_seams.h"
#include "win/fileapi.h"
#include "win/kernel32.h"

namespace svcp {
namespace {

// What a handle from CreateFileW names: one open of a device interface.
class DeviceFile : public KernelObject {
public:
    DeviceFile(std::shared_ptr<DeviceNode> node, bool exclusive)
        : m_pNode(std::move(node)), m_bExclusive(exclusive) {}
    DeviceNode& Node() const { return *m_pNode; }
    void OnHandleClosed() override { m_pNode->Close(m_bExclusive); }

private:
    const std::shared_ptr<DeviceNode> m_pNode;
    const bool m_bExclusive;
};

// Answers up to this size are buffered on the stack.
constexpr DWORD kStackBufferSize = 256;

}  // namespace
}  // namespace svcp

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD, DWORD shareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                                     DWORD flagsAndAttributes, HANDLE) {
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::CreateFileW, &failure)) {
        SetLastError(failure);
        return INVALID_HANDLE_VALUE;
    }
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (creationDisposition != OPEN_EXISTING || (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    try {
        std::shared_ptr<svcp::DeviceNode> node = svcp::FindDeviceInterface(fileName);
        if (!node) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        const bool exclusive = shareMode == 0;
        const DWORD result = node->Open(exclusive);
        if (result != ERROR_SUCCESS) {
            SetLastError(result);
            return INVALID_HANDLE_VALUE;
        }
        try {
            return svcp::InsertHandle(std::make_shared<svcp::DeviceFile>(node, exclusive));
        } catch (const std::bad_alloc&) {
            node->Close(exclusive);
            throw;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

extern "C" BOOL WINAPI DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID input,
                                       DWORD inputSize, LPVOID output, DWORD outputSize,
                                       LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    uint32_t failure = 0;
    if (SvcpTakeFailure(SvcpCall::DeviceIoControl, &failure)) {
        SetLastError(failure);
        return FALSE;
    }
    // The table's lock is released once the lookup returns; the reference
    // keeps the open alive if another thread closes the handle meanwhile.
    auto file = svcp::LookupHandleAs<svcp::DeviceFile>(device);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (bytesReturned == nullptr || (input == nullptr && inputSize != 0) ||
        (output == nullptr && outputSize != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    // The system buffer: the input, then the driver's answer in its place.
    const DWORD size = inputSize > outputSize ? inputSize : outputSize;
    BYTE stackBuffer[svcp::kStackBufferSize];
    std::vector<BYTE> heapBuffer;
    BYTE* buffer = stackBuffer;
    if (size > svcp::kStackBufferSize) {
        try {
            heapBuffer.resize(size);
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        buffer = heapBuffer.data();
    }
    if (inputSize != 0) {
        std::memcpy(buffer, input, inputSize);
    }
    std::memset(buffer + inputSize, 0, size - inputSize);

    DWORD answered = 0;
    const DWORD result =
        file->Node().IoControl(ioControlCode, buffer, inputSize, buffer, outputSize, &answered);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return FALSE;
    }
    if (answered > outputSize) {
        answered = outputSize;  // a driver cannot hand back more than fits
    }
    if (answered != 0) {
        std::memcpy(output, buffer, answered);
    }
    *bytesReturned = answered;
    return TRUE;
}
