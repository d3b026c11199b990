// A machine for end-to-end tests: an SMBIOS table served by the WMI provider
// and a simulated service processor behind its driver, describing the same
// sensors and LEDs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/sp/SimDevice.h"
#include "sim/sp/SimServiceProcessor.h"

struct TestSensor {
    svcpsim::SensorKind kind;
    uint8_t index;  // the OEM dword's low byte: the position in the service processor's reports
    std::string description;
    int32_t reading;  // millivolts, RPM or tenths of a degree
    // lower NC, upper NC, lower C, upper C, lower NR, upper NR; 0x8000 unknown
    std::array<uint16_t, 6> thresholds;
    uint16_t nominal = 0x8000;
    uint16_t resolution = 0x8000;
};

struct TestLed {
    uint16_t bitMap;
    std::string description;
};

struct TestMachineSpec {
    std::string biosVersion = "85.12";
    std::string deviceDescription = "Orvane Telk Service Processor";
    bool withDevice = true;       // the service processor's management device
    bool withOtherDevice = true;  // another management device before it
    bool withLeds = true;
    std::vector<TestSensor> sensors;
    std::vector<TestLed> leds;
    uint16_t ledWord = 0;

    // Two voltages, three fans (one "Chassis Fan"), two temperatures, three
    // LEDs; every reading inside its thresholds.
    static TestMachineSpec Default();
};

class TestMachine {
public:
    explicit TestMachine(const TestMachineSpec& spec = TestMachineSpec::Default());
    ~TestMachine();

    // Serves the table through WMI; registers the driver unless told not to.
    void Install(bool withDriver = true);
    svcpsim::CSimServiceProcessor& ServiceProcessor() { return *m_pServiceProcessor; }
    svcpsim::CSimDevice* Device() { return m_pDevice.get(); }
    const std::vector<uint8_t>& Table() const { return m_vTable; }
    uint32_t Exchanges(uint8_t command) const;

private:
    TestMachineSpec m_Spec;
    std::vector<uint8_t> m_vTable;
    std::shared_ptr<svcpsim::CSimServiceProcessor> m_pServiceProcessor;
    std::unique_ptr<svcpsim::CSimDevice> m_pDevice;
};

std::vector<uint8_t> BuildTestTable(const TestMachineSpec& spec);
