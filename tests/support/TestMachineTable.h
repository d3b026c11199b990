// The machine the tests describe: its sensors and LEDs, the SMBIOS table
// that lists them and the simulated service processor's matching setup.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
    // The smaller machine of the tests under Wine: two voltages (+12 V at
    // index 0, CPU core at 1), two fans, one temperature and three LEDs
    // (Power 0x1, Fault 0x2, Disk 0x4); no other management device.
    static TestMachineSpec Small();
};

std::vector<uint8_t> BuildTestTable(const TestMachineSpec& spec);
svcpsim::MachineSetup BuildTestSetup(const TestMachineSpec& spec);
