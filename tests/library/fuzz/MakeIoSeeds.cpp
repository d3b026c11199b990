// Writes the seeds of the driver-response fuzzer's corpus:
//   io_fuzz_seeds <folder>
// Each is a short, well-formed session (answers with right checksums) that
// reaches one family of rules; the fuzzer mutates from there. The files are
// kept in tests/library/fuzz/corpus/io_responses with the regression inputs.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "IoFuzzInput.h"

using namespace io_fuzz;

namespace {

constexpr uint8_t kVoltages = 0xA6;
constexpr uint8_t kFans = 0xA2;
constexpr uint8_t kTemperatures = 0xA4;
constexpr uint8_t kLeds = 0xED;

// Two sensors of each kind, three LEDs, and the four first reads answered.
CInputWriter Started(uint32_t tick = 100000) {
    CInputWriter input;
    input.Machine(2, 2, 2, {0x0001, 0x0002, 0x0004}, 23, tick)
        .Answer(kVoltages, {0x01, 0x2C, 0x00, 0x64}, false)
        .Answer(kFans, {0x09, 0x60, 0x07, 0xBC}, false)
        .Answer(kTemperatures, {0x1E, 0x28}, false)
        .Answer(kLeds, {0x00, 0x05}, false);
    return input;
}

std::vector<uint8_t> Reads() {
    CInputWriter input = Started();
    input
        .Step(Op_ReadSensor, {1, 0})  // fresh: no exchange
        .Advance(500)
        .Step(Op_ReadSensor, {1, 1})
        .Answer(kVoltages, {0x19, 0x9A, 0x00, 0x01}, false)  // 6554: 65540 in full
        .Step(Op_ReadSensor, {2, 0})
        .Answer(kFans, {0x00, 0x10}, false)  // one reading short of the map
        .Step(Op_ReadSensor, {3, 1})
        .Answer(kVoltages, {0x00, 0x10}, false)  // wrong type: nothing changes
        .Step(Op_ReadLed, {0x00, 0x02})
        .Answer(kLeds, {0x00, 0x02}, false)
        .Step(Op_ReadSensor, {4, 0})  // an LED handle: 7
        .Step(Op_ReadLed, {0x00, 0x08})
        .Advance(499)
        .Step(Op_ReadSensor, {1, 0});
    return input.Bytes();
}

std::vector<uint8_t> Alerts() {
    CInputWriter input = Started();
    input.Step(Op_Register, {0})
        .Step(Op_Register, {1})
        .Step(Op_PollAlerts)
        .Answer(kVoltages, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64}, true)  // 0 asserted
        .Step(Op_PollAlerts)
        .Answer(kVoltages, {0x00, 0x01, 0x01, 0x2C, 0x00, 0x64}, true)  // unchanged
        .Step(Op_Register, {2})
        .Step(Op_Unregister, {0})
        .Step(Op_PollAlerts)
        .Answer(kVoltages, {0x00, 0x00, 0x01, 0x20, 0x00, 0x64}, true)  // deasserted
        .Step(Op_PollAlerts)
        .Answer(kTemperatures, {0x00, 0x02, 0x1E, 0x28}, true)
        .Step(Op_PollAlerts)
        .Answer(kFans, {0x00, 0x03, 0x01, 0x2C, 0x00, 0x64}, true)
        .Step(Op_ReadSensor, {2, 0})
        .Step(Op_PollAlerts)
        .Answer(kFans, {0x00, 0x03, 0x01, 0x2C}, true)  // one reading short: dropped
        .Step(Op_PollAlerts)
        .Answer(0xA3, {0x00, 0x03, 0x01, 0x2C}, true)  // no such kind
        .Step(Op_PollAlerts)
        .Answer(kFans, {}, false)  // nothing pending
        .Step(Op_PollAlerts)
        .FailedAnswer();
    return input.Bytes();
}

// Eighteen temperatures: readings 16 and 17 have no bit in the masks.
std::vector<uint8_t> WideAlert() {
    CInputWriter input;
    input.Machine(0, 0, 18, {}, 23, 0xFFFFFF00u)
        .FailedAnswer()
        .FailedAnswer()
        .Answer(kTemperatures, std::vector<uint8_t>(18, 0x20), false)
        .FailedAnswer();
    input.Step(Op_Register, {1}).Step(Op_PollAlerts);
    std::vector<uint8_t> data = {0xFF, 0xFF};
    for (int i = 0; i < 18; ++i) {
        data.push_back(static_cast<uint8_t>(40 + i));
    }
    input.Answer(kTemperatures, data, true).Advance(0x200).Step(Op_ReadSensor, {3, 17});
    input.Answer(kTemperatures, std::vector<uint8_t>(18, 0x21), false);
    return input.Bytes();
}

// Seventeen LEDs: more than the state word has bits, so no update applies.
std::vector<uint8_t> ManyLeds() {
    std::vector<uint16_t> masks;
    for (int i = 0; i < 17; ++i) {
        masks.push_back(static_cast<uint16_t>(1u << (i % 16)) | (i == 16 ? 0x0003 : 0));
    }
    CInputWriter input;
    input.Machine(1, 1, 1, masks, 0, 5000)
        .FailedAnswer()
        .FailedAnswer()
        .FailedAnswer()
        .Answer(kLeds, {0xFF, 0xFF}, false)
        .Advance(600)
        .Step(Op_ReadLed, {0x00, 0x01})
        .Answer(kLeds, {0x00, 0x01}, false);
    return input.Bytes();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: io_fuzz_seeds <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::pair<const char*, std::vector<uint8_t>> seeds[] = {
        {"reads.bin", Reads()},
        {"alerts.bin", Alerts()},
        {"wide-alert.bin", WideAlert()},
        {"many-leds.bin", ManyLeds()},
    };
    for (const auto& seed : seeds) {
        std::ofstream out(folder + "/" + seed.first, std::ios::binary);
        out.write(reinterpret_cast<const char*>(seed.second.data()),
                  static_cast<std::streamsize>(seed.second.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), seed.first);
            return 1;
        }
    }
    return 0;
}
