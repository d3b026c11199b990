#include "JsonLineIndex.h"

#include <vector>

#include <nlohmann/json.hpp>

namespace svcpsim {
namespace {

// A scan of the text's structure: containers, member keys and where values
// start. Iterative, so that deep nesting costs memory, not stack.
class Scanner {
public:
    Scanner(const std::string& text, std::map<std::string, int>& lines)
        : m_Text(text), m_Lines(lines) {}

    void Run() {
        enum class State { Value, Open, Next };
        State state = State::Value;
        std::string pending;  // the pointer of the value expected next
        while (SkipSpace()) {
            const char c = m_Text[m_nPos];
            if (state == State::Value) {
                m_Lines.emplace(pending, m_nLine);
                if (c == '{' || c == '[') {
                    m_vStack.push_back(Frame{pending, c == '[', 0});
                    ++m_nPos;
                    state = State::Open;
                } else {
                    SkipScalar();
                    state = State::Next;
                }
                continue;
            }
            if (m_vStack.empty()) {
                return;  // trailing text after the root value
            }
            Frame& top = m_vStack.back();
            if (c == '}' || c == ']') {
                ++m_nPos;
                m_vStack.pop_back();
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
            if (top.array) {
                pending = CJsonLineIndex::Child(top.pointer, top.next++);
            } else {
                std::string key;
                if (!ReadKey(key)) {
                    return;
                }
                pending = CJsonLineIndex::Child(top.pointer, key);
            }
            state = State::Value;
        }
    }

private:
    struct Frame {
        std::string pointer;
        bool array;
        size_t next;
    };

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
    std::string SkipString() {
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

    // A member's key and its colon.
    bool ReadKey(std::string& key) {
        if (m_Text[m_nPos] != '"') {
            return false;
        }
        const std::string token = SkipString();
        if (token.find('\\') == std::string::npos) {
            key = token.size() >= 2 ? token.substr(1, token.size() - 2) : std::string();
        } else {
            const nlohmann::json parsed = nlohmann::json::parse(token, nullptr, false);
            if (!parsed.is_string()) {
                return false;
            }
            key = parsed.get<std::string>();
        }
        if (!SkipSpace() || m_Text[m_nPos] != ':') {
            return false;
        }
        ++m_nPos;
        return true;
    }

    const std::string& m_Text;
    std::map<std::string, int>& m_Lines;
    std::vector<Frame> m_vStack;
    size_t m_nPos = 0;
    int m_nLine = 1;
};

}  // namespace

CJsonLineIndex::CJsonLineIndex(const std::string& text) {
    Scanner(text, m_Lines).Run();
}

int CJsonLineIndex::LineOf(const std::string& pointer) const {
    std::string at = pointer;
    while (true) {
        const auto found = m_Lines.find(at);
        if (found != m_Lines.end()) {
            return found->second;
        }
        if (at.empty()) {
            return 0;
        }
        const size_t slash = at.rfind('/');
        at.erase(slash == std::string::npos ? 0 : slash);
    }
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
