// The generic JSON reader: where a value is, and how each check refuses,
// whatever the schema that uses it.
#include <functional>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "json/JsonLineIndex.h"
#include "json/JsonReader.h"

namespace svcpsim {
namespace {

using nlohmann::json;

// Lines joined with line ends; line n of the text is lines[n - 1].
std::string Text(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += std::string(line) + "\n";
    }
    return text;
}

TEST(JsonLineIndex, GivesTheLineWhereEachValueStarts) {
    const std::string text = Text({
        R"({"a": {"b/c": 1,)",   // 1
        R"(  "d~e": [)",         // 2
        R"(    2,)",             // 3
        R"(    "x\"y",)",        // 4
        R"(    {"f": null}],)",  // 5
        R"(  "g": "multi)",      // 6: the string goes on
        R"(" },)",               // 7
        R"( "h": 3})",           // 8
    });
    // The string on lines 6-7 is not JSON (a raw line end); the index does
    // not judge, counts the line and goes on.
    const CJsonLineIndex index(text);
    EXPECT_EQ(index.LineOf(""), 1);
    EXPECT_EQ(index.LineOf("/a/b~1c"), 1);
    EXPECT_EQ(index.LineOf("/a/d~0e"), 2);
    EXPECT_EQ(index.LineOf("/a/d~0e/0"), 3);
    EXPECT_EQ(index.LineOf("/a/d~0e/1"), 4);
    EXPECT_EQ(index.LineOf("/a/d~0e/2/f"), 5);
    EXPECT_EQ(index.LineOf("/h"), 8);
    EXPECT_EQ(index.LineOf("/a/d~0e/2/missing"), 5) << "the nearest ancestor";
    EXPECT_EQ(index.LineOf("/nothing/below"), 1);
    EXPECT_EQ(CJsonLineIndex("").LineOf(""), 0);
}

TEST(JsonLineIndex, EscapedKeysAndNumbersAtLineEnds) {
    const std::string text = Text({
        R"({"\u0041\/": [1)",  // 1
        R"(, 2)",              // 2
        R"(]})",               // 3
    });
    const CJsonLineIndex index(text);
    EXPECT_EQ(index.LineOf("/A~1/0"), 1) << "a number ended by a line end stays on its line";
    EXPECT_EQ(index.LineOf("/A~1/1"), 2);
}

TEST(JsonLineIndex, ARepeatedKeyIsTheLastAsInTheDocument) {
    const std::string text = Text({
        R"({"a": {"b": 1},)",  // 1
        R"( "a": {"c": 2}})",  // 2
    });
    const CJsonLineIndex index(text);
    EXPECT_EQ(index.LineOf("/a"), 2);
    EXPECT_EQ(index.LineOf("/a/b"), 2) << "the /a that the document keeps has no b";
    EXPECT_EQ(index.LineOf("/a/c"), 2);
}

TEST(JsonLineIndex, FindsTheFirstContainerDeeperThanALimit) {
    const std::string text = Text({
        R"({"a": [[1],)",        // 1
        R"(  {"b~/": [[]]}],)",  // 2
        R"( "c": [[[]]]})",      // 3
    });
    const CJsonLineIndex index(text);
    std::string pointer;
    int line = 0;
    ASSERT_TRUE(index.FindDeeperThan(3, &pointer, &line));
    EXPECT_EQ(pointer, "/a/1/b~0~1") << "not /c/0/0, which comes later";
    EXPECT_EQ(line, 2);
    ASSERT_TRUE(index.FindDeeperThan(4, &pointer, &line));
    EXPECT_EQ(pointer, "/a/1/b~0~1/0");
    EXPECT_FALSE(index.FindDeeperThan(5, &pointer, &line)) << "5 levels at most";
}

const std::string kDocument = Text({
    R"({"n": 5,)",                       // 1
    R"( "h": "0xFFFF",)",                // 2
    R"( "s": "",)",                      // 3
    R"( "a/b": [1.5, -1, "0x",)",        // 4
    R"(   "0x000000001", "x\u0000"]})",  // 5
});

// The message a check gives on kDocument, or "" when it accepts.
std::string Refusal(const std::function<void(const CJsonReader&, const JsonAt&)>& check) {
    const json document = json::parse(kDocument);
    const CJsonReader reader(document, kDocument, "t.json");
    try {
        check(reader, reader.Root());
    } catch (const CJsonReadError& e) {
        return e.what();
    }
    return "";
}

