// No service commands: systemd or any other manager starts the monitor with
// its ordinary options (packaging/systemd/svcproc-exporter.service).
#include "run/ServiceEntry.h"

bool RunServiceCommand(int, char**, int&, std::string&) {
    return false;
}

std::string ServiceUsage() {
    return std::string();
}
