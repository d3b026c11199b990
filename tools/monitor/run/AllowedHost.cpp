#include "run/AllowedHost.h"

#include <algorithm>
#include <cctype>

namespace {

bool NameCharacters(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-';
    });
}

bool BracketedIpv6(const std::string& text) {
    return text.size() > 2 && text.front() == '[' && text.back() == ']' &&
           text.find_first_not_of("0123456789abcdefABCDEF:.", 1) == text.size() - 1;
}

// Lower case, one trailing dot dropped: "Till.Example." and "till.example"
// are one name.
std::string Canonical(std::string text) {
    if (text.size() > 1 && text.back() == '.') {
        text.pop_back();
    }
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return text;
}

}  // namespace

bool ParseAllowedHost(const std::string& text, std::string& error) {
    if (text.size() > kMaxAllowedHostLength || (!NameCharacters(text) && !BracketedIpv6(text))) {
        error = "'" + text.substr(0, 64) +
                "': expected a host name or address without a port (an IPv6 address in "
                "brackets), at most " +
                std::to_string(kMaxAllowedHostLength) + " characters";
        return false;
    }
    return true;
}

bool IsAllowedHost(const std::vector<std::string>& allowed, const std::string& field) {
    std::string host = field;
    if (!host.empty() && host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string::npos) {
            return false;
        }
        const std::string rest = host.substr(close + 1);
        host = host.substr(0, close + 1);
        if (!rest.empty() &&
            (rest[0] != ':' || rest.find_first_not_of("0123456789", 1) != std::string::npos)) {
            return false;
        }
    } else if (const size_t colon = host.find(':'); colon != std::string::npos) {
        if (host.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
            return false;  // a second colon, or letters after the port's
        }
        host.erase(colon);
    }
    if (!NameCharacters(host) && !BracketedIpv6(host)) {
        return false;
    }
    host = Canonical(host);
    return std::any_of(allowed.begin(), allowed.end(),
                       [&](const std::string& name) { return Canonical(name) == host; });
}
