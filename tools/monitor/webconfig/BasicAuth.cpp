#include "webconfig/BasicAuth.h"

#include <cctype>

namespace {

// The bcrypt hash of a random password nobody knows, checked when the
// user is unknown so that it costs what a known one does.
const char* const kNobodyHash = "$2b$10$X.dw9BvXqaKojTPuvRTwAeolsL/P4RcgWbzoic105XeScdeI.jCMC";

bool DecodeBase64(const std::string& text, std::string& bytes) {
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    bytes.clear();
    unsigned int bits = 0;
    int held = 0;
    size_t padding = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        int value = 0;
        if (c == '=') {
            // Only at the end, at most two.
            if (i + 2 < text.size() || ++padding > 2) {
                return false;
            }
            continue;
        }
        if (padding > 0) {
            return false;
        }
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+') {
            value = 62;
        } else if (c == '/') {
            value = 63;
        } else {
            return false;
        }
        bits = (bits << 6) | static_cast<unsigned int>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<char>((bits >> held) & 0xffu));
        }
    }
    return true;
}

}  // namespace

bool SameBytes(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() == b.size() ? 0 : 1;
    const size_t length = a.size() > b.size() ? a.size() : b.size();
    for (size_t i = 0; i < length; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        differ = static_cast<unsigned char>(differ | (x ^ y));
    }
    return differ == 0;
}

CBasicAuth::CBasicAuth(const std::vector<BasicAuthUser>& users, Verifier verify)
    : m_Verify(std::move(verify)) {
    for (const BasicAuthUser& user : users) {
        m_Users.push_back(User{user.name, user.hash, ""});
    }
}

bool CBasicAuth::Allows(const std::string& authorization) {
    if (authorization.size() > kMaxAuthorizationBytes || authorization.size() < 6) {
        return false;
    }
    std::string scheme = authorization.substr(0, 6);
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string credentials;
    if (scheme != "basic " || !DecodeBase64(authorization.substr(6), credentials)) {
        return false;
    }
    const size_t colon = credentials.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string name = credentials.substr(0, colon);
    const std::string password = credentials.substr(colon + 1);
    User* user = nullptr;
    for (User& candidate : m_Users) {
        if (SameBytes(candidate.name, name)) {
            user = &candidate;
        }
    }
    // crypt() stops at a NUL, which would let "secret\0anything" in.
    const bool usable = !password.empty() && password.find('\0') == std::string::npos;
    if (user != nullptr && usable) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!user->verified.empty() && SameBytes(user->verified, password)) {
            return true;
        }
    }
    if (user == nullptr || !usable) {
        m_Verify(password, kNobodyHash);
        return false;
    }
    if (!m_Verify(password, user->hash)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    user->verified = password;
    return true;
}
