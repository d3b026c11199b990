// A machine for end-to-end tests: an SMBIOS table served by the WMI provider
// and a simulated service processor behind its driver, describing the same
// sensors and LEDs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "TestMachineTable.h"
#include "sim/sp/SimDevice.h"
#include "sim/sp/SimServiceProcessor.h"

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
