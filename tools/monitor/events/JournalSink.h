// The systemd journal's native protocol: one datagram per event to its
// socket, with the fields operators filter on (MESSAGE_ID, PRIORITY,
// SVCPROC_SENSOR...).
#pragma once

#include <string>

#include "events/SystemEvent.h"

// The journal's socket; SVCPROC_JOURNAL_SOCKET names another (tests bind
// their own).
std::string JournalSocketPath();

// Whether `journalStream` (JOURNAL_STREAM's "DEVICE:INODE") names the file
// open on `fd`: systemd sets it when it connects standard error to the
// journal, and a child that inherits the variable but not the stream is no
// service.
bool JournalStreamMatches(const char* journalStream, int fd);

// The event's datagram: FIELD=value lines, or the length-prefixed form for a
// value with a line break.
std::string JournalDatagram(const SystemEvent& event);
