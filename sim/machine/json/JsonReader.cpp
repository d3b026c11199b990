#include "JsonReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace svcpsim {
namespace {

using nlohmann::json;

// Thrown from the parser's callback to stop at the first container too
// deep: before it is built, so that the tree never grows past the limit.
struct TooDeep {};

// "file:line:column: not JSON: <what the parser says>".
std::string ParseErrorText(const json::parse_error& e, const std::string& text,
                           const std::string& origin) {
    const size_t end = std::min<size_t>(e.byte == 0 ? 0 : e.byte - 1, text.size());
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    std::string what = e.what();
    const size_t column = what.find("column");
    const size_t colon = column == std::string::npos ? column : what.find(": ", column);
    if (colon != std::string::npos) {
        what = what.substr(colon + 2);
    }
    return origin + ":" + std::to_string(line) + ":" + std::to_string(end - lineStart + 1) +
           ": not valid JSON: " + what;
}

}  // namespace

bool ParseJsonDocument(const std::string& text, const std::string& origin, size_t maxDepth,
                       json* document, std::string* error) {
    try {
        // The callback's depth is the number of containers around the one
        // starting.
        *document = json::parse(text, [maxDepth](int depth, json::parse_event_t event, json&) {
            if ((event == json::parse_event_t::object_start ||
                 event == json::parse_event_t::array_start) &&
                depth >= static_cast<int>(maxDepth)) {
                throw TooDeep();
            }
            return true;
        });
    } catch (const TooDeep&) {
        std::string pointer;
        int line = 0;
        CJsonLineIndex(text).FindDeeperThan(maxDepth, &pointer, &line);
        *error = origin + ":" + std::to_string(line) + ": " + ShownPointer(pointer) +
                 ": nested more than " + std::to_string(maxDepth) + " levels deep";
        return false;
    } catch (const json::parse_error& e) {
        *error = ParseErrorText(e, text, origin);
        return false;
    } catch (const json::exception& e) {
        *error = origin + ": not valid JSON: " + e.what();
        return false;
    }
    return true;
}

std::string ShownValue(const json& value) {
    constexpr size_t kShown = 40;
    if (value.is_object()) {
        return value.empty() ? "{}" : "an object";
    }
    if (value.is_array()) {
        return value.empty() ? "[]" : "an array";
    }
    if (!value.is_string()) {
        return value.dump();
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (text.size() <= kShown) {
        return value.dump(-1, ' ', false, json::error_handler_t::replace);
    }
    size_t cut = kShown - 3;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;  // not inside a UTF-8 sequence
    }
    const std::string dumped =
        json(text.substr(0, cut)).dump(-1, ' ', false, json::error_handler_t::replace);
    return dumped.substr(0, dumped.size() - 1) + "...\"";
}

std::string ShownPointer(const std::string& pointer) {
    constexpr size_t kHead = 80;
    constexpr size_t kTail = 40;
    if (pointer.empty()) {
        return "/";
    }
    if (pointer.size() <= kHead + kTail + 3) {
        return pointer;
    }
    return pointer.substr(0, kHead) + "..." + pointer.substr(pointer.size() - kTail);
}

std::string ShownNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void CJsonReader::Fail(const std::string& pointer, const std::string& problem) const {
    throw CJsonReadError(m_sOrigin + ":" + std::to_string(m_Lines.LineOf(pointer)) + ": " +
                         ShownPointer(pointer) + ": " + problem);
}

void CJsonReader::ExpectObject(const JsonAt& at, std::initializer_list<const char*> known) const {
    if (!at.value.is_object()) {
        Fail(at.pointer, "expected an object, not " + ShownValue(at.value));
    }
    for (auto member = at.value.begin(); member != at.value.end(); ++member) {
        bool listed = false;
        for (const char* key : known) {
            listed = listed || member.key() == key;
        }
        if (!listed) {
            std::string names;
            for (const char* key : known) {
                names += std::string(names.empty() ? "" : ", ") + key;
            }
            Fail(Child(at, member.key()), "unknown member (known: " + names + ")");
        }
    }
}

void CJsonReader::ExpectArray(const JsonAt& at) const {
    if (!at.value.is_array()) {
        Fail(at.pointer, "expected an array, not " + ShownValue(at.value));
    }
}

std::string CJsonReader::Child(const JsonAt& at, const std::string& key) {
    return CJsonLineIndex::Child(at.pointer, key);
}

std::optional<JsonAt> CJsonReader::Find(const JsonAt& object, const char* key) const {
    const auto found = object.value.find(key);
    if (found == object.value.end()) {
        return std::nullopt;
    }
    return JsonAt{*found, Child(object, key)};
}

JsonAt CJsonReader::Need(const JsonAt& object, const char* key) const {
    std::optional<JsonAt> found = Find(object, key);
    if (!found) {
        Fail(Child(object, key), "missing");
    }
    return *found;
}

JsonAt CJsonReader::Element(const JsonAt& array, size_t index) const {
    return JsonAt{array.value[index], CJsonLineIndex::Child(array.pointer, index)};
}

std::string CJsonReader::Text(const JsonAt& at) const {
    if (!at.value.is_string()) {
        Fail(at.pointer, "expected a string, not " + ShownValue(at.value));
    }
    const std::string& text = at.value.get_ref<const std::string&>();
    if (text.find('\0') != std::string::npos) {
        Fail(at.pointer, "must not contain a NUL character");
    }
    return text;
}

std::string CJsonReader::NonEmptyText(const JsonAt& at) const {
    std::string text = Text(at);
    if (text.empty()) {
        Fail(at.pointer, "must not be empty");
    }
    return text;
}

double CJsonReader::NumberOf(const JsonAt& at) const {
    if (!at.value.is_number()) {
        Fail(at.pointer, "expected a number, not " + ShownValue(at.value));
    }
    return at.value.get<double>();
}

double CJsonReader::NumberIn(const JsonAt& at, double low, double high,
                             const std::string& unit) const {
    const double value = NumberOf(at);
    if (!(value >= low && value <= high)) {
        Fail(at.pointer, "must be from " + ShownNumber(low) + " to " + ShownNumber(high) + " " +
                             unit + ", not " + ShownValue(at.value));
    }
    return value;
}

uint32_t CJsonReader::Unsigned(const JsonAt& at, uint32_t maximum) const {
    const std::string range = "from 0 to " + std::to_string(maximum);
    if (at.value.is_string()) {
        const std::string& text = at.value.get_ref<const std::string&>();
        const bool hex = text.size() > 2 && text.size() <= 10 && text[0] == '0' &&
                         (text[1] == 'x' || text[1] == 'X') &&
                         text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
        const unsigned long long value = hex ? std::strtoull(text.c_str() + 2, nullptr, 16) : 0;
        if (!hex || value > maximum) {
            Fail(at.pointer, "expected a whole number " + range +
                                 " or a hexadecimal \"0x...\", not " + ShownValue(at.value));
        }
        return static_cast<uint32_t>(value);
    }
    if (!at.value.is_number()) {
        Fail(at.pointer, "expected a whole number, not " + ShownValue(at.value));
    }
    const double value = at.value.get<double>();
    if (!(value >= 0 && value <= maximum) || value != std::floor(value)) {
        Fail(at.pointer, "expected a whole number " + range + ", not " + ShownValue(at.value));
    }
    return static_cast<uint32_t>(value);
}

}  // namespace svcpsim
