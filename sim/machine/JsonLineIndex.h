// Where each value of a JSON text starts: its line, by JSON pointer
// ("/sensors/2/thresholds/upperCritical"), so that a problem found in the
// parsed document can be reported at its line in the file.
//
// Built from text that has already parsed as JSON; on other text the lines
// are unreliable but nothing reads outside the text. Immutable once built;
// const members may be used from any thread.
#pragma once

#include <map>
#include <string>

namespace svcpsim {

class CJsonLineIndex {
public:
    explicit CJsonLineIndex(const std::string& text);

    // The 1-based line where the value at `pointer` starts; for a pointer
    // that names no value (a missing member), the line of its nearest
    // existing ancestor; 0 for an empty text.
    int LineOf(const std::string& pointer) const;

    // "/a/b" for the member b of a: the key escaped as JSON pointers need
    // (~ as ~0, / as ~1).
    static std::string Child(const std::string& pointer, const std::string& key);
    static std::string Child(const std::string& pointer, size_t index);

private:
    std::map<std::string, int> m_Lines;
};

}  // namespace svcpsim
