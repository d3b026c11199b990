#include "svcproc/cache/InternalLed.h"

InternalLed::InternalLed() : m_bState(false), m_Information() {}

InternalLed::InternalLed(const CLedInformation& information)
    : m_bState(false), m_Information(information) {}

InternalLed::InternalLed(const InternalLed& other)
    : m_bState(other.m_bState.load(std::memory_order_acquire)),
      m_Information(other.m_Information) {}

InternalLed& InternalLed::operator=(const InternalLed& other) {
    if (this != &other) {
        m_bState.store(other.m_bState.load(std::memory_order_acquire), std::memory_order_release);
        m_Information = other.m_Information;
    }
    return *this;
}
