// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/statuslines.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik {
namespace {

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
