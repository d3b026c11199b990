// The machine-information extension through the loaded library: refused
// until a start-up has read SMBIOS, then the BIOS version and the service
// processor's device, also when start-up failed after reading them.
#include <cstring>

#include <gmock/gmock.h>

#include "ApiTestSupport.h"

namespace {

using ::testing::Contains;

CMachineInfo Unread() {
    CMachineInfo info;
    std::memset(&info, 0x5A, sizeof info);
    return info;
}

TEST_F(ApiTest, MachineInfoIsRefusedUntilSmbiosIsRead) {
    TestMachine machine;
    machine.Install();
    LoadedLibrary library;
    CMachineInfo info = Unread();
    EXPECT_EQ(library.GetMachineInfo(info), ServiceCode_NotInitialised);
    EXPECT_EQ(info.BiosVersion[0], 0x5A) << "the record is left alone";
    EXPECT_THAT(CapturedTexts(4), Contains("API: GetMachineInfo exit, sscode=0x1"));

    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_Success);
    ASSERT_EQ(library.GetMachineInfo(info), ServiceCode_Success);
    EXPECT_STREQ(info.BiosVersion, "85.12");
    EXPECT_STREQ(info.ServiceProcessor, "Orvane Telk Service Processor");
    EXPECT_EQ(info.ServiceProcessorAddress, 0x2B0u);
}

TEST_F(ApiTest, MachineInfoOfFailedStartUps) {
    TestMachineSpec spec = TestMachineSpec::Default();
    spec.biosVersion = "86.01";
    CMachineInfo info = Unread();
    {
        TestMachine otherFamily(spec);
        otherFamily.Install();
        LoadedLibrary library;
        ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_SmbiosInventoryFailed);
        ASSERT_EQ(library.GetMachineInfo(info), ServiceCode_Success);
        EXPECT_STREQ(info.BiosVersion, "86.01") << "why start-up failed, for a dashboard";
        EXPECT_STREQ(info.ServiceProcessor, "Orvane Telk Service Processor");
    }
    spec.withDevice = false;
    spec.biosVersion = "85" + std::string(400, 'x');
    TestMachine machine(spec);
    machine.Install();
    LoadedLibrary library;
    ASSERT_EQ(library.InitialiseServiceDriver(), ServiceCode_NoServiceProcessor);
    ASSERT_EQ(library.GetMachineInfo(info), ServiceCode_Success);
    EXPECT_EQ(std::strlen(info.BiosVersion), kMachineTextSize - 1) << "cut, terminated";
    EXPECT_STREQ(info.ServiceProcessor, "");
    EXPECT_EQ(info.ServiceProcessorAddress, 0u);
}

}  // namespace
