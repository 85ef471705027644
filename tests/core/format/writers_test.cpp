// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/format/writers.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;

struct ParseCase {
    std::string name;
    std::string text;
    std::optional<std::int16_t> value;
    std::string decimalSeparator = ".";
};

std::vector<ParseCase> parseCases() {
    return {
        {"Whole", "100", 100},
        {"LeadingZeros", "0100", 100},
        {"BlanksAround", " 12\t", 12},
        {"HalfDownToEven", "12.5", 12},
        {"HalfUpToEven", "13.5", 14},
        {"NegativeHalfToEven", "-12.5", -12},
        {"JustAboveHalfUp", "0.5000000000000000000001", 1},
        {"UsersSeparator", "13,5", 14, ","},
        {"Largest", "32767", 32767},
        {"Smallest", "-32768", -32768},
        {"TooLarge", "32768", std::nullopt},
        {"TooLargeAfterRounding", "32767.5", std::nullopt},
        {"ManyDigits", "1000000000000000000000", std::nullopt},
        {"Empty", "", std::nullopt},
        {"Letters", "12a", std::nullopt},
        {"Exponent", "1e3", std::nullopt},
        {"CommaWithPointSeparator", "12,5", std::nullopt},
    };
}

class ParseMillisecondsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseMillisecondsTest, Converts) {
    EXPECT_EQ(parseMilliseconds(GetParam().text, GetParam().decimalSeparator), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseMillisecondsTest, ::testing::ValuesIn(parseCases()),
                         test::RowName{});

} // namespace
} // namespace ravik
