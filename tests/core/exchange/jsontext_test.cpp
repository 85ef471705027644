// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exchange/jsontext.hpp"
#include "core/text/plaintext.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>

namespace ravik::jsontext {
namespace {
using test::PrintTo;

// A JSON string as written (between its quotes) and what the reader makes of it: its UTF-8
// content, or the reason it is refused.
struct EscapeRow {
    std::string name;
    std::string written;
    std::optional<std::string> content;
    std::string refusal = {};
};

class JsonEscapes : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(JsonEscapes, DecodeToUtf8OrAreRefusedWithTheirReason) {
    const EscapeRow& row = GetParam();
    const Parsed parsed = parse("\"" + row.written + "\"");
    if (row.content) {
        ASSERT_FALSE(parsed.error) << *parsed.error;
        EXPECT_EQ(parsed.value.kind, Value::Kind::String);
        EXPECT_EQ(parsed.value.text, *row.content);
    } else {
        ASSERT_TRUE(parsed.error);
        EXPECT_EQ(*parsed.error, "line 1: " + row.refusal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JsonEscapes,
    ::testing::Values(
        EscapeRow{"ShortEscapes", R"(\"\\\/\n\t\r\b\f)", "\"\\/\n\t\r\b\f"},
        EscapeRow{"OneByteCharacter", R"(\u0041)", "A"},
        EscapeRow{"TwoByteCharacter", R"(\u00e9)", "\xC3\xA9"},
        EscapeRow{"ThreeByteCharacter", R"(\u20AC)", "\xE2\x82\xAC"},
        EscapeRow{"SurrogatePairIsOneCharacter", R"(\uD83D\uDE00)", "\xF0\x9F\x98\x80"},
        EscapeRow{"LastCharacterOfUnicode", R"(\uDBFF\uDFFF)", "\xF4\x8F\xBF\xBF"},
        // A byte that is no UTF-8, as quoted() writes it: the byte itself comes back.
        EscapeRow{"LoneLowSurrogateOfAByte", R"(a\uDCE9b)",
                  "a\xE9"
                  "b"},
        EscapeRow{"HighSurrogateBeforeAnotherCharacter", R"(\uD83D\u0041)", std::nullopt,
                  "\\uD83D is the high half of a surrogate pair, but no \\u escape of a low half "
                  "(DC00 to DFFF) follows it"},
        EscapeRow{"HighSurrogateBeforeAnotherHigh", R"(\uD83D\uD83D)", std::nullopt,
                  "\\uD83D is the high half of a surrogate pair, but no \\u escape of a low half "
                  "(DC00 to DFFF) follows it"},
        EscapeRow{"HighSurrogateAlone", R"(x\ud83dy)", std::nullopt,
                  "\\ud83d is the high half of a surrogate pair, but no \\u escape of a low half "
                  "(DC00 to DFFF) follows it"},
        EscapeRow{"LowSurrogateAlone", R"(\uDE00)", std::nullopt,
                  "\\uDE00 is the low half of a surrogate pair without its high half"},
        EscapeRow{"ShortHexadecimal", R"(\u12)", std::nullopt,
                  "a \\u escape needs four hexadecimal digits"},
        EscapeRow{"ShortLowHalf", R"(\uD83D\uDE)", std::nullopt,
                  "a \\u escape needs four hexadecimal digits"},
        EscapeRow{"UnknownEscape", R"(\x41)", std::nullopt,
                  "a string holds \\x, which is no JSON escape"}),
    test::RowName{});

// JSON output is UTF-8 whatever the names hold, and a name comes back byte for byte.
TEST(JsonText, ANameThatIsNoUtf8IsEscapedReversibly) {
    EXPECT_EQ(jsontext::quoted("u\xff.gap"), "\"u\\udcff.gap\"");
    EXPECT_EQ(jsontext::quoted("\xc3\xa4\t\x01"), "\"\xc3\xa4\\t\\u0001\"");
    std::mt19937 random(16);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::string name;
        for (int i = 0; i < 24; ++i)
            name += static_cast<char>(byte(random));
        const std::string json = jsontext::quoted(name);
        for (std::size_t at = 0; at < json.size();) {
            const std::size_t length = plaintext::utf8SequenceAt(json, at);
            ASSERT_GT(length, 0U) << json;
            at += length;
        }
        const Parsed parsed = parse(json);
        ASSERT_FALSE(parsed.error) << *parsed.error;
        EXPECT_EQ(parsed.value.text, name);
    }
}

} // namespace
} // namespace ravik::jsontext
