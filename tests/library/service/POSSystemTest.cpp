// The BIOS version holder and its machine-family tests.
#include <gtest/gtest.h>

#include "svcproc/service/POSSystem.h"

namespace {

class POSSystem : public ::testing::Test {
protected:
    void TearDown() override { CPOSSystem::GetInstance().m_sBiosVersion.clear(); }

    static CPOSSystem& WithVersion(const char* version) {
        CPOSSystem& system = CPOSSystem::GetInstance();
        system.m_sBiosVersion = version;
        return system;
    }
};

TEST_F(POSSystem, IsOneInstanceThatKeepsItsText) {
    CPOSSystem& first = CPOSSystem::GetInstance();
    first.m_sBiosVersion = "85.01.02";
    CPOSSystem& second = CPOSSystem::GetInstance();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.m_sBiosVersion, "85.01.02");
}

TEST_F(POSSystem, StartsEmptyWithEveryFamilyFalse) {
    const CPOSSystem& system = WithVersion("");
    EXPECT_FALSE(system.IsBios8D());
    EXPECT_FALSE(system.IsBios84());
    EXPECT_FALSE(system.IsBios85());
}

TEST_F(POSSystem, FamilyIsTheFirstTwoCharactersExactly) {
    struct Case {
        const char* version;
        bool is8D, is84, is85;
    };
    const Case cases[] = {
        {"84", false, true, false},
        {"84.10 rev B", false, true, false},
        {"85", false, false, true},
        {"8D01", true, false, false},
        {"8d01", false, false, false},
        {"8", false, false, false},
        {" 84", false, false, false},
        {"48", false, false, false},
        {"8D\0"
         "5",
         true, false, false},
    };
    for (const Case& c : cases) {
        const CPOSSystem& system = WithVersion(c.version);
        EXPECT_EQ(system.IsBios8D(), c.is8D) << c.version;
        EXPECT_EQ(system.IsBios84(), c.is84) << c.version;
        EXPECT_EQ(system.IsBios85(), c.is85) << c.version;
    }
}

TEST_F(POSSystem, EmbeddedNulAfterTwoCharactersDoesNotMatter) {
    CPOSSystem& system = CPOSSystem::GetInstance();
    system.m_sBiosVersion = std::string("84\0xyz", 6);
    EXPECT_TRUE(system.IsBios84());
    system.m_sBiosVersion = std::string("8\0", 2);
    EXPECT_FALSE(system.IsBios84());
}

}  // namespace
