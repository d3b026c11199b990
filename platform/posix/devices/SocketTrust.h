// Whom a process lets serve it devices: itself (its effective user) or root,
// and nobody else. Another local user must not be able to serve a fake
// machine that this process then reports, so each of the three things an
// intruder could plant is checked:
//   the device directory  a directory of a trusted owner that nobody else
//                         may write to (group or others; a sticky bit does
//                         not help, since it still lets anyone add a socket)
//   each socket file      a socket (not a link to one) of a trusted owner
//   the connected peer    the server process's user (SO_PEERCRED), which
//                         holds even if a path was swapped after the checks
// A refusal is said once per process and reason on standard error, so that
// a process that finds no device knows why; the library's own log is not
// touched.
#pragma once

#include <sys/types.h>

#include <string>

namespace svcp {
namespace wire {

bool TrustedUser(uid_t uid);

// True, or false with *why in a few words.
bool CheckDeviceDirectory(const std::string& directory, std::string* why);
bool CheckSocketFile(const std::string& path, std::string* why);
bool CheckPeer(int fd, std::string* why);

// "svcproc: <what>: <why>" on standard error, the first time this process
// meets that text; at most a few dozen distinct texts are remembered.
void ReportRefusal(const std::string& what, const std::string& why);

}  // namespace wire
}  // namespace svcp
