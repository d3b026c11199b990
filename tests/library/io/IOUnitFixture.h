// An I/O unit over a locked cache and the simulated service processor.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogControl.h"
#include "platform_seams.h"
#include "support/RecordingListener.h"
#include "sim/sp/SimDevice.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnit.h"

using svcpsim::SensorKind;

// Sensors 0..n-1 of each kind with these readings (SMBIOS units).
inline svcpsim::MachineSetup SmallMachine() {
    svcpsim::MachineSetup setup;
    setup.voltages = {{3300, {3000, 3600}}, {12000, {10800, 13200}}};
    setup.fans = {{2400, {500, std::nullopt}}, {1980, {400, std::nullopt}}};
    setup.temperatures = {{300, {std::nullopt, 850}}, {400, {std::nullopt, 850}}};
    setup.leds = 0x0005;
    return setup;
}

class IOUnitTest : public ::testing::Test {
protected:
    explicit IOUnitTest(const svcpsim::MachineSetup& setup = SmallMachine())
        : m_pServiceProcessor(std::make_shared<svcpsim::CSimServiceProcessor>(setup)) {
        for (unsigned short i = 0; i < setup.voltages.size(); ++i) {
            m_Cache.AddVoltage(Information(L"V"), i);
        }
        for (unsigned short i = 0; i < setup.fans.size(); ++i) {
            m_Cache.AddFan(Information(L"F"), i);
        }
        for (unsigned short i = 0; i < setup.temperatures.size(); ++i) {
            m_Cache.AddTemperature(Information(L"T"), i);
        }
        for (unsigned short mask : {0x0001, 0x0002, 0x0004}) {
            CLedInformation led;
            led.Kind = 5;
            led.BitMap = mask;
            m_Cache.AddLed(led, mask);
        }
        m_Cache.m_bLocked = true;
    }

    void SetUp() override {
        LogSetLevel(0);
        LogCaptureStart(4);
        SvcpSetTickCount(100000);
        m_pDevice = std::make_unique<svcpsim::CSimDevice>(m_pServiceProcessor);
    }
    void TearDown() override {
        m_pUnit.reset();
        m_pDevice.reset();
        LogCaptureStop();
        SvcpClearFailures();
        SvcpUnfreezeTickCount();
    }

    static CSensorInformation Information(const wchar_t* description) {
        CSensorInformation information;
        information.Description = description;
        return information;
    }

    CIOUnit& StartUnit(bool run = false) {
        m_pUnit = std::make_unique<CIOUnit>(&m_Cache);
        EXPECT_TRUE(m_pUnit->Initialise(0x2B0));
        if (run) {
            m_pUnit->PollingThread().Run();
        }
        return *m_pUnit;
    }

    uint32_t Exchanges(uint8_t command) const {
        return m_pServiceProcessor->GetCounters().exchanges[command];
    }

    CSensorReading Read(unsigned long handle) {
        CSensorReading reading{};
        EXPECT_EQ(m_pUnit->ReadSensor(handle, reading), ServiceCode_Success);
        return reading;
    }

    static std::vector<std::string> Captured(int maxLevel) {
        std::vector<std::string> texts;
        for (const LogLine& line : LogCaptured()) {
            if (line.level <= maxLevel) {
                texts.push_back(line.text);
            }
        }
        return texts;
    }

    CDataCache m_Cache;
    std::shared_ptr<svcpsim::CSimServiceProcessor> m_pServiceProcessor;
    std::unique_ptr<svcpsim::CSimDevice> m_pDevice;
    std::unique_ptr<CIOUnit> m_pUnit;
};

using Call = ListenerCall;
using Recorder = RecordingListener;
