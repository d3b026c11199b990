// SetupAPI enumeration, CreateFileW/DeviceIoControl and the device registry.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device_registry.h"
#include "platform.h"
#include "platform_seams.h"
#include "support/ReversedBytes.h"

namespace {

constexpr GUID kClassA = {
    0x1b2c3d4e, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x01}};
constexpr GUID kClassB = {
    0x1b2c3d4e, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x02}};
constexpr DWORD kCode = CTL_CODE(0x8123, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);

// Answers by reversing the request bytes into the output; records what it saw.
class EchoDriver : public svcp::IDeviceDriver {
public:
    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        calls.fetch_add(1);
        lastCode = code;
        sameBuffer = input == output;
        if (failWith != ERROR_SUCCESS) {
            return failWith;
        }
        const DWORD n = ReverseInto(input, inputSize, output, outputSize);
        *bytesReturned = answerSize != 0 ? answerSize : n;
        return ERROR_SUCCESS;
    }
    DWORD OnOpen() override {
        opens.fetch_add(1);
        return refuseOpen;
    }
    void OnClose() override { closes.fetch_add(1); }

    std::atomic<int> calls{0}, opens{0}, closes{0};
    DWORD lastCode = 0;
    bool sameBuffer = false;
    DWORD failWith = ERROR_SUCCESS;
    DWORD answerSize = 0;
    DWORD refuseOpen = ERROR_SUCCESS;
};

// A registration removed at the end of the test.
struct Registered {
    Registered(const GUID& cls, const std::wstring& path,
               std::shared_ptr<svcp::IDeviceDriver> driver)
        : id(svcp::RegisterDevice(cls, path, std::move(driver))) {}
    ~Registered() { svcp::RemoveDevice(id); }
    svcp::DeviceRegistration id;
};

class DeviceIoTest : public ::testing::Test {
protected:
    void TearDown() override { SvcpClearFailures(); }
};

std::vector<std::wstring> EnumeratePaths(HDEVINFO set, const GUID& cls) {
    std::vector<std::wstring> paths;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &cls, index, &data)) {
            EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
            break;
        }
        EXPECT_EQ(data.InterfaceClassGuid, cls);
        DWORD required = 0;
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
        std::vector<BYTE> buffer(required);
        auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        EXPECT_TRUE(
            SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
        paths.emplace_back(detail->DevicePath);
    }
    return paths;
}

TEST_F(DeviceIoTest, ClassDevsIsASnapshotOfOneClass) {
    auto driver = std::make_shared<EchoDriver>();
    Registered a1(kClassA, L"\\\\?\\TEST#A#1", driver);
    Registered b1(kClassB, L"\\\\?\\TEST#B#1", driver);
    Registered a2(kClassA, L"\\\\?\\TEST#A#2", driver);

    HDEVINFO set =
        SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    Registered a3(kClassA, L"\\\\?\\TEST#A#3", driver);
    EXPECT_EQ(EnumeratePaths(set, kClassA),
              (std::vector<std::wstring>{L"\\\\?\\TEST#A#1", L"\\\\?\\TEST#A#2"}));
    EXPECT_TRUE(EnumeratePaths(set, kClassB).empty());
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));

    set = SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_EQ(EnumeratePaths(set, kClassA).size(), 3u);
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceIoTest, DetailFollowsTheTwoCallProtocol) {
    const std::wstring path = L"\\\\?\\ROOT#TEST#0000#{detail}";
    Registered reg(kClassA, path, std::make_shared<EchoDriver>());
    HDEVINFO set = SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));

    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    const size_t expected =
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR);
    EXPECT_EQ(required, expected);

    std::vector<BYTE> buffer(required + 16, 0xCC);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
    detail->cbSize = 6;  // the 32-bit Windows value is wrong here
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required - 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 8, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);

    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(std::wstring(detail->DevicePath), path);
    EXPECT_EQ(buffer[required], 0xCC) << "wrote past the required size";
    SetupDiDestroyDeviceInfoList(set);
}

TEST_F(DeviceIoTest, SetupApiRejectsBadArguments) {
    EXPECT_EQ(SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_PRESENT),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_DEVICEINTERFACE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    Registered reg(kClassA, L"\\\\?\\TEST#ARGS", std::make_shared<EchoDriver>());
    HDEVINFO set = SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);

    ASSERT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

HANDLE Open(const std::wstring& path, DWORD share = 0) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

