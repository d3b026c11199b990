#include "TestMachine.h"

#include "wmi_provider.h"

TestMachine::TestMachine(const TestMachineSpec& spec)
    : m_Spec(spec),
      m_vTable(BuildTestTable(spec)),
      m_pServiceProcessor(std::make_shared<svcpsim::CSimServiceProcessor>(BuildTestSetup(spec))) {}

TestMachine::~TestMachine() {
    m_pDevice.reset();
    SvcpWmiReset();
}

void TestMachine::Install(bool withDriver) {
    SvcpWmiSetSmbiosTable(m_vTable.data(), m_vTable.size());
    if (withDriver) {
        m_pDevice = std::make_unique<svcpsim::CSimDevice>(m_pServiceProcessor);
    }
}

uint32_t TestMachine::Exchanges(uint8_t command) const {
    return m_pServiceProcessor->GetCounters().exchanges[command];
}
