#include "CommaLocale.h"

#include <sys/stat.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

bool MakeCommaLocaleAvailable() {
    if (std::setlocale(LC_ALL, kCommaLocale) != nullptr) {
        return true;
    }
    // glibc remembers a locale it failed to find under a path for the rest
    // of the process, so it is asked under LOCPATH only once the locale is
    // there (made by localedef here, or by an earlier test).
    const std::string directory = testing::TempDir() + "/svcp-locales";
    const std::string locale = directory + "/" + kCommaLocale;
    struct stat made {};
    if (stat((locale + "/LC_NUMERIC").c_str(), &made) != 0) {
        const std::string command = "mkdir -p '" + directory +
                                    "' && localedef -i de_DE -f UTF-8 '" + locale +
                                    "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            return false;
        }
    }
    setenv("LOCPATH", directory.c_str(), 1);
    return std::setlocale(LC_ALL, kCommaLocale) != nullptr;
}
