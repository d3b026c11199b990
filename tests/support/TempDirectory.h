// A directory of its own under /tmp for one test, removed with everything
// in it when the test is done.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

class CTempDirectory {
public:
    // /tmp/<prefix>-XXXXXX; Path() is empty when it could not be made.
    explicit CTempDirectory(const std::string& prefix) {
        const std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        std::vector<char> path(pattern.begin(), pattern.end());
        path.push_back('\0');
        if (mkdtemp(path.data()) != nullptr) {
            m_sPath = path.data();
        }
    }
    ~CTempDirectory() {
        if (!m_sPath.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_sPath, ignored);
        }
    }
    CTempDirectory(const CTempDirectory&) = delete;
    CTempDirectory& operator=(const CTempDirectory&) = delete;

    const std::string& Path() const { return m_sPath; }

private:
    std::string m_sPath;
};
