// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Form2.hpp"
#include "ui/Form3.hpp"
#include "ui/Form4.hpp"
#include "uitest.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace ravik::test {
namespace {

using test::PrintTo;

// Positions are kept in twips, as the window layouts were designed; a pixel is 15 twips.
struct Placement {
    std::string name; // window/control
    int left;
    int top;
    int width;
    int height;
    std::string toolTip = "-"; // "-": not checked
};

std::vector<Placement> placements() {
    return {
        {"Form1/Command2", 120, 120, 375, 375, "New GAP"},
        {"Form1/cmO", 600, 120, 375, 375, "Open GAP"},
        {"Form1/cmR", 960, 120, 375, 375, "Refresh"},
        {"Form1/cmT", 1320, 120, 375, 375, "Tools and Options"},
        {"Form1/cmX", 1680, 120, 375, 375, "Exit Ravik"},
        {"Form1/cmA", 2040, 120, 375, 375, "About Ravik"},
        {"Form1/imO", 600, 120, 375, 375, ""},
        {"Form1/ImR", 960, 120, 375, 375, ""},
        {"Form1/imT", 1320, 120, 375, 375, ""},
        {"Form1/imX", 1680, 120, 375, 375, ""},
        {"Form1/imA", 2040, 120, 375, 375, ""},
        {"Form1/lbFilepath", 2520, 240, 735, 255},
        {"Form1/txtPath", 3240, 240, 2775, 285, "The complete path to the file opened"},
        {"Form1/Label1", 120, 600, 1335, 255},
        {"Form1/txtLength", 1440, 600, 1575, 285,
         "Total lenght of silences in the file, measured in millisecs.."},
        {"Form1/Label3", 3240, 600, 1215, 255},
        {"Form1/txtCount", 4440, 600, 1575, 285,
         "Displays the total amount of silences in the file."},
        {"Form1/Label2", 120, 840, 1335, 255},
        {"Form1/txtMin", 1440, 840, 1575, 285, "The minimum length of the source file."},
        {"Form1/Label4", 3240, 840, 1215, 255},
        {"Form1/txtValidate", 4440, 840, 1575, 285, "Displays whether structuring problems exist."},
        {"Form1/GAP", 120, 1320, 5895, 495},
        {"Form1/Sts", 120, 1920, 5895, 1230},
        {"Form3/Command1", 120, 120, 1815, 495,
         "Checks again if the file has any structure problems."},
        {"Form3/Command2", 120, 600, 1815, 495,
         "Searches and removes all tiny silences, to 'clean up' the GAP."},
        {"Form3/Command3", 120, 1080, 1815, 495,
         "Use at first time or when moving Ravik. Displays GAPs with a special icon, and loads "
         "then automatically by simple double-clicking on the Explorer window, like any normal "
         "files. Higly recommended."},
        {"Form3/Command4", 120, 1560, 1815, 495,
         "Use in cases you need a GAP that does not have any impact on the speach of the NPC. "
         "Usually, when the file needs to be placed to override a GAP in a SLF."},
        {"Form4/Label3", 120, 0, 1215, 255},
        {"Form4/Text3", 120, 240, 2295, 285, "The path of the new file."},
        {"Form4/Label1", 120, 720, 1215, 255},
        {"Form4/Text1", 1440, 720, 975, 285,
         "Enter here the time in which the silence eins, measured in millisecs."},
        {"Form4/Label2", 120, 960, 1335, 255},
        {"Form4/Text2", 1440, 960, 975, 285,
         "Enter here the time in which the silence ends, measured in millisecs."},
        {"Form4/Check1", 120, 1200, 1215, 495,
         "Click this when you enter the last silence's info."},
        {"Form4/Command1", 120, 2280, 2295, 375, "Write the above info to the GAP."},
        {"Form4/Command2", 120, 1920, 1215, 375, "Choose a file to create."},
        {"Form4/Command3", 1320, 1920, 1095, 375, "Delete the contents of the loaded file."},
    };
}

class LayoutTest : public MainWindowTest, public ::testing::WithParamInterface<Placement> {
protected:
    LayoutTest() {
        window.showForm2();
        window.showForm3();
        window.showForm4();
    }
    QWidget* windowNamed(const std::string& name) {
        if (name == "Form2")
            return window.form2();
        if (name == "Form3")
            return window.form3();
        if (name == "Form4")
            return window.form4();
        return &window;
    }
};

TEST_P(LayoutTest, ControlSitsWhereItWasDesigned) {
    const Placement& row = GetParam();
    const std::size_t slash = row.name.find('/');
    QWidget* control =
        windowNamed(row.name.substr(0, slash))
            ->findChild<QWidget*>(QString::fromStdString(row.name.substr(slash + 1)));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(),
              QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
    if (row.toolTip != "-") {
        EXPECT_EQ(control->toolTip().toStdString(), row.toolTip);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LayoutTest, ::testing::ValuesIn(placements()), [](const auto& row) {
    std::string name = row.param.name;
    name[name.find('/')] = '_';
    return name;
});

TEST_F(MainWindowTest, WindowsHaveTheirCaptionsAndInsideSizes) {
    window.showForm2();
    window.showForm3();
    window.showForm4();
    EXPECT_EQ(window.windowTitle(), "Vesk-Ravik");
    EXPECT_EQ(window.size(), QSize(6105 / 15, 3225 / 15));
    EXPECT_EQ(window.form2()->windowTitle(), "About Ravik");
    EXPECT_EQ(window.form2()->size(), QSize(4680 / 15, 4425 / 15));
    EXPECT_EQ(window.form3()->windowTitle(), "Tools");
    EXPECT_EQ(window.form3()->size(), QSize(2040 / 15, 2145 / 15));
    EXPECT_EQ(window.form4()->windowTitle(), "Silence Info");
    EXPECT_EQ(window.form4()->size(), QSize(2535 / 15, 2730 / 15));
}

TEST_F(MainWindowTest, ControlsStayPutWhenTheWindowIsResized) {
    window.resize(800, 600);
    EXPECT_EQ(window.findChild<QWidget*>("Sts")->geometry(),
              QRect(120 / 15, 1920 / 15, 5895 / 15, 1230 / 15));
}

TEST_F(MainWindowTest, ResultFieldsAreReadOnlyAndTheTimesAreNot) {
    window.showForm4();
    for (const char* name : {"txtPath", "txtLength", "txtCount", "txtMin", "txtValidate"})
        EXPECT_TRUE(window.findChild<QLineEdit*>(name)->isReadOnly()) << name;
    EXPECT_TRUE(window.form4()->findChild<QLineEdit*>("Text3")->isReadOnly());
    EXPECT_FALSE(window.form4()->findChild<QLineEdit*>("Text1")->isReadOnly());
    EXPECT_FALSE(window.form4()->findChild<QLineEdit*>("Text2")->isReadOnly());
}

// The first pixel row that holds the text's ink, well off the label's background.
int firstInkRow(QLabel& label) {
    const QImage image = label.grab().toImage();
    const int background = label.palette().color(label.backgroundRole()).lightness();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::abs(image.pixelColor(x, y).lightness() - background) > 60)
                return y;
    return -1;
}

// Labels start their text at the top of their box, as the layouts place it: the capital that
// begins each of these labels stands at the font's ascent less its capital height.
class LabelTest : public MainWindowTest,
                  public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(LabelTest, TextStartsAtTheTopOfItsBox) {
    window.showForm2();
    const auto [windowName, labelName] = GetParam();
    QWidget* owner =
        std::string(windowName) == "Form2" ? static_cast<QWidget*>(window.form2()) : &window;
    auto* label = owner->findChild<QLabel*>(labelName);
    ASSERT_NE(label, nullptr);
    const QFontMetrics metrics(label->font());
    // Some font engines (Windows' off screen) know no capital height and give the ascent; the
    // capital then starts a little below the top, still well above where centring puts it.
    const bool capitalKnown = metrics.capHeight() < metrics.ascent();
    EXPECT_NEAR(firstInkRow(*label), metrics.ascent() - metrics.capHeight(), capitalKnown ? 1 : 2)
        << "box " << label->height() << " px, line " << metrics.height() << " px";
}

INSTANTIATE_TEST_SUITE_P(Labels, LabelTest,
                         ::testing::Values(std::pair{"Form2", "Label1"},
                                           std::pair{"Form1", "Label1"}),
                         [](const auto& row) {
                             return std::string(row.param.first) + "_" + row.param.second;
                         });

// The result fields and the list take the light 3-D colour: lighter than the button face, and
// no lighter than the highlight, with their text still readable, in light and dark palettes.
class FieldColourTest : public ::testing::TestWithParam<std::pair<const char*, QPalette>> {
protected:
    FieldColourTest()
        : before_(QApplication::palette()) {
        QApplication::setPalette(GetParam().second);
    }
    ~FieldColourTest() override { QApplication::setPalette(before_); }

private:
    QPalette before_;
};

TEST_P(FieldColourTest, LighterThanTheFaceNoLighterThanTheHighlightAndReadable) {
    Form1 main([](const StatusSink&) {});
    const QPalette& palette = GetParam().second;
    const int face = palette.color(QPalette::Button).lightness();
    const int highlight = palette.color(QPalette::Light).lightness();
    for (const char* name : {"txtLength", "txtCount", "txtMin", "txtValidate", "Sts"}) {
        const QPalette own = main.findChild<QWidget*>(name)->palette();
        const QColor base = own.color(QPalette::Base);
        EXPECT_GT(base.lightness(), face) << name;
        EXPECT_LE(base.lightness(), highlight) << name;
        EXPECT_GE(std::abs(own.color(QPalette::Text).lightness() - base.lightness()), 128)
            << name << ": text readable on it";
    }
    EXPECT_EQ(main.findChild<QWidget*>("txtPath")->palette().color(QPalette::Base),
              palette.color(QPalette::Button));
}

QPalette darkPalette() {
    QPalette dark(QColor(53, 53, 53)); // the face; Qt derives the 3-D shades from it
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    return dark;
}

INSTANTIATE_TEST_SUITE_P(Palettes, FieldColourTest,
                         ::testing::Values(std::pair{"Default", QPalette()},
                                           std::pair{"Dark", darkPalette()}),
                         [](const auto& row) { return std::string(row.param.first); });

TEST_F(MainWindowTest, SilenceInfoTabsFromStartToEndToTheButtons) {
    window.showForm4();
    window.form4()->activateWindow();
    auto* start = window.form4()->findChild<QLineEdit*>("Text1");
    start->setFocus();
    std::vector<std::string> order{"Text1"};
    for (QWidget* next = start->nextInFocusChain(); next != start && order.size() < 8;
         next = next->nextInFocusChain())
        if (next->focusPolicy() & Qt::TabFocus)
            order.push_back(next->objectName().toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"Text1", "Text2", "Check1", "Command1", "Command2",
                                               "Command3", "Text3"}));
}

} // namespace
} // namespace ravik::test
