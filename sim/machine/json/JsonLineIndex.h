// Where values of a JSON text start: the line of the value a JSON pointer
// ("/sensors/2/thresholds/upperCritical") names, so that a problem found in
// the parsed document can be reported at its line in the file; and the first
// container nested deeper than a limit.
//
// Nothing is stored per value: each question scans the text once, without
// recursion, in memory that grows with the pointer asked about (or the
// limit), not with the text or its depth. Meant for text that has parsed as
// JSON; on other text the answers are unreliable but nothing reads outside
// the text. Immutable; const members may be used from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace svcpsim {

class CJsonLineIndex {
public:
    // Keeps a view of `text`, which must outlive the index.
    explicit CJsonLineIndex(std::string_view text) : m_Text(text) {}

    // The 1-based line where the value at `pointer` starts; for a pointer
    // that names no value (a missing member), the line of its nearest
    // existing ancestor; 0 for an empty text. Of repeated keys, the last (as
    // the parsed document keeps it).
    int LineOf(const std::string& pointer) const;

    // The first container (in text order) with `maxDepth` or more
    // containers around it: true with its pointer and line; false when the
    // text nests no deeper than `maxDepth` levels.
    bool FindDeeperThan(size_t maxDepth, std::string* pointer, int* line) const;

    // "/a/b" for the member b of a: the key escaped as JSON pointers need
    // (~ as ~0, / as ~1).
    static std::string Child(const std::string& pointer, const std::string& key);
    static std::string Child(const std::string& pointer, size_t index);

private:
    std::string_view m_Text;
};

}  // namespace svcpsim
