#include "JsonLineIndex.h"

#include <algorithm>
#include <vector>

#include <nlohmann/json.hpp>

namespace svcpsim {
namespace {

// The values of a JSON text in text order, without recursion. For each value
// visit(path, depth, line, container) is called: `depth` containers around
// it, `path` the tokens (keys, indexes) of its first min(depth, tracked)
// levels; false from visit stops the walk. Beyond `tracked` levels only one
// bit per level is kept.
class Walker {
public:
    Walker(std::string_view text, size_t tracked) : m_Text(text), m_nTracked(tracked) {}

    template <typename Visit>
    void Run(Visit visit) {
        enum class State { Value, Open, Next };
        State state = State::Value;
        while (SkipSpace()) {
            const char c = m_Text[m_nPos];
            if (state == State::Value) {
                const size_t depth = m_vArrays.size();
                const bool container = c == '{' || c == '[';
                if (!visit(static_cast<const std::vector<std::string>&>(m_vPath), depth, m_nLine,
                           container)) {
                    return;
                }
                if (container) {
                    m_vArrays.push_back(c == '[');
                    if (depth < m_nTracked) {
                        m_vNext.push_back(0);
                    }
                    ++m_nPos;
                    state = State::Open;
                } else {
                    SkipScalar();
                    EndValue(depth);
                    state = State::Next;
                }
                continue;
            }
            if (m_vArrays.empty()) {
                return;  // trailing text after the root value
            }
            if (c == '}' || c == ']') {
                ++m_nPos;
                m_vArrays.pop_back();
                if (m_vNext.size() > m_vArrays.size()) {
                    m_vNext.pop_back();
                }
                EndValue(m_vArrays.size());
                state = State::Next;
                continue;
            }
            if (state == State::Next) {
                if (c != ',') {
                    return;
                }
                ++m_nPos;
                if (!SkipSpace()) {
                    return;
                }
            }
            // A member or element starts: its token, on a tracked level.
            const bool tracked = m_vArrays.size() <= m_nTracked;
            if (m_vArrays.back()) {
                if (tracked) {
                    m_vPath.push_back(std::to_string(m_vNext.back()++));
                }
            } else {
                std::string key;
                if (!ReadKey(tracked ? &key : nullptr)) {
                    return;
                }
                if (tracked) {
                    m_vPath.push_back(std::move(key));
                }
            }
            state = State::Value;
        }
    }

private:
    // A value at `depth` has ended: its token goes.
    void EndValue(size_t depth) {
        if (depth >= 1 && depth <= m_nTracked) {
            m_vPath.pop_back();
        }
    }

    // Skips blanks; false at the end of the text.
    bool SkipSpace() {
        while (m_nPos < m_Text.size()) {
            const char c = m_Text[m_nPos];
            if (c == '\n') {
                ++m_nLine;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return true;
            }
            ++m_nPos;
        }
        return false;
    }

    // Past a string token starting at m_nPos; returns the token with quotes.
    std::string_view SkipString() {
        const size_t start = m_nPos++;
        while (m_nPos < m_Text.size() && m_Text[m_nPos] != '"') {
            m_nLine += m_Text[m_nPos] == '\n' ? 1 : 0;
            m_nPos += m_Text[m_nPos] == '\\' ? 2 : 1;
        }
        m_nPos = m_nPos < m_Text.size() ? m_nPos + 1 : m_Text.size();
        return m_Text.substr(start, m_nPos - start);
    }

    void SkipScalar() {
        if (m_Text[m_nPos] == '"') {
            SkipString();
            return;
        }
        while (m_nPos < m_Text.size()) {
            const char c = m_Text[m_nPos];
            if (c == ',' || c == ']' || c == '}' || c == ' ' || c == '\t' || c == '\r' ||
                c == '\n') {
                return;
            }
            ++m_nPos;
        }
    }

    // A member's key (into *key unless null) and its colon.
    bool ReadKey(std::string* key) {
        if (m_Text[m_nPos] != '"') {
            return false;
        }
        const std::string_view token = SkipString();
        if (key == nullptr) {
        } else if (token.find('\\') == std::string_view::npos) {
            *key =
                token.size() >= 2 ? std::string(token.substr(1, token.size() - 2)) : std::string();
        } else {
            const nlohmann::json parsed = nlohmann::json::parse(token, nullptr, false);
            if (!parsed.is_string()) {
                return false;
            }
            *key = parsed.get<std::string>();
        }
        if (!SkipSpace() || m_Text[m_nPos] != ':') {
            return false;
        }
        ++m_nPos;
        return true;
    }

    const std::string_view m_Text;
    const size_t m_nTracked;
    std::vector<bool> m_vArrays;       // per open container: an array (else an object)
    std::vector<size_t> m_vNext;       // per tracked open container: its next index
    std::vector<std::string> m_vPath;  // the tokens of the tracked levels
    size_t m_nPos = 0;
    int m_nLine = 1;
};

// "/a~1b/0" as {"a/b", "0"}.
std::vector<std::string> TokensOf(const std::string& pointer) {
    std::vector<std::string> tokens;
    for (size_t i = 0; i < pointer.size(); ++i) {
        if (pointer[i] == '/') {
            tokens.emplace_back();
        } else if (tokens.empty()) {
            continue;  // not a pointer; the root
        } else if (pointer[i] == '~' && i + 1 < pointer.size() &&
                   (pointer[i + 1] == '0' || pointer[i + 1] == '1')) {
            tokens.back() += pointer[++i] == '0' ? '~' : '/';
        } else {
            tokens.back() += pointer[i];
        }
    }
    return tokens;
}

}  // namespace

int CJsonLineIndex::LineOf(const std::string& pointer) const {
    const std::vector<std::string> tokens = TokensOf(pointer);
    // Per level of the pointer, the line of the latest value on its path: a
    // repeated key replaces the member before it, as in the parsed document.
    std::vector<int> lines(tokens.size() + 1, 0);
    Walker(m_Text, tokens.size())
        .Run([&](const std::vector<std::string>& path, size_t depth, int line, bool) {
            if (depth < lines.size() && std::equal(path.begin(), path.end(), tokens.begin())) {
                lines[depth] = line;
                std::fill(lines.begin() + static_cast<std::ptrdiff_t>(depth) + 1, lines.end(), 0);
            }
            return true;
        });
    for (size_t depth = lines.size(); depth-- > 0;) {
        if (lines[depth] != 0) {
            return lines[depth];
        }
    }
    return 0;
}

bool CJsonLineIndex::FindDeeperThan(size_t maxDepth, std::string* pointer, int* line) const {
    bool found = false;
    Walker(m_Text, maxDepth)
        .Run([&](const std::vector<std::string>& path, size_t depth, int at, bool container) {
            if (!container || depth < maxDepth) {
                return true;
            }
            pointer->clear();
            for (const std::string& token : path) {
                *pointer = Child(*pointer, token);
            }
            *line = at;
            found = true;
            return false;
        });
    return found;
}

std::string CJsonLineIndex::Child(const std::string& pointer, const std::string& key) {
    std::string child = pointer + "/";
    for (char c : key) {
        if (c == '~') {
            child += "~0";
        } else if (c == '/') {
            child += "~1";
        } else {
            child += c;
        }
    }
    return child;
}

std::string CJsonLineIndex::Child(const std::string& pointer, size_t index) {
    return pointer + "/" + std::to_string(index);
}

}  // namespace svcpsim
