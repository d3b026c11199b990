// dmidecode as an independent decoder of SMBIOS tables, for the tests on this
// (POSIX) host only. SVCP_DMIDECODE is the program's path, found by CMake.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/smbios/SmbiosDump.h"
#include "support/process/ShellOutput.h"

namespace smbios_test {

// dmidecode's whole text for `table` (standard error included), decoded
// from a temporary dump file; empty when it cannot run.
inline std::string DmidecodeText(const std::vector<uint8_t>& table) {
    char path[] = "/tmp/svcp_smbios_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        return std::string();
    }
    const std::vector<uint8_t> dump = svcp::sim::MakeSmbios3Dump(table);
    const bool written = write(fd, dump.data(), dump.size()) == static_cast<ssize_t>(dump.size());
    close(fd);
    std::string text;
    if (written) {
        const std::string command =
            std::string("'") + SVCP_DMIDECODE + "' --from-dump '" + path + "' 2>&1";
        text = ShellOutput(command);
    }
    unlink(path);
    return text;
}

}  // namespace smbios_test
