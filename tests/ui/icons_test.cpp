// SPDX-License-Identifier: GPL-3.0-or-later
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>
#include <string>

namespace ravik::test {
namespace {

class Icon : public ::testing::TestWithParam<std::string> {};

// Every icon the windows name is in the program and draws something at the size of a button's
// icon, in whichever format this build carries it.
TEST_P(Icon, DrawsAtButtonSize) {
    const QIcon icon(QStringLiteral(":/icons/") + QString::fromStdString(GetParam()));
    const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(16, 16));
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    EXPECT_GT(painted, 16 * 16 / 8);
}

INSTANTIATE_TEST_SUITE_P(Names, Icon,
                         ::testing::Values("about", "exit", "new", "open", "refresh", "tools",
                                           "toolswindow", "ravik"));

} // namespace
} // namespace ravik::test
