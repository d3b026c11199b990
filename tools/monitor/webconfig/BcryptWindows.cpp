#include "webconfig/BasicAuth.h"

// No bcrypt here: a web configuration with users is refused at start
// (WebConfigTlsWindows.cpp), so nothing reaches this.
bool BcryptMatches(const std::string&, const std::string&) {
    return false;
}