TEST_F(DeviceIoTest, ShareModeZeroOpensExclusively) {
    auto driver = std::make_shared<EchoDriver>();
    Registered reg(kClassA, L"\\\\?\\TEST#EXCL", driver);
    const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;

    EXPECT_EQ(Open(L"\\\\?\\TEST#NONE"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    HANDLE first = Open(L"\\\\?\\test#excl");  // paths ignore ASCII case
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(L"\\\\?\\TEST#EXCL"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(L"\\\\?\\TEST#EXCL", shared), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(CloseHandle(first));

    HANDLE a = Open(L"\\\\?\\TEST#EXCL", shared);
    HANDLE b = Open(L"\\\\?\\TEST#EXCL", shared);
    EXPECT_NE(a, INVALID_HANDLE_VALUE);
    EXPECT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(L"\\\\?\\TEST#EXCL"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_EQ(driver->opens.load(), 3);
    EXPECT_EQ(driver->closes.load(), 3);

    driver->refuseOpen = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Open(L"\\\\?\\TEST#EXCL"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    driver->refuseOpen = ERROR_SUCCESS;
    HANDLE again = Open(L"\\\\?\\TEST#EXCL");  // a refused open holds nothing
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(DeviceIoTest, IoControlIsBuffered) {
    auto driver = std::make_shared<EchoDriver>();
    Registered reg(kClassA, L"\\\\?\\TEST#IO", driver);
    HANDLE device = Open(L"\\\\?\\TEST#IO");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);

    BYTE packet[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    DWORD returned = 99;
    ASSERT_TRUE(DeviceIoControl(device, kCode, packet, 8, packet, 8, &returned, nullptr));
    EXPECT_EQ(driver->lastCode, 0x81232004u);
    EXPECT_TRUE(driver->sameBuffer);
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(packet[0], 8);
    EXPECT_EQ(packet[7], 1);

    // Only the bytes the driver says it answered come back.
    BYTE in[4] = {1, 2, 3, 4};
    BYTE out[4] = {0, 0, 0, 0};
    driver->answerSize = 2;
    ASSERT_TRUE(DeviceIoControl(device, kCode, in, 4, out, 4, &returned, nullptr));
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 3);
    EXPECT_EQ(out[2], 0);

    // A failing driver's error is the caller's last error; nothing comes back.
    driver->failWith = ERROR_GEN_FAILURE;
    BYTE untouched[4] = {9, 9, 9, 9};
    EXPECT_FALSE(DeviceIoControl(device, kCode, in, 4, untouched, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(untouched[0], 9);

    OVERLAPPED overlapped = {};
    EXPECT_FALSE(DeviceIoControl(device, kCode, in, 4, out, 4, &returned, &overlapped));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(DeviceIoControl(event, kCode, in, 4, out, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(event);
    CloseHandle(device);
    EXPECT_FALSE(DeviceIoControl(device, kCode, in, 4, out, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(DeviceIoTest, RemovedDeviceFailsIoAndReleasesItsDriver) {
    auto driver = std::make_shared<EchoDriver>();
    std::weak_ptr<EchoDriver> watch = driver;
    const svcp::DeviceRegistration id =
        svcp::RegisterDevice(kClassA, L"\\\\?\\TEST#GONE", std::move(driver));
    ASSERT_NE(id, 0u);
    EXPECT_EQ(svcp::RegisterDevice(kClassA, L"\\\\?\\TEST#GONE", std::make_shared<EchoDriver>()),
              0u)
        << "a path is registered once";
    HANDLE device = Open(L"\\\\?\\TEST#GONE");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(svcp::RemoveDevice(id));
    EXPECT_FALSE(svcp::RemoveDevice(id));
    EXPECT_TRUE(watch.expired()) << "an open handle keeps the driver alive";
    BYTE packet[4] = {};
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(device, kCode, packet, 4, packet, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(Open(L"\\\\?\\TEST#GONE"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(CloseHandle(device));

    // The path can be registered again, and the old handle had no hold on it.
    Registered again(kClassA, L"\\\\?\\TEST#GONE", std::make_shared<EchoDriver>());
    HANDLE fresh = Open(L"\\\\?\\TEST#GONE");
    EXPECT_NE(fresh, INVALID_HANDLE_VALUE);
    CloseHandle(fresh);
}

// A driver whose first `held` calls wait until the test releases them (or
// until `releaseAt` of them are inside together); later calls pass.
class GateDriver : public svcp::IDeviceDriver {
public:
    explicit GateDriver(int heldCalls) : held(heldCalls) {}
    DWORD IoControl(DWORD, const void*, DWORD, void*, DWORD, DWORD* bytesReturned) override {
        *bytesReturned = 0;
        std::unique_lock<std::mutex> guard(lock);
        if (inside >= held) {
            return ERROR_SUCCESS;
        }
        ++inside;
        changed.notify_all();
        changed.wait(guard, [this] { return open || inside >= releaseAt; });
        return ERROR_SUCCESS;
    }
    // True when `count` calls are inside at once before the deadline.
    bool WaitInside(int count) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10), [&] { return inside >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock);
        open = true;
        changed.notify_all();
    }
    const int held;
    std::mutex lock;
    std::condition_variable changed;
    int inside = 0;
    int releaseAt = 1 << 30;
    bool open = false;
};

TEST_F(DeviceIoTest, RemoveWaitsForCallsInProgress) {
    auto driver = std::make_shared<GateDriver>(1);
    const svcp::DeviceRegistration id = svcp::RegisterDevice(kClassA, L"\\\\?\\TEST#WAIT", driver);
    const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE busy = Open(L"\\\\?\\TEST#WAIT", shared);
    HANDLE probe = Open(L"\\\\?\\TEST#WAIT", shared);

    std::thread caller([busy] {
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(busy, kCode, nullptr, 0, nullptr, 0, &returned, nullptr));
    });
    ASSERT_TRUE(driver->WaitInside(1));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        svcp::RemoveDevice(id);
        removed = true;
    });
    // Once the device refuses new I/O, RemoveDevice is waiting for the call.
    DWORD returned = 0;
    while (DeviceIoControl(probe, kCode, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        std::this_thread::yield();
    }
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(removed.load());
    driver->Release();
    caller.join();
    remover.join();
    EXPECT_TRUE(removed.load());
    CloseHandle(busy);
    CloseHandle(probe);
}

TEST_F(DeviceIoTest, CallsOnOneHandleReachTheDriverConcurrently) {
    auto driver = std::make_shared<GateDriver>(3);
    driver->releaseAt = 3;  // no call returns until three are inside together
    Registered reg(kClassA, L"\\\\?\\TEST#CONC", driver);
    HANDLE device = Open(L"\\\\?\\TEST#CONC");
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([device] {
            DWORD returned = 0;
            EXPECT_TRUE(DeviceIoControl(device, kCode, nullptr, 0, nullptr, 0, &returned, nullptr));
        });
    }
    const bool together = driver->WaitInside(3);
    driver->Release();  // never leave the threads stuck
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(together) << "calls were serialised";
    CloseHandle(device);
}

TEST_F(DeviceIoTest, SeamsFailEachCallWithTheChosenCode) {
    Registered reg(kClassA, L"\\\\?\\TEST#SEAM", std::make_shared<EchoDriver>());

    SvcpFailCalls(SvcpCall::SetupDiGetClassDevsW, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_DEVICEINTERFACE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);

    HDEVINFO set = SetupDiGetClassDevsW(&kClassA, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    SvcpFailCalls(SvcpCall::SetupDiEnumDeviceInterfaces, ERROR_GEN_FAILURE);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));

    SvcpFailCalls(SvcpCall::SetupDiGetDeviceInterfaceDetailW, ERROR_INVALID_PARAMETER, 1, 1);
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);  // skipped
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetupDiDestroyDeviceInfoList(set);

    SvcpFailCalls(SvcpCall::CreateFileW, ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(L"\\\\?\\TEST#SEAM"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    HANDLE device = Open(L"\\\\?\\TEST#SEAM");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);

    SvcpFailCalls(SvcpCall::DeviceIoControl, 0, 2);
    BYTE packet[4] = {};
    DWORD returned = 7;
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_FALSE(DeviceIoControl(device, kCode, packet, 4, packet, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(returned, 0u);
    EXPECT_FALSE(DeviceIoControl(device, kCode, packet, 4, packet, 4, &returned, nullptr));
    EXPECT_TRUE(DeviceIoControl(device, kCode, packet, 4, packet, 4, &returned, nullptr));
    CloseHandle(device);
}

// Another source of devices, as a later provider will be.
class OneDeviceProvider : public svcp::IDeviceProvider {
public:
    OneDeviceProvider()
        : node(std::make_shared<svcp::DeviceNode>(kClassB, L"\\\\?\\OTHER#0",
                                                  std::make_shared<EchoDriver>())) {}
    void ListInterfaces(const GUID& cls,
                        std::vector<std::shared_ptr<svcp::DeviceNode>>& nodes) override {
        if (cls == node->InterfaceClass()) {
            nodes.push_back(node);
        }
    }
    std::shared_ptr<svcp::DeviceNode> FindInterface(const std::wstring& path) override {
        return path == node->Path() ? node : nullptr;
    }
    std::shared_ptr<svcp::DeviceNode> node;
};

TEST_F(DeviceIoTest, ProvidersAddDevicesAfterTheRegisteredOnes) {
    Registered reg(kClassB, L"\\\\?\\TEST#FIRST", std::make_shared<EchoDriver>());
    auto provider = std::make_shared<OneDeviceProvider>();
    svcp::AddDeviceProvider(provider);
    svcp::AddDeviceProvider(provider);

    HDEVINFO set = SetupDiGetClassDevsW(&kClassB, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    EXPECT_EQ(EnumeratePaths(set, kClassB),
              (std::vector<std::wstring>{L"\\\\?\\TEST#FIRST", L"\\\\?\\OTHER#0"}));
    SetupDiDestroyDeviceInfoList(set);
    HANDLE device = Open(L"\\\\?\\OTHER#0");
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    CloseHandle(device);

    svcp::RemoveDeviceProvider(provider);
    EXPECT_EQ(Open(L"\\\\?\\OTHER#0"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
