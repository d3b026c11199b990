// Which sensors and LEDs the monitor shows, and under what description: the
// configuration file's and the command line's filters and renames, applied
// to the inventory once, so every format sees the same machine.
#pragma once

#include <string>
#include <vector>

#include "snapshot/Snapshot.h"

// Bounds of a selection from outside.
constexpr size_t kMaxGlobLength = 256;
constexpr size_t kMaxSelectionRules = 256;

// A shell-style pattern over a whole description: '*' any run of characters,
// '?' one character, "[abc]", "[a-z]", "[!abc]" one of (or none of) a set of
// ASCII characters, '\' takes the next character literally. Case matters.
bool ValidGlob(const std::string& glob, std::string& error);
bool GlobMatches(const std::string& glob, const std::string& text);

// An entry matches a rule when it matches every part given: the description
// glob (empty: any) and the kind ("voltage", "fan", "temperature", "led";
// empty: any).
struct SelectionRule {
    std::string description;
    std::string kind;
};
bool RuleMatches(const SelectionRule& rule, unsigned long handle, const std::string& description);

struct RenameRule {
    SelectionRule match;
    std::string to;  // UTF-8
};

struct SensorSelection {
    std::vector<SelectionRule> include;  // empty: every entry
    std::vector<SelectionRule> exclude;  // wins over include
    std::vector<RenameRule> rename;      // the first that matches an entry renames it
    bool Empty() const { return include.empty() && exclude.empty() && rename.empty(); }
};

// An entry is shown when some include rule matches it (or there is none) and
// no exclude rule does. Rules look at the description the library gives.
bool Selected(const SensorSelection& selection, unsigned long handle,
              const std::string& description);

// Leaves out the entries not selected and renames the rest. A rename that
// would give an entry the description another entry shows is not made (that
// entry keeps its own); its message is added to `refused`.
void ApplySelection(const SensorSelection& selection, Snapshot& snapshot,
                    std::vector<std::string>* refused = nullptr);
