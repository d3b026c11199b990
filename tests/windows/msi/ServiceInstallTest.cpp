// What --service install sets beyond CreateService, checked through a
// stand-in for ChangeServiceConfig2W (Wine's manager keeps few of these
// settings, so the package test cannot read them back there), and the
// install folder's check against real access lists.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "windows/InstallFolder.h"
#include "windows/ServiceConfiguration.h"

namespace {

using monitor_service::ConfigureService;
using monitor_service::FindOrdinaryWriters;

// The settings the stand-in received, copied out of their structures.
struct Received {
    std::vector<DWORD> levels;
    BOOL delayed = FALSE;
    DWORD resetSeconds = 0;
    std::vector<SC_ACTION> actions;
    BOOL onErrorExit = FALSE;
    DWORD sidType = ~0u;
    std::wstring privileges;  // the multi-string, with its inner zeros
    std::map<DWORD, DWORD> failWith;
};
Received g_received;

BOOL WINAPI RecordChange(SC_HANDLE, DWORD level, LPVOID info) {
    g_received.levels.push_back(level);
    switch (level) {
        case SERVICE_CONFIG_DELAYED_AUTO_START_INFO:
            g_received.delayed =
                static_cast<SERVICE_DELAYED_AUTO_START_INFO*>(info)->fDelayedAutostart;
            break;
        case SERVICE_CONFIG_FAILURE_ACTIONS: {
            auto* failure = static_cast<SERVICE_FAILURE_ACTIONSW*>(info);
            g_received.resetSeconds = failure->dwResetPeriod;
            g_received.actions.assign(failure->lpsaActions,
                                      failure->lpsaActions + failure->cActions);
            break;
        }
        case SERVICE_CONFIG_FAILURE_ACTIONS_FLAG:
            g_received.onErrorExit =
                static_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(info)->fFailureActionsOnNonCrashFailures;
            break;
        case SERVICE_CONFIG_SERVICE_SID_INFO:
            g_received.sidType = static_cast<SERVICE_SID_INFO*>(info)->dwServiceSidType;
            break;
        case SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO: {
            const wchar_t* list =
                static_cast<SERVICE_REQUIRED_PRIVILEGES_INFOW*>(info)->pmszRequiredPrivileges;
            const wchar_t* end = list;
            while (*end != L'\0') {
                end += wcslen(end) + 1;
            }
            g_received.privileges.assign(list, end);
            break;
        }
        default:
            break;
    }
    const auto failure = g_received.failWith.find(level);
    if (failure != g_received.failWith.end()) {
        SetLastError(failure->second);
        return FALSE;
    }
    return TRUE;
}

class ServiceConfiguration : public ::testing::Test {
protected:
    void SetUp() override { g_received = Received{}; }
};

TEST_F(ServiceConfiguration, SetsDelayedStartRestartsRestrictedSidAndOnePrivilege) {
    std::string error;
    ASSERT_TRUE(ConfigureService(nullptr, error, &RecordChange)) << error;
    EXPECT_TRUE(g_received.delayed);
    EXPECT_EQ(g_received.resetSeconds, 86400u);
    ASSERT_EQ(g_received.actions.size(), 3u);
    const DWORD delays[] = {5000, 30000, 60000};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g_received.actions[i].Type, SC_ACTION_RESTART) << i;
        EXPECT_EQ(g_received.actions[i].Delay, delays[i]) << i;
    }
    EXPECT_TRUE(g_received.onErrorExit);
    EXPECT_EQ(g_received.sidType, static_cast<DWORD>(SERVICE_SID_TYPE_RESTRICTED));
    EXPECT_EQ(g_received.privileges, std::wstring(L"SeChangeNotifyPrivilege\0", 24));
    EXPECT_EQ(g_received.levels.size(), 6u);
}

TEST_F(ServiceConfiguration, UnknownLevelIsLeftOutAndTheRestStillSet) {
    g_received.failWith[SERVICE_CONFIG_SERVICE_SID_INFO] = ERROR_INVALID_LEVEL;
    g_received.failWith[SERVICE_CONFIG_DELAYED_AUTO_START_INFO] = ERROR_INVALID_LEVEL;
    std::string error;
    EXPECT_TRUE(ConfigureService(nullptr, error, &RecordChange));
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(g_received.levels.size(), 6u);
    EXPECT_EQ(g_received.privileges, std::wstring(L"SeChangeNotifyPrivilege\0", 24));
}

TEST_F(ServiceConfiguration, RefusalStopsAtTheSettingAndNamesIt) {
    g_received.failWith[SERVICE_CONFIG_FAILURE_ACTIONS] = ERROR_ACCESS_DENIED;
    std::string error;
    EXPECT_FALSE(ConfigureService(nullptr, error, &RecordChange));
    EXPECT_NE(error.find("failure actions"), std::string::npos) << error;
    EXPECT_NE(error.find("(5)"), std::string::npos) << error;
    EXPECT_TRUE(g_received.privileges.empty());
}

