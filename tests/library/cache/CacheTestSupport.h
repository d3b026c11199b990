// Shared set-up of the cache tests: log capture, the tick seam and the BIOS
// version are reset around every test.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LogControl.h"
#include "platform_seams.h"
#include "support/LogCapturingTest.h"
#include "svcproc/api/SensorRecords.h"
#include "svcproc/service/POSSystem.h"

namespace cache_test {

class CacheTest : public LogCapturingTest {
protected:
    void TearDown() override {
        LogCapturingTest::TearDown();
        SvcpUnfreezeTickCount();
        CPOSSystem::GetInstance().m_sBiosVersion.clear();
    }
};

inline CSensorInformation SensorInfo(const wchar_t* description, int32_t nominal = 0) {
    CSensorInformation info;
    info.Description = description;
    info.NominalReading = nominal;
    info.PossibleStates = {L"Ok", L"Critical"};
    return info;
}

inline CLedInformation LedInfo(const wchar_t* description, uint16_t bitMap) {
    CLedInformation info;
    info.Kind = 5;
    info.Description = description;
    info.BitMap = bitMap;
    return info;
}

}  // namespace cache_test

// Readable failures for captured lines.
inline void PrintTo(const LogLine& line, std::ostream* out) {
    *out << "{" << line.level << ", \"" << line.text << "\"}";
}
