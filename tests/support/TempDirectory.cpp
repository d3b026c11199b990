#include "TempDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <vector>

CTempDirectory::CTempDirectory(const std::string& prefix) {
    const std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    if (mkdtemp(path.data()) != nullptr) {
        m_sPath = path.data();
    }
}

CTempDirectory::~CTempDirectory() {
    if (!m_sPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_sPath, ignored);
    }
}
