// Opening the driver's device and exchanging packets with it, against the
// simulated service processor and a recording driver.
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "LogControl.h"
#include "SimDevice.h"
#include "device_registry.h"
#include "platform.h"
#include "platform_seams.h"
#include "support/LogCapturingTest.h"
#include "svcproc/io/DriverChannel.h"
#include "svcproc/io/SvcpPacket.h"
#include "svcproc/io/SvcpProtocol.h"

inline void PrintTo(const LogLine& line, std::ostream* out) {
    *out << "{" << line.level << ", \"" << line.text << "\"}";
}

namespace {

using svcpsim::CSimDevice;
using svcpsim::CSimServiceProcessor;
using svcpsim::SensorKind;

const std::string kEntry = "CIOUnit::InitialiseIODevice entry";
const std::string kSimPath = "\\\\?\\ROOT#SVCPSIM#0000#{ff1a9a71-a14d-4a6b-a778-76a541a78f1a}";

LogLine Count(int n) {
    return {3, "CIOUnit::InitialiseIODevice  - KsvcpInterfaceCount=" + std::to_string(n)};
}
LogLine PathLine() {
    return {3, "CIOUnit::InitialiseIODevice - KSVCP Device Path: " + kSimPath};
}

class DriverChannelTest : public LogCapturingTest {
protected:
    void TearDown() override {
        SvcpClearFailures();
        LogCapturingTest::TearDown();
    }
    // Runs the opening; the handle, if any, is closed at the end of the test.
    bool Initialise() {
        device = reinterpret_cast<HANDLE>(0x1234);
        const bool opened = SvcpInitialiseIODevice(&device);
        if (opened) {
            opens.emplace_back(device, &CloseHandle);
        }
        return opened;
    }

    std::shared_ptr<CSimServiceProcessor> sp = std::make_shared<CSimServiceProcessor>();
    HANDLE device = nullptr;
    std::vector<std::unique_ptr<void, BOOL (*)(HANDLE)>> opens;
};

// --- Opening --------------------------------------------------------------------

TEST_F(DriverChannelTest, OpensTheOnlyInterface) {
    CSimDevice sim(sp);
    ASSERT_TRUE(Initialise());
    EXPECT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{{4, kEntry},
                                    Count(1),
                                    PathLine(),
                                    {3, "CIOUnit::InitialiseBusIODevice - Initialised Ok"}}));
    SvcpPacket packet;
    EXPECT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadLeds, false, packet));
}

TEST_F(DriverChannelTest, NoInterface) {
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{
                  {4, kEntry},
                  {1, "CIOUnit::InitialiseIODevice - No Ksvcp device interface instances"}}));

    // The same once the simulator's device has gone.
    CSimDevice sim(sp);
    sim.Remove();
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(TakeLines().back().text,
              "CIOUnit::InitialiseIODevice - No Ksvcp device interface instances");
    EXPECT_EQ(device, reinterpret_cast<HANDLE>(0x1234)) << "no handle stored";
}

TEST_F(DriverChannelTest, TwoInterfacesAreTooMany) {
    CSimDevice first(sp, 0);
    CSimDevice second(sp, 1);
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{
                  {4, kEntry},
                  Count(1),
                  Count(2),
                  {1, "CIOUnit::InitialiseIODevice - Too many device interface instances"}}));

    second.Remove();
    EXPECT_TRUE(Initialise());
}

TEST_F(DriverChannelTest, ClassDevsFailure) {
    CSimDevice sim(sp);
    SvcpFailCalls(SvcpCall::SetupDiGetClassDevsW, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(TakeLines(),
              (std::vector<LogLine>{
                  {4, kEntry},
                  {1, "CIOUnit::InitialiseIODevice - SetupDiGetClassDevs failed: 0x00000008"}}));
}

TEST_F(DriverChannelTest, DetailProbeFailure) {
    CSimDevice sim(sp);
    SvcpFailCalls(SvcpCall::SetupDiGetDeviceInterfaceDetailW, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{
                               {4, kEntry},
                               Count(1),
                               {1,
                                "CIOUnit::InitialiseIODevice - SetupDiGetDeviceInterfaceDetail - "
                                "Unexpected result when probing for required buffer size "
                                "0x00000057"}}));
}

TEST_F(DriverChannelTest, DetailFailure) {
    CSimDevice sim(sp);
    SvcpFailCalls(SvcpCall::SetupDiGetDeviceInterfaceDetailW, ERROR_GEN_FAILURE, 1, 1);
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(
        TakeLines(),
        (std::vector<LogLine>{
            {4, kEntry},
            Count(1),
            {1,
             "CIOUnit::InitialiseIODevice - SetupDiGetDeviceInterfaceDetail failed 0x0000001f"}}));
}

TEST_F(DriverChannelTest, OpenFailure) {
    CSimDevice sim(sp);
    SvcpFailCalls(SvcpCall::CreateFileW, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Initialise());
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{
                               {4, kEntry},
                               Count(1),
                               PathLine(),
                               {1, "CIOUnit::InitialiseBusIODevice - Error in CreateFile: 5"}}));
}

