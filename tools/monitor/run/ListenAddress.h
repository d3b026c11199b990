// Where svcproc-monitor --listen serves its metrics.
#pragma once

#include <string>

// The default port of svcproc-monitor --listen.
constexpr int kDefaultMetricsPort = 9723;

struct ListenAddress {
    std::string host = "127.0.0.1";  // loopback unless the operator names another
    int port = kDefaultMetricsPort;  // 0: any free port (tests)
};

// "PORT", "ADDR:PORT" or "[IPV6]:PORT"; a port from 0 to 65535 in decimal.
// False with a one-line message.
bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error);
