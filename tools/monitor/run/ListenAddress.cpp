#include "run/ListenAddress.h"

#include <charconv>
#include <system_error>

namespace {

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    const std::from_chars_result end =
        std::from_chars(text.data(), text.data() + text.size(), port);
    return end.ec == std::errc() && end.ptr == text.data() + text.size() && port >= 0 &&
           port <= 65535;
}

}  // namespace

bool ParseListenAddress(const std::string& text, ListenAddress& address, std::string& error) {
    ListenAddress parsed;
    std::string port = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        } else if (host.find(':') != std::string::npos) {
            error = "--listen " + text + ": write an IPv6 address in brackets, e.g. [::1]:" +
                    std::to_string(kDefaultMetricsPort);
            return false;
        }
        if (host.empty()) {
            error = "--listen " + text + ": the address before ':' is empty";
            return false;
        }
        parsed.host = host;
    }
    if (!ParsePort(port, parsed.port)) {
        error = "--listen " + text + ": expected [ADDR:]PORT with a port from 0 to 65535";
        return false;
    }
    address = parsed;
    return true;
}