TEST_F(DriverChannelTest, TheDeviceIsOpenedExclusively) {
    CSimDevice sim(sp);
    ASSERT_TRUE(Initialise());
    TakeLines();

    EXPECT_FALSE(Initialise());
    EXPECT_EQ(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeLines().back(),
              (LogLine{1, "CIOUnit::InitialiseBusIODevice - Error in CreateFile: 20"}));
    EXPECT_EQ(CreateFileW(sim.GetPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

    opens.clear();  // closes the first handle
    EXPECT_TRUE(Initialise());
}

// --- The exchange ---------------------------------------------------------------

// Keeps the packet the driver received.
class RecordingDriver : public svcp::IDeviceDriver {
public:
    DWORD IoControl(DWORD ioControlCode, const void* input, DWORD inputSize, void*,
                    DWORD outputSize, DWORD* bytesReturned) override {
        code = ioControlCode;
        sizes = {inputSize, outputSize};
        request.assign(static_cast<const uint8_t*>(input),
                       static_cast<const uint8_t*>(input) + inputSize);
        *bytesReturned = outputSize;
        return ERROR_SUCCESS;
    }
    DWORD code = 0;
    std::pair<DWORD, DWORD> sizes;
    std::vector<uint8_t> request;
};

TEST_F(DriverChannelTest, TheDriverGetsTheRequestOfEachCommand) {
    auto driver = std::make_shared<RecordingDriver>();
    const svcp::DeviceRegistration id =
        svcp::RegisterDevice(kGuidKsvcpInterface, L"\\\\?\\TEST#RECORD", driver);
    ASSERT_TRUE(Initialise());

    const std::pair<uint8_t, uint8_t> commands[] = {{kSvcpReadVoltages, 0x5A},
                                                    {kSvcpReadFans, 0x5E},
                                                    {kSvcpReadTemperatures, 0x5C},
                                                    {kSvcpReadLeds, 0x13},
                                                    {kSvcpPollAlerts, 0x5F}};
    for (const auto& [command, checksum] : commands) {
        const bool poll = command == kSvcpPollAlerts;
        SvcpPacket packet;
        ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, command, poll, packet));
        EXPECT_EQ(driver->code, 0x80772004u);
        EXPECT_EQ(driver->sizes, (std::pair<DWORD, DWORD>{96, 96}));
        std::vector<uint8_t> expected(96, 0);
        expected[0] = 0x02;
        expected[1] = command;
        expected[2] = checksum;
        expected[16] = 0x03;
        expected[84] = poll ? 1 : 0;
        expected[92] = 0xB0;
        expected[93] = 0x02;
        EXPECT_EQ(driver->request, expected);
    }
    opens.clear();
    svcp::RemoveDevice(id);
}

TEST_F(DriverChannelTest, AFailedCallIsAFailureEvenWithoutAnErrorCode) {
    CSimDevice sim(sp);
    ASSERT_TRUE(Initialise());
    TakeLines();
    SvcpPacket packet;

    SvcpFailCalls(SvcpCall::DeviceIoControl, 0);
    EXPECT_FALSE(SvcpRequestResponse(device, 0x2B0, kSvcpReadVoltages, false, packet));
    sp->FailExchanges(1, ERROR_GEN_FAILURE);
    EXPECT_FALSE(SvcpRequestResponse(device, 0x2B0, kSvcpReadVoltages, false, packet));
    // A request for another port base reaches no service processor.
    EXPECT_FALSE(SvcpRequestResponse(device, 0x2C0, kSvcpReadVoltages, false, packet));
    EXPECT_EQ(TakeLines(), (std::vector<LogLine>{
                               {3, "SvcpRequestResponse - Ioctl failed: Last Error=0x00000000"},
                               {3, "SvcpRequestResponse - Ioctl failed: Last Error=0x0000001f"},
                               {3, "SvcpRequestResponse - Ioctl failed: Last Error=0x0000045d"}}));
    EXPECT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadVoltages, false, packet));
    EXPECT_TRUE(TakeLines().empty());
}

// The readings of a read response as the library takes them.
std::vector<unsigned> ReadWords(const SvcpPacket& packet) {
    std::vector<unsigned> values;
    for (size_t i = 0; i < (packet.m_byResponseCount - 2u) / 2; ++i) {
        uint16_t raw = 0;
        EXPECT_TRUE(SvcpReadBE16(packet, 19 + 2 * i, &raw));
        values.push_back(raw);
    }
    return values;
}

