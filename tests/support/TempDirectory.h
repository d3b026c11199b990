// A directory of its own under /tmp for one test, removed with everything
// in it when the test is done.
#pragma once

#include <string>

class CTempDirectory {
public:
    // /tmp/<prefix>-XXXXXX; Path() is empty when it could not be made.
    explicit CTempDirectory(const std::string& prefix);
    ~CTempDirectory();
    CTempDirectory(const CTempDirectory&) = delete;
    CTempDirectory& operator=(const CTempDirectory&) = delete;

    const std::string& Path() const { return m_sPath; }

private:
    std::string m_sPath;
};
