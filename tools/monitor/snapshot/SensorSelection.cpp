#include "snapshot/SensorSelection.h"

#include <set>

#include "snapshot/Units.h"
#include "svcproc/api/HandleKindName.h"

namespace {

// The length of the UTF-8 character at `text[at]` (1 for a stray byte).
size_t CharacterLength(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    for (size_t i = 1; i < length; ++i) {
        if (at + i >= text.size() || (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

// Matches the set starting at glob[at] ('[') against `c`; `end` is set past
// its ']'. The glob has been checked.
bool SetMatches(const std::string& glob, size_t at, unsigned char c, size_t& end) {
    size_t i = at + 1;
    const bool negated = glob[i] == '!';
    if (negated) {
        ++i;
    }
    bool found = false;
    bool first = true;
    while (first || glob[i] != ']') {
        first = false;
        const unsigned char low = static_cast<unsigned char>(glob[i]);
        if (i + 2 < glob.size() && glob[i + 1] == '-' && glob[i + 2] != ']') {
            found = found || (c >= low && c <= static_cast<unsigned char>(glob[i + 2]));
            i += 3;
        } else {
            found = found || c == low;
            ++i;
        }
    }
    end = i + 1;
    return found != negated;
}

// One step of the glob at glob[g] against text[t]: how far each advances;
// false when they do not match there.
bool MatchOne(const std::string& glob, size_t& g, const std::string& text, size_t& t) {
    if (t >= text.size()) {
        return false;
    }
    const char c = glob[g];
    if (c == '?') {
        ++g;
        t += CharacterLength(text, t);
        return true;
    }
    if (c == '[') {
        size_t end = g;
        if (!SetMatches(glob, g, static_cast<unsigned char>(text[t]), end)) {
            return false;
        }
        g = end;
        t += CharacterLength(text, t);
        return true;
    }
    if (c == '\\') {
        ++g;
    }
    if (glob[g] != text[t]) {
        return false;
    }
    ++g;
    ++t;
    return true;
}

}  // namespace

bool ValidGlob(const std::string& glob, std::string& error) {
    if (glob.empty() || glob.size() > kMaxGlobLength) {
        error = "expected a pattern of 1 to " + std::to_string(kMaxGlobLength) + " bytes";
        return false;
    }
    for (size_t i = 0; i < glob.size(); ++i) {
        if (static_cast<unsigned char>(glob[i]) < 0x20) {
            error = "'" + glob + "': control characters are not allowed";
            return false;
        }
        if (glob[i] == '\\') {
            if (++i == glob.size()) {
                error = "'" + glob + "': a '\\' at the end escapes nothing";
                return false;
            }
        } else if (glob[i] == '[') {
            size_t j = i + 1;
            if (j < glob.size() && glob[j] == '!') {
                ++j;
            }
            // A ']' first in the set is one of its members.
            size_t close = glob.find(']', j + 1);
            if (j >= glob.size() || close == std::string::npos) {
                error = "'" + glob + "': the '[' at " + std::to_string(i + 1) + " is never closed";
                return false;
            }
            for (size_t k = j; k < close; ++k) {
                if (static_cast<unsigned char>(glob[k]) >= 0x80) {
                    error = "'" + glob + "': a [set] takes ASCII characters only";
                    return false;
                }
            }
            i = close;
        }
    }
    return true;
}

bool GlobMatches(const std::string& glob, const std::string& text) {
    // Iterative, backtracking only to the latest '*': linear in practice,
    // O(glob × text) at worst.
    size_t g = 0;
    size_t t = 0;
    size_t starGlob = std::string::npos;
    size_t starText = 0;
    while (t < text.size() || g < glob.size()) {
        if (g < glob.size() && glob[g] == '*') {
            starGlob = ++g;
            starText = t;
            continue;
        }
        if (g < glob.size() && MatchOne(glob, g, text, t)) {
            continue;
        }
        if (starGlob == std::string::npos || starText >= text.size()) {
            return false;
        }
        starText += CharacterLength(text, starText);
        g = starGlob;
        t = starText;
    }
    return true;
}

bool RuleMatches(const SelectionRule& rule, unsigned long handle, const std::string& description) {
    if (!rule.kind.empty() && rule.kind != ServiceApi::KindName(ServiceApi::HandleKind(handle))) {
        return false;
    }
    return rule.description.empty() || GlobMatches(rule.description, description);
}

bool Selected(const SensorSelection& selection, unsigned long handle,
              const std::string& description) {
    auto any = [&](const std::vector<SelectionRule>& rules) {
        for (const SelectionRule& rule : rules) {
            if (RuleMatches(rule, handle, description)) {
                return true;
            }
        }
        return false;
    };
    return (selection.include.empty() || any(selection.include)) && !any(selection.exclude);
}

namespace {

template <typename Entry>
void Filter(const SensorSelection& selection, std::vector<Entry>& entries) {
    std::vector<Entry> kept;
    for (Entry& entry : entries) {
        if (Selected(selection, entry.handle, ToUtf8(entry.information.Description))) {
            kept.push_back(std::move(entry));
        }
    }
    entries = std::move(kept);
}

// The rename of one entry: the first rule that matches; empty: none.
const RenameRule* RenameOf(const SensorSelection& selection, unsigned long handle,
                           const std::string& description) {
    for (const RenameRule& rule : selection.rename) {
        if (RuleMatches(rule.match, handle, description)) {
            return &rule;
        }
    }
    return nullptr;
}

std::wstring Wide(const std::string& utf8) {
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        const size_t length = CharacterLength(utf8, i);
        uint32_t code = static_cast<unsigned char>(utf8[i]);
        if (length > 1) {
            code &= 0x3Fu >> (length - 1);
            for (size_t k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
            }
        }
        if (sizeof(wchar_t) == 2 && code > 0xFFFF) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
        i += length;
    }
    return out;
}

}  // namespace

void ApplySelection(const SensorSelection& selection, Snapshot& snapshot,
                    std::vector<std::string>* refused) {
    if (selection.Empty()) {
        return;
    }
    Filter(selection, snapshot.sensors);
    Filter(selection, snapshot.leds);
    if (selection.rename.empty()) {
        return;
    }
    // Every description shown once the renames are made, to keep two entries
    // from showing the same one.
    std::multiset<std::string> shown;
    std::vector<std::pair<std::wstring*, std::string>> planned;  // entry, new name
    auto plan = [&](unsigned long handle, std::wstring& description) {
        const std::string own = ToUtf8(description);
        const RenameRule* rule = RenameOf(selection, handle, own);
        shown.insert(rule != nullptr ? rule->to : own);
        if (rule != nullptr) {
            planned.emplace_back(&description, rule->to);
        }
    };
    for (SensorSnapshot& sensor : snapshot.sensors) {
        plan(sensor.handle, sensor.information.Description);
    }
    for (LedSnapshot& led : snapshot.leds) {
        plan(led.handle, led.information.Description);
    }
    for (const auto& [description, to] : planned) {
        if (shown.count(to) > 1) {
            if (refused != nullptr) {
                refused->push_back("'" + ToUtf8(*description) + "' is not renamed '" + to +
                                   "': another sensor or LED would show the same description");
            }
            continue;
        }
        *description = Wide(to);
    }
}
