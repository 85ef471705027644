// SPDX-License-Identifier: GPL-3.0-or-later
// One rule, one answer: the same GAP files put to every window and command that judges them.
// The main window and gaptool check keep the structure check's verdict; gaptool lint, the
// Voice Pack window and the Recording window call a file with bytes after its last whole record
// not valid, and word those bytes alike.
#include "cli/gaptoolrun.hpp"
#include "ui/recordingwindow.hpp"
#include "ui/voicepackwindow.hpp"
#include "uitest.hpp"

#include <QElapsedTimer>
#include <QTableView>
#include <QTest>
#include <filesystem>

namespace ravik::test {
namespace {

namespace fs = std::filesystem;

struct GapRow {
    const char* name;
    Bytes bytes;
    const char* verdict; ///< the main window's verdict field
    const char* stray;   ///< how every other caller words the bytes after the last record
};

void PrintTo(const GapRow& row, std::ostream* out) {
    *out << row.name;
}

Bytes followedBy(Bytes bytes, std::initializer_list<std::uint8_t> more) {
    bytes.insert(bytes.end(), more);
    return bytes;
}

class OneRuleTest : public MainWindowTest, public ::testing::WithParamInterface<GapRow> {
protected:
    OneRuleTest() {
        fs::copy_file(fs::path(RAVIK_SOURCE_FOLDER) / "examples" / "speech.wav",
                      dir.path() / "take.wav");
        gap = dir.file("take.gap");
        writeBytes(gap, GetParam().bytes);
    }

    /// What the Voice Pack window shows of the line: its status, then its findings.
    std::pair<QString, QString> voicePackAnswer() {
        VoicePackWindow pack(
            VoicePackHost{[](const QString&, const QString&) {}, [](const QString&) {}});
        pack.openFolder(QString::fromStdString(dir.path().string()));
        QElapsedTimer clock;
        clock.start();
        while (pack.scanning() && clock.elapsed() < 60'000)
            QTest::qWait(10);
        EXPECT_FALSE(pack.scanning());
        pack.table().selectRow(0);
        return {pack.filter().index(0, VoicePackModel::StatusColumn).data().toString(),
                pack.findingsText()};
    }

    std::string gap;
};

TEST_P(OneRuleTest, EveryCallerGivesTheSameAnswer) {
    const GapRow& row = GetParam();
    const QString stray = QString::fromUtf8(row.stray);

    // The main window and gaptool check: the structure check's verdict.
    window.openPath(QString::fromStdString(gap));
    EXPECT_EQ(text("txtValidate"), row.verdict);
    const Output check = gaptool({"check", gap});
    EXPECT_EQ(check.status == cli::ExitStatus::AllCorrect, std::string(row.verdict) == "Correct")
        << check.out;

    // gaptool lint, the Voice Pack window and the Recording window: the same fault, or none.
    const Output lint = gaptool({"lint", gap});
    const auto [status, findings] = voicePackAnswer();
    window.openRecording(QString::fromStdString(dir.file("take.wav")), QString::fromStdString(gap));
    const QString recordingStatus = window.recordingWindow()->statusText();
    if (stray.isEmpty()) {
        EXPECT_EQ(lint.out.find("partial-record"), std::string::npos) << lint.out;
        EXPECT_NE(status, "structure incorrect");
        EXPECT_FALSE(recordingStatus.contains("not a valid GAP file"))
            << recordingStatus.toStdString();
        return;
    }
    EXPECT_NE(lint.out.find("partial-record: " + stray.toStdString()), std::string::npos)
        << lint.out;
    EXPECT_EQ(status, "structure incorrect");
    EXPECT_TRUE(findings.contains("partial-record: " + stray)) << findings.toStdString();
    EXPECT_TRUE(recordingStatus.contains("is not a valid GAP file (" + stray + ")"))
        << recordingStatus.toStdString();
}

// A lone byte after the last record is never read by the structure check, so the main window
// calls the file correct, as the original check does; two or more bytes make a record of their
// own, one that ends before it starts.
INSTANTIATE_TEST_SUITE_P(
    Rows, OneRuleTest,
    ::testing::Values(GapRow{"whole_records", records({{100, 400}, {1600, 1900}}), "Correct", ""},
                      GapRow{"one_byte_after", followedBy(records({{100, 400}, {1600, 1900}}), {7}),
                             "Correct", "the file ends 1 byte into a record of 8"},
                      GapRow{"three_bytes_after",
                             followedBy(records({{100, 400}, {1600, 1900}}), {7, 0, 0}),
                             "Incorrect !", "the file ends 3 bytes into a record of 8"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace ravik::test
