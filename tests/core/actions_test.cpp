#include "core/actions.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace ravik {
namespace {

using test::records;
using Steps = std::vector<std::string>;

// Writes down each step an action shows, in order.
class RecordingView final : public ActionView {
public:
    Steps steps;
    std::string path;

    [[nodiscard]] std::string currentPath() const override { return path; }
    void setCurrentPath(const std::string& newPath) override {
        path = newPath;
        steps.push_back("current: " + newPath);
    }
    void clearStatus() override { steps.emplace_back("clear"); }
    void appendStatus(std::string_view line) override { steps.emplace_back(line); }
    void appendStatus(const StatusLines& lines) override {
        for (const std::string& line : lines.toVector())
            steps.push_back(line);
    }
    void reportFailure(const Failure& failure) override {
        steps.push_back("failure: " + failure.action);
    }
    void showTimeline(const Timeline& timeline) override {
        steps.push_back("fields: " + (timeline.failure ? std::string("none") : timeline.count));
    }
    void showCheck(const StructureCheck& check) override {
        steps.push_back("verdict: " + std::string(check.verdictText()));
    }
    void clearVerdict() override { steps.emplace_back("verdict emptied"); }
    [[nodiscard]] PictureSize pictureSize() const override { return kTimelinePicture; }
    [[nodiscard]] std::string decimalSeparator() const override { return "."; }
};

class ActionsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    RecordingView view;
    const std::string oneSilence = dir.write("one.gap", records({{100, 200}}));
    const Steps drawnAndChecked{">> Designing Graph", "Silence:  100 (64) - 200 (C8)", "fields: 1",
                                ">> GAP format is correct !", "verdict: Correct"};
};

Steps joined(Steps first, const Steps& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(ActionsTest, OpenEmptiesListAndVerdictBeforeAskingThenLoadsDrawsAndChecks) {
    actions::open(view, [&] {
        view.steps.emplace_back("asked");
        return std::optional(oneSilence);
    });
    EXPECT_EQ(view.steps, joined({"clear", "verdict emptied", "asked",
                                  ">> Loaded File: " + oneSilence, "current: " + oneSilence},
                                 drawnAndChecked));
}

TEST_F(ActionsTest, OpenWithoutAChoiceLoadsNothing) {
    actions::open(view, [] { return std::optional<std::string>(); });
    EXPECT_EQ(view.steps, (Steps{"clear", "verdict emptied", "No File Loaded..."}));
}

TEST_F(ActionsTest, DefragDrawsAgainWithoutChecking) {
    view.path = dir.write("fragment.gap", records({{100, 120}, {300, 400}}));
    actions::defrag(view);
    EXPECT_EQ(view.steps,
              (Steps{">>>>> Initialising Defragging Function",
                     "Frag detected:  100 (64) - 120 (78)", " >> Defragging Finished Successfully",
                     ">> Designing Graph", "Silence:  300 (12C) - 400 (190)", "fields: 1"}));
}

TEST_F(ActionsTest, ActionsOnTheCurrentFileDoNothingWithoutOne) {
    actions::timeline(view);
    actions::check(view);
    actions::defrag(view);
    actions::startWith(view, "");
    EXPECT_EQ(view.steps, Steps{});
}

TEST_F(ActionsTest, GenericFileEmptiesTheListThenIsTakenUpLikeAnyWrittenFile) {
    const std::string path = dir.file("generic.gap");
    ASSERT_TRUE(actions::createGeneric(view, path));
    EXPECT_EQ(view.steps, (Steps{"clear", ">>Created Generic GAP at: " + path, "current: " + path,
                                 ">> Designing Graph", "Silence: 0 (0) -  1 (1)", "fields: 1",
                                 ">> GAP format is correct !", "verdict: Correct"}));
}

TEST_F(ActionsTest, GenericFileThatCannotBeWrittenOnlySaysSo) {
    EXPECT_FALSE(actions::createGeneric(view, dir.file("no folder/generic.gap")));
    ASSERT_EQ(view.steps.size(), 1U);
    EXPECT_EQ(view.steps[0].rfind("failure: ", 0), 0U) << view.steps[0];
}

TEST_F(ActionsTest, UnreadableFileIsReportedOnceThoughDrawnAndChecked) {
    actions::startWith(view, dir.file("missing.gap"));
    EXPECT_EQ(view.steps, (Steps{"current: " + dir.file("missing.gap"), ">> Designing Graph",
                                 "failure: Could not open", "fields: none", "verdict: "}));
}

TEST_F(ActionsTest, SilenceIsWrittenAsTypedOrNotAtAll) {
    const std::string path = dir.file("new.gap");
    EXPECT_TRUE(actions::writeSilence(view, path, "0100", "200"));
    EXPECT_FALSE(actions::writeSilence(view, path, "x", "200"));
    EXPECT_EQ(view.steps, (Steps{"Writing Silence : 0100 - 200", "failure: Nothing written to"}));
    EXPECT_EQ(test::readBytes(path), records({{100, 200}}));
}

} // namespace
} // namespace ravik