TEST_F(DriverChannelTest, SimulatorAnswersPassTheCheckAndCarryTheValuesSet) {
    CSimDevice sim(sp);
    ASSERT_TRUE(Initialise());
    sp->SetReading(SensorKind::Voltage, 0, 12340);
    sp->SetReading(SensorKind::Fan, 2, 1234);
    sp->SetReading(SensorKind::Temperature, 1, 415);  // 41.5 degrees: 42 on the wire
    sp->SetLedState(0x0105);
    SvcpPacket packet;

    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadVoltages, false, packet));
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    EXPECT_EQ(packet.m_byResponseType, kSvcpReadVoltages);
    EXPECT_EQ(packet.m_byResponseLength, 2 + 2 * 6);
    EXPECT_EQ(packet.m_byResponseCount, packet.m_byResponseLength + 1);
    EXPECT_EQ(packet.m_dwAlertFlag, 0u);
    EXPECT_EQ(ReadWords(packet), (std::vector<unsigned>{1234, 500, 330, 120, 500, 300}));

    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadFans, false, packet));
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    EXPECT_EQ(packet.m_byResponseType, kSvcpReadFans);
    EXPECT_EQ(ReadWords(packet), (std::vector<unsigned>{3200, 2400, 1234}));

    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadTemperatures, false, packet));
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    EXPECT_EQ(packet.m_byResponseType, kSvcpReadTemperatures);
    ASSERT_EQ(packet.m_byResponseCount - 3, 3);
    EXPECT_EQ(packet.m_abResponseData[0], 48);
    EXPECT_EQ(packet.m_abResponseData[1], 42);
    EXPECT_EQ(packet.m_abResponseData[2], 25);

    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadLeds, false, packet));
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    EXPECT_EQ(packet.m_byResponseLength, 4);
    EXPECT_EQ(packet.m_byResponseCount, 5);
    uint16_t leds = 0;
    ASSERT_TRUE(SvcpReadBE16(packet, 19, &leds));
    EXPECT_EQ(leds, 0x0105);

    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpPollAlerts, true, packet));
    EXPECT_EQ(packet.m_dwAlertFlag, 0u) << "nothing beyond a threshold yet";

    sp->SetReading(SensorKind::Voltage, 1, 4400);  // below 4.5 V
    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpPollAlerts, true, packet));
    EXPECT_NE(packet.m_dwAlertFlag, 0u);
    EXPECT_TRUE(IsSvcpResponseValid(packet));
    EXPECT_EQ(packet.m_byResponseType, kSvcpReadVoltages);
    EXPECT_EQ(packet.m_byResponseLength, 4 + 2 * 6);
    uint16_t mask = 0, reading = 0;
    ASSERT_TRUE(SvcpReadBE16(packet, 19, &mask));
    ASSERT_TRUE(SvcpReadBE16(packet, 21 + 2 * 1, &reading));
    EXPECT_EQ(mask, 0x0002);
    EXPECT_EQ(reading, 440);
}

TEST_F(DriverChannelTest, TheCheckRejectsTheSimulatorsDamagedAnswers) {
    CSimDevice sim(sp);
    ASSERT_TRUE(Initialise());
    SvcpPacket packet;

    sp->CorruptChecksums(1);
    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpReadFans, false, packet));
    EXPECT_FALSE(IsSvcpResponseValid(packet));

    sp->SetReading(SensorKind::Fan, 0, 100);
    sp->AdjustByteCount(1, -(5 + 2 * 3) + 4);  // an alert of four bytes
    ASSERT_TRUE(SvcpRequestResponse(device, 0x2B0, kSvcpPollAlerts, true, packet));
    EXPECT_EQ(packet.m_byResponseCount, 4);
    EXPECT_FALSE(IsSvcpResponseValid(packet));
}

TEST_F(DriverChannelTest, ConcurrentExchangesOnOneHandle) {
    CSimDevice sim(sp);
    ASSERT_TRUE(Initialise());
    LogCaptureStop();
    constexpr int kThreads = 4;
    constexpr int kExchanges = 150;
    const uint8_t commands[kThreads] = {kSvcpReadVoltages, kSvcpReadFans, kSvcpReadTemperatures,
                                        kSvcpPollAlerts};
    sp->DelayAnswers(kThreads, 20);  // the first ones overlap in the driver
    std::atomic<int> invalid{0};
    std::atomic<bool> done{false};
    std::thread steering([&] {
        for (int32_t value = 0; !done.load(); value = (value + 700) % 6000) {
            sp->SetReading(SensorKind::Voltage, 1, value);
            sp->SetReading(SensorKind::Fan, 0, value);
        }
    });
    std::vector<std::thread> threads;
    for (uint8_t command : commands) {
        threads.emplace_back([&, command] {
            for (int i = 0; i < kExchanges; ++i) {
                SvcpPacket packet;
                const bool poll = command == kSvcpPollAlerts;
                if (!SvcpRequestResponse(device, 0x2B0, command, poll, packet) ||
                    !IsSvcpResponseValid(packet) || (!poll && packet.m_byResponseType != command)) {
                    invalid.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    done = true;
    steering.join();
    EXPECT_EQ(invalid.load(), 0);
    const svcpsim::SimCounters counters = sp->GetCounters();
    for (uint8_t command : commands) {
        EXPECT_EQ(counters.exchanges[command], unsigned(kExchanges));
    }
}

}  // namespace
