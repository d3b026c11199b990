#include <crypt.h>

#include <memory>

#include "webconfig/BasicAuth.h"

bool BcryptMatches(const std::string& password, const std::string& hash) {
    // About 32 KiB: too much for a worker's stack to spare.
    auto data = std::make_unique<crypt_data>();
    const char* hashed = crypt_rn(password.c_str(), hash.c_str(), data.get(), sizeof *data);
    return hashed != nullptr && SameBytes(hashed, hash);
}
