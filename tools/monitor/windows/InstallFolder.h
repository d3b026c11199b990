// Whether ordinary users can change what a service loads: the folder its
// program runs from (a DLL planted there is loaded before the system's), the
// program and the DLLs in it. Whoever can write there runs code as the
// service.
#pragma once

#include <windows.h>

#include <string>

namespace monitor_service {

// Checks `folder` and its .exe and .dll files. True when the access lists
// could be read, with `writers` naming the first object that Everyone,
// Authenticated Users, Users, Interactive or Guests may change and who may
// ("" when none may); false with `error` otherwise.
bool FindOrdinaryWriters(const std::wstring& folder, std::string& writers, std::string& error);

// The ordinary groups an access list lets change its object, as "Users,
// Everyone"; "" when none. A null list lets everyone. Denials count in the
// list's order, as the access check takes them.
std::string OrdinaryWriters(const ACL* dacl);

}  // namespace monitor_service