TEST(JsonReader, EachCheckRefusesWithOriginLinePointerAndProblem) {
    const struct {
        std::function<void(const CJsonReader&, const JsonAt&)> check;
        const char* message;
    } cases[] = {
        {[](auto& r, auto& root) {
             r.ExpectObject(root, {"n", "h", "s"});
         },
         "t.json:4: /a~1b: unknown member (known: n, h, s)"},
        {[](auto& r, auto& root) { r.ExpectArray(r.Need(root, "n")); },
         "t.json:1: /n: expected an array, not 5"},
        {[](auto& r, auto& root) { r.Need(root, "m"); }, "t.json:1: /m: missing"},
        {[](auto& r, auto& root) { r.Unsigned(r.Need(root, "n"), 4); },
         "t.json:1: /n: expected a whole number from 0 to 4, not 5"},
        {[](auto& r, auto& root) { r.Unsigned(r.Need(root, "h"), 0xFFFE); },
         "t.json:2: /h: expected a whole number from 0 to 65534 or a hexadecimal \"0x...\", not "
         "\"0xFFFF\""},
        {[](auto& r, auto& root) { r.Unsigned(r.Element(r.Need(root, "a/b"), 0), 9); },
         "t.json:4: /a~1b/0: expected a whole number from 0 to 9, not 1.5"},
        {[](auto& r, auto& root) { r.Unsigned(r.Element(r.Need(root, "a/b"), 1), 9); },
         "t.json:4: /a~1b/1: expected a whole number from 0 to 9, not -1"},
        {[](auto& r, auto& root) { r.Unsigned(r.Element(r.Need(root, "a/b"), 2), 9); },
         "t.json:4: /a~1b/2: expected a whole number from 0 to 9 or a hexadecimal \"0x...\", "
         "not \"0x\""},
        {[](auto& r, auto& root) { r.Unsigned(r.Element(r.Need(root, "a/b"), 3), 9); },
         "t.json:5: /a~1b/3: expected a whole number from 0 to 9 or a hexadecimal "
         "\"0x...\", not \"0x000000001\""},
        {[](auto& r, auto& root) { r.Text(r.Element(r.Need(root, "a/b"), 4)); },
         "t.json:5: /a~1b/4: must not contain a NUL character"},
        {[](auto& r, auto& root) { r.NonEmptyText(r.Need(root, "s")); },
         "t.json:3: /s: must not be empty"},
        {[](auto& r, auto& root) { r.Text(r.Need(root, "n")); },
         "t.json:1: /n: expected a string, not 5"},
        {[](auto& r, auto& root) { r.NumberIn(r.Need(root, "n"), 0, 2.5, "V"); },
         "t.json:1: /n: must be from 0 to 2.5 V, not 5"},
        {[](auto& r, auto& root) { r.NumberOf(r.Need(root, "a/b")); },
         "t.json:4: /a~1b: expected a number, not an array"},
        {[](auto& r, auto& root) { r.Fail(root.pointer, "whole"); }, "t.json:1: /: whole"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Refusal(c.check), c.message);
    }
}

TEST(JsonReader, AcceptsWhatItsChecksAllow) {
    EXPECT_EQ(Refusal([](auto& r, auto& root) {
                  EXPECT_EQ(r.Unsigned(r.Need(root, "h"), 0xFFFF), 0xFFFFu);
                  EXPECT_EQ(r.Unsigned(r.Need(root, "n"), 5), 5u);
                  EXPECT_EQ(r.NumberIn(r.Need(root, "n"), 5, 5, ""), 5);
                  EXPECT_EQ(r.Text(r.Need(root, "s")), "");
                  EXPECT_FALSE(r.Find(root, "m").has_value());
                  r.ExpectObject(root, {"a/b", "s", "h", "n"});
              }),
              "");
}

TEST(JsonReader, ShowsValuesAndPointersCutToALine) {
    EXPECT_EQ(ShownValue(json::object()), "{}");
    EXPECT_EQ(ShownValue(json::parse("[1]")), "an array");
    EXPECT_EQ(ShownValue("tab\t"), "\"tab\\t\"");
    // 36 x and a two-byte character across the cut at 37: cut before it.
    const std::string shown = ShownValue(std::string(36, 'x') + "\xC3\xA9" + std::string(10, 'y'));
    EXPECT_EQ(shown, "\"" + std::string(36, 'x') + "...\"");
    const std::string pointer = "/" + std::string(200, 'k');
    EXPECT_EQ(ShownPointer(pointer), pointer.substr(0, 80) + "..." + std::string(40, 'k'));
    EXPECT_EQ(ShownPointer(pointer.substr(0, 123)), pointer.substr(0, 123));
    EXPECT_EQ(ShownNumber(32.767), "32.767");
}

TEST(JsonReader, ParsingRefusesBadTextAndDepthBeforeBuildingIt) {
    json document;
    std::string error;
    EXPECT_TRUE(ParseJsonDocument("[[1]]", "t.json", 2, &document, &error)) << error;
    EXPECT_EQ(document, json::parse("[[1]]"));
    EXPECT_FALSE(ParseJsonDocument("[\n [[1]]]", "t.json", 2, &document, &error));
    EXPECT_EQ(error, "t.json:2: /0/0: nested more than 2 levels deep");
    EXPECT_FALSE(ParseJsonDocument("{\n  \"a\" 1}", "t.json", 2, &document, &error));
    EXPECT_EQ(error.rfind("t.json:2:7: not valid JSON: ", 0), 0u) << error;
}

}  // namespace
}  // namespace svcpsim
