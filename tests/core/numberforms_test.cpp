#include "core/numberforms.hpp"
#include "core/statuslines.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik {
namespace {
using test::PrintTo;
namespace nf = numberforms;

struct FormCase {
    std::string name;
    std::string actual;
    std::string expected;
};

class NumberFormsTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(NumberFormsTest, Text) {
    EXPECT_EQ(GetParam().actual, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NumberFormsTest,
    ::testing::Values(FormCase{"SpacedZeroHasABlank", nf::spacedDecimal(0), " 0"},
                      FormCase{"SpacedNegativeHasNoBlank", nf::spacedDecimal(-300), "-300"},
                      FormCase{"SpacedBeyond32Bits", nf::spacedDecimal(4294967295LL),
                               " 4294967295"},
                      FormCase{"PlainPositive", nf::plainDecimal(1500), "1500"},
                      FormCase{"PlainNegative", nf::plainDecimal(-1), "-1"},
                      FormCase{"Hex32Zero", nf::hex32(0), "0"},
                      FormCase{"Hex32UpperCase", nf::hex32(1200), "4B0"},
                      FormCase{"Hex32NegativeIsEightDigits", nf::hex32(-1), "FFFFFFFF"},
                      FormCase{"Hex16NegativeIsFourDigits", nf::hex16(-1), "FFFF"},
                      FormCase{"Hex16Of40000", nf::hex16(-25536), "9C40"},
                      FormCase{"OffsetOfThe64thRecord", nf::hexOffset(63 * 8), "1F8"},
                      FormCase{"WholeCount", nf::halves(2 * 3, "."), "3"},
                      FormCase{"HalfCount", nf::halves(2 * 2 + 1, ","), "2,5"},
                      FormCase{"HalfOfOne", nf::halves(1, "."), "0.5"}),
    test::RowName{});

TEST(StatusLines, KeepsLinesApartAndJoinsThemWithBreaks) {
    StatusLines lines{"first", ""};
    lines.add({"a", "b", "c"});
    StatusLines more{"last"};
    lines.append(more);
    EXPECT_EQ(lines.toVector(), (std::vector<std::string>{"first", "", "abc", "last"}));
    EXPECT_EQ(lines[3], "last");
    EXPECT_EQ(lines.text(), "first\n\nabc\nlast\n");

    StatusLines middle{"before"};
    middle.append(lines, 1, 2);
    EXPECT_EQ(middle.toVector(), (std::vector<std::string>{"before", "", "abc"}));
    EXPECT_EQ(middle.text(), "before\n\nabc\n");
}

} // namespace
} // namespace ravik
