// HTTP basic authentication against the web configuration's bcrypt hashes.
// A bcrypt costs tens of milliseconds by design, so a user's last verified
// password is remembered and a scraper's repeated requests are let in after
// a constant-time comparison instead. An unknown user costs the same bcrypt
// as a known one, so the time taken tells nothing about which names exist.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "webconfig/WebConfig.h"

// Whether `password` hashes to `hash` (bcrypt, libxcrypt). Not available on
// Windows, where basic authentication is refused at start.
bool BcryptMatches(const std::string& password, const std::string& hash);

// Equal bytes, in a time that depends on the lengths only.
bool SameBytes(const std::string& a, const std::string& b);

// What is accepted of an Authorization field; longer is refused unread.
constexpr size_t kMaxAuthorizationBytes = 1024;

class CBasicAuth {
public:
    using Verifier = std::function<bool(const std::string& password, const std::string& hash)>;

    explicit CBasicAuth(const std::vector<BasicAuthUser>& users, Verifier verify = BcryptMatches);

    // Whether an Authorization field's value ("Basic base64(user:password)")
    // names a user and their password. Thread-safe.
    bool Allows(const std::string& authorization);

private:
    struct User {
        std::string name;
        std::string hash;
        std::string verified;  // the password last verified; empty: none
    };

    Verifier m_Verify;
    std::vector<User> m_Users;
    std::mutex m_Mutex;  // guards each User::verified
};
