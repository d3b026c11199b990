// Reading a JSON document against a schema, with refusals that name the
// place: "origin:line: /pointer: problem". The schema (which members, which
// ranges) belongs to the caller; this is the part every JSON file the
// simulator reads shares: parsing with a depth bound, JSON pointers, the
// line of a value, shape and scalar checks and the message format.
//
// Values are shown as written but cut to about 40 characters, containers by
// what they are, long pointers cut in the middle: a message is one line of
// bounded length whatever the document holds.
//
// Immutable after construction; const members may be used from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "JsonLineIndex.h"

namespace svcpsim {

// Parses `text`, refusing a container with `maxDepth` containers around it
// before it is built. False with *error set ("origin:line:column: not valid
// JSON: ...", "origin:line: /pointer: nested more than N levels deep").
bool ParseJsonDocument(const std::string& text, const std::string& origin, size_t maxDepth,
                       nlohmann::json* document, std::string* error);

// The refusal of a document: its what() is the whole message.
class CJsonReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value of the document and the pointer that names it.
struct JsonAt {
    const nlohmann::json& value;
    std::string pointer;
};

// A value as a message shows it: a scalar as written, cut to about 40
// characters; a container by what it is (never the whole of it).
std::string ShownValue(const nlohmann::json& value);
// A pointer as a message shows it: "/" for the root, a long one (a huge key)
// cut in the middle.
std::string ShownPointer(const std::string& pointer);
// A number as a message shows it (%g).
std::string ShownNumber(double value);

class CJsonReader {
public:
    // Keeps views of `document` and `text`, which must outlive the reader.
    // `origin` names the text in messages (a file name).
    CJsonReader(const nlohmann::json& document, std::string_view text, std::string origin)
        : m_Document(document), m_Lines(text), m_sOrigin(std::move(origin)) {}

    JsonAt Root() const { return JsonAt{m_Document, ""}; }

    // Throws CJsonReadError: "origin:line: /pointer: problem".
    [[noreturn]] void Fail(const std::string& pointer, const std::string& problem) const;

    // An object whose members are all among `known`.
    void ExpectObject(const JsonAt& at, std::initializer_list<const char*> known) const;
    void ExpectArray(const JsonAt& at) const;

    // Members and elements; Need refuses a missing member.
    std::optional<JsonAt> Find(const JsonAt& object, const char* key) const;
    JsonAt Need(const JsonAt& object, const char* key) const;
    JsonAt Element(const JsonAt& array, size_t index) const;
    static std::string Child(const JsonAt& at, const std::string& key);

    // A string without NUL characters; NonEmptyText also not empty.
    std::string Text(const JsonAt& at) const;
    std::string NonEmptyText(const JsonAt& at) const;
    double NumberOf(const JsonAt& at) const;
    // A number from low to high; `unit` follows the range in the message.
    double NumberIn(const JsonAt& at, double low, double high, const std::string& unit) const;
    // A whole number up to maximum, or a string of hexadecimal digits after
    // "0x".
    uint32_t Unsigned(const JsonAt& at, uint32_t maximum) const;

private:
    const nlohmann::json& m_Document;
    const CJsonLineIndex m_Lines;
    const std::string m_sOrigin;
};

}  // namespace svcpsim
