// The exporter's Host allow-list: the names a request may address it by, so
// that a page a browser loaded from elsewhere cannot reach it through a DNS
// name rebound to this machine.
#pragma once

#include <string>
#include <vector>

// Longest name an operator may list (a DNS name's own limit).
constexpr size_t kMaxAllowedHostLength = 253;

// A listed name: a DNS name or IPv4 address (letters, digits, '.', '-') or an
// IPv6 address in brackets, without a port. False with a one-line message.
bool ParseAllowedHost(const std::string& text, std::string& error);

// Whether a request's Host field names one of `allowed`: its port left out,
// letters compared without case, one trailing dot ignored. An absent, empty
// or malformed field is never allowed.
bool IsAllowedHost(const std::vector<std::string>& allowed, const std::string& field);
