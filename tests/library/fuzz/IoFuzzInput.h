// The input of the driver-response fuzzer, shared by the target and the seed
// maker. Every byte sequence is a valid input: what is missing reads as 0,
// and an exchange after the end of the input fails.
//
//   machine   nV nF nT nL skip tick(4, little-endian), then nL LED masks
//             (2 bytes each, big-endian). Counts are taken modulo 20 (sensors)
//             and 18 (LEDs); the sensor index equal to skip % 24 is left out
//             of every kind, so some readings name no entry.
//   answers   one per exchange, in the order the library asks (first the four
//             first reads, which find every kind stale: voltages, fans,
//             temperatures, LEDs):
//               mode  bits 0-1: 0 the call fails, 1 or 2 a built answer,
//                     3 raw (96 bytes from the input)
//                     bit 2: N = L + 1 + (int8)next byte, else N = next byte
//                     bit 3: keep the checksum byte from the input
//                     bit 4: the driver returns (next byte % 97) bytes, else 96
//               built L type N-byte flag data[L - 2 bytes at most 62]
//                     (the checksum byte is made right unless bit 3)
//   steps     op byte, then its arguments:
//               0 ReadSensor   kind (% 6) index
//               1 ReadLed      high byte, low byte (handle kind 4 unless the op
//                              byte's bit 7, then kind 3)
//               2 PollAlerts
//               3 Advance      two bytes (big-endian) milliseconds, times
//                              65536 when the op byte's bit 7 is set
//               4 Register     listener (% 3)
//               5 Unregister   listener (% 3)
//             (op % 6; answers are read between the op and what follows
//             it whenever the step makes an exchange)
//
// The answers of a step follow its arguments.
#pragma once

#include <cstdint>
#include <vector>

namespace io_fuzz {

enum Op : uint8_t {
    Op_ReadSensor = 0,
    Op_ReadLed = 1,
    Op_PollAlerts = 2,
    Op_Advance = 3,
    Op_Register = 4,
    Op_Unregister = 5,
    Op_Count = 6
};

constexpr uint8_t kModeFail = 0;
constexpr uint8_t kModeBuilt = 1;
constexpr uint8_t kModeRaw = 3;
constexpr uint8_t kModeNFromLength = 0x04;
constexpr uint8_t kModeKeepChecksum = 0x08;
constexpr uint8_t kModeShortReturn = 0x10;

// Appends the bytes of one input; for the seed maker.
class CInputWriter {
public:
    CInputWriter& Machine(uint8_t voltages, uint8_t fans, uint8_t temperatures,
                          const std::vector<uint16_t>& leds, uint8_t skip, uint32_t tick) {
        m_vBytes.insert(m_vBytes.end(),
                        {voltages, fans, temperatures, static_cast<uint8_t>(leds.size()), skip});
        for (int shift = 0; shift < 32; shift += 8) {
            m_vBytes.push_back(static_cast<uint8_t>(tick >> shift));
        }
        for (uint16_t mask : leds) {
            m_vBytes.push_back(static_cast<uint8_t>(mask >> 8));
            m_vBytes.push_back(static_cast<uint8_t>(mask));
        }
        return *this;
    }
    // A well-formed answer: N = L + 1, the checksum right.
    CInputWriter& Answer(uint8_t type, const std::vector<uint8_t>& data, bool alert) {
        m_vBytes.push_back(kModeBuilt | kModeNFromLength);
        m_vBytes.push_back(static_cast<uint8_t>(data.size() + 2));
        m_vBytes.push_back(type);
        m_vBytes.push_back(0);
        m_vBytes.push_back(alert ? 1 : 0);
        m_vBytes.insert(m_vBytes.end(), data.begin(), data.end());
        return *this;
    }
    CInputWriter& FailedAnswer() {
        m_vBytes.push_back(kModeFail);
        return *this;
    }
    CInputWriter& Step(Op op, const std::vector<uint8_t>& arguments = {}) {
        m_vBytes.push_back(op);
        m_vBytes.insert(m_vBytes.end(), arguments.begin(), arguments.end());
        return *this;
    }
    CInputWriter& Advance(uint16_t milliseconds) {
        return Step(Op_Advance,
                    {static_cast<uint8_t>(milliseconds >> 8), static_cast<uint8_t>(milliseconds)});
    }
    const std::vector<uint8_t>& Bytes() const { return m_vBytes; }

private:
    std::vector<uint8_t> m_vBytes;
};

}  // namespace io_fuzz
