#include "windows/InstallFolder.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <vector>

#include "common/Utf8Encode.h"
#include "windows/ServiceConfiguration.h"

namespace monitor_service {
namespace {

// Rights that let a user put other code in the folder or in place of a file.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_ADD_SUBDIRECTORY |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct OrdinaryGroup {
    WELL_KNOWN_SID_TYPE type;
    const char* name;
};
constexpr OrdinaryGroup kOrdinaryGroups[] = {
    {WinWorldSid, "Everyone"},       {WinAuthenticatedUserSid, "Authenticated Users"},
    {WinBuiltinUsersSid, "Users"},   {WinInteractiveSid, "Interactive"},
    {WinBuiltinGuestsSid, "Guests"},
};

const char* OrdinaryGroupOf(PSID sid) {
    for (const OrdinaryGroup& group : kOrdinaryGroups) {
        BYTE buffer[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(buffer);
        if (CreateWellKnownSid(group.type, nullptr, buffer, &size) && EqualSid(sid, buffer)) {
            return group.name;
        }
    }
    return nullptr;
}

bool OrdinaryWritersOf(const std::wstring& path, std::string& writers, std::string& error) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status =
        GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        error = ErrorText("GetNamedSecurityInfo", status) + ": " + svcp::utf8::WideToUtf8(path);
        return false;
    }
    writers = OrdinaryWriters(dacl);
    LocalFree(descriptor);
    return true;
}

}  // namespace

bool FindOrdinaryWriters(const std::wstring& folder, std::string& writers, std::string& error) {
    std::vector<std::wstring> paths{folder};
    for (const wchar_t* pattern : {L"\\*.exe", L"\\*.dll"}) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            paths.push_back(folder + L"\\" + found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    for (const std::wstring& path : paths) {
        std::string who;
        if (!OrdinaryWritersOf(path, who, error)) {
            return false;
        }
        if (!who.empty()) {
            writers = svcp::utf8::WideToUtf8(path) + " (" + who + ")";
            return true;
        }
    }
    writers.clear();
    return true;
}

std::string OrdinaryWriters(const ACL* dacl) {
    if (dacl == nullptr) {
        return "Everyone (no access list)";
    }
    std::vector<const char*> named;
    std::vector<std::pair<const char*, ACCESS_MASK>> denied;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), i, reinterpret_cast<void**>(&header)) ||
            (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        }
        // Allowed and denied ACEs share their layout up to the SID.
        const bool allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        if (!allows && header->AceType != ACCESS_DENIED_ACE_TYPE) {
            continue;
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        const char* group = OrdinaryGroupOf(&ace->SidStart);
        if (group == nullptr) {
            continue;
        }
        ACCESS_MASK rights = ace->Mask & kChangeRights;
        if (!allows) {
            denied.emplace_back(group, rights);
            continue;
        }
        for (const auto& [deniedGroup, deniedRights] : denied) {
            if (deniedGroup == group) {
                rights &= ~deniedRights;
            }
        }
        if (rights != 0 && std::find(named.begin(), named.end(), group) == named.end()) {
            named.push_back(group);
        }
    }
    std::string writers;
    for (const char* group : named) {
        writers += (writers.empty() ? "" : ", ") + std::string(group);
    }
    return writers;
}

}  // namespace monitor_service