constexpr bool kDeny = true;

// An access list of well-known groups' entries, in the order given (built by
// hand: SetEntriesInAcl would put denials first).
class AccessList {
public:
    AccessList& Add(WELL_KNOWN_SID_TYPE group, DWORD mask, bool deny = false, DWORD flags = 0) {
        m_vEntries.push_back({std::vector<BYTE>(SECURITY_MAX_SID_SIZE), mask, deny, flags});
        DWORD size = SECURITY_MAX_SID_SIZE;
        EXPECT_TRUE(CreateWellKnownSid(group, nullptr, m_vEntries.back().sid.data(), &size));
        return *this;
    }
    std::string Writers() {
        std::vector<BYTE> buffer(4096);
        ACL* acl = reinterpret_cast<ACL*>(buffer.data());
        EXPECT_TRUE(InitializeAcl(acl, static_cast<DWORD>(buffer.size()), ACL_REVISION));
        for (Entry& entry : m_vEntries) {
            const BOOL added = entry.deny ? AddAccessDeniedAceEx(acl, ACL_REVISION, entry.flags,
                                                                 entry.mask, entry.sid.data())
                                          : AddAccessAllowedAceEx(acl, ACL_REVISION, entry.flags,
                                                                  entry.mask, entry.sid.data());
            EXPECT_TRUE(added);
        }
        return monitor_service::OrdinaryWriters(acl);
    }

private:
    struct Entry {
        std::vector<BYTE> sid;
        DWORD mask;
        bool deny;
        DWORD flags;
    };
    std::vector<Entry> m_vEntries;
};

TEST(InstallFolderAccess, AdministratorsAndSystemOnlyPass) {
    AccessList list;
    list.Add(WinBuiltinAdministratorsSid, FILE_ALL_ACCESS)
        .Add(WinLocalSystemSid, FILE_ALL_ACCESS)
        .Add(WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
    EXPECT_EQ(list.Writers(), "");
}

TEST(InstallFolderAccess, EachWayOfChangingIsNamed) {
    for (DWORD rights : {static_cast<DWORD>(FILE_ADD_FILE), static_cast<DWORD>(FILE_APPEND_DATA),
                         static_cast<DWORD>(WRITE_DAC), static_cast<DWORD>(WRITE_OWNER),
                         static_cast<DWORD>(GENERIC_WRITE), static_cast<DWORD>(GENERIC_ALL)}) {
        AccessList list;
        list.Add(WinBuiltinUsersSid, FILE_GENERIC_READ | rights);
        EXPECT_EQ(list.Writers(), "Users") << std::hex << rights;
    }
}

TEST(InstallFolderAccess, EveryOrdinaryGroupIsNamedOnceInOrder) {
    AccessList list;
    list.Add(WinAuthenticatedUserSid, FILE_ADD_FILE)
        .Add(WinBuiltinUsersSid, FILE_ADD_FILE)
        .Add(WinWorldSid, FILE_ALL_ACCESS)
        .Add(WinInteractiveSid, WRITE_DAC)
        .Add(WinBuiltinGuestsSid, WRITE_OWNER)
        .Add(WinBuiltinUsersSid, FILE_ALL_ACCESS);
    EXPECT_EQ(list.Writers(), "Authenticated Users, Users, Everyone, Interactive, Guests");
}

TEST(InstallFolderAccess, DenialBeforeTheGrantRemovesIt) {
    AccessList denied;
    denied.Add(WinBuiltinUsersSid, FILE_GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, kDeny)
        .Add(WinBuiltinUsersSid, FILE_ALL_ACCESS);
    EXPECT_EQ(denied.Writers(), "");
    // After the grant it comes too late; and another group's denial is not
    // this group's.
    AccessList late;
    late.Add(WinBuiltinUsersSid, FILE_ALL_ACCESS)
        .Add(WinBuiltinUsersSid, FILE_GENERIC_WRITE, kDeny);
    EXPECT_EQ(late.Writers(), "Users");
    AccessList other;
    other.Add(WinWorldSid, FILE_GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, kDeny)
        .Add(WinBuiltinUsersSid, FILE_ADD_FILE);
    EXPECT_EQ(other.Writers(), "Users");
}

TEST(InstallFolderAccess, InheritOnlyEntriesDoNotApplyToTheFolder) {
    AccessList list;
    list.Add(WinBuiltinUsersSid, GENERIC_ALL, false,
             INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(list.Writers(), "");
}

TEST(InstallFolderAccess, NoAccessListLetsEveryone) {
    EXPECT_EQ(monitor_service::OrdinaryWriters(nullptr), "Everyone (no access list)");
}

TEST(InstallFolderMissing, ReportsTheError) {
    std::string writers;
    std::string error;
    EXPECT_FALSE(FindOrdinaryWriters(L"C:\\svcp-no-such-folder", writers, error));
    EXPECT_NE(error.find("GetNamedSecurityInfo"), std::string::npos) << error;
}

}  // namespace
