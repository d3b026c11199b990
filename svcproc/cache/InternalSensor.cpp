#include "svcproc/cache/InternalSensor.h"

#include "svcproc/service/POSSystem.h"

InternalSensor::InternalSensor() : m_Information(), m_Values(0) {}

InternalSensor::InternalSensor(const CSensorInformation& information)
    : m_Information(information), m_Values(0) {}

InternalSensor::InternalSensor(const InternalSensor& other)
    : m_Information(other.m_Information), m_Values(other.LoadValues()) {}

InternalSensor& InternalSensor::operator=(const InternalSensor& other) {
    if (this != &other) {
        m_Information = other.m_Information;
        m_Values.store(other.LoadValues(), std::memory_order_release);
    }
    return *this;
}

bool InternalSensor::IsExcludedChassisFan() const {
    if (!CPOSSystem::GetInstance().IsBios84()) {
        return false;
    }
    return m_Information.Description == L"Chassis Fan";
}

void InternalSensor::SetReading(LONG reading) {
    // Replace the reading half only; retried when a concurrent writer got in
    // between, so its state survives.
    uint64_t values = m_Values.load(std::memory_order_relaxed);
    while (!m_Values.compare_exchange_weak(values, Pack(StateOf(values), reading),
                                           std::memory_order_acq_rel, std::memory_order_relaxed)) {
    }
}

void InternalSensor::SetState(LONG state, LONG reading) {
    m_Values.store(Pack(state, reading), std::memory_order_release);
}

uint64_t InternalSensor::Pack(LONG state, LONG reading) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(state)) << 32) |
           static_cast<uint32_t>(reading);
}
