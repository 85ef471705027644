// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/testset.hpp"
#include "document/silencedocument.hpp"
#include "support/testfiles.hpp"

#include <gtest/gtest.h>

namespace ravik::test {
namespace {

using document::SilenceDocument;
using Outcome = SilenceDocument::Saving::Outcome;

// A second of quiet at 8 kHz: the document needs a readable recording, whatever it holds.
class SilenceDocumentTest : public ::testing::Test {
protected:
    SilenceDocumentTest() {
        testset::Recording quiet;
        quiet.sampleRate = 8'000;
        quiet.samples.assign(8'000, 0.0F);
        wav = dir.file("take.wav");
        EXPECT_TRUE(testset::writeWav(quiet, wav));
        gap = dir.file("take.gap");
    }
    void openWith(const Bytes& bytes) {
        writeBytes(gap, bytes);
        ASSERT_FALSE(document.open(wav, gap));
    }
    void edit(const std::optional<SilenceDocument::Edit>& change) {
        ASSERT_TRUE(change);
        document.apply(change->list);
    }

    TempDir dir;
    std::string wav;
    std::string gap;
    SilenceDocument document;
};

TEST_F(SilenceDocumentTest, OpensTheRecordingAndTheSilencesOfAFileThatNeedNotExist) {
    ASSERT_FALSE(document.open(wav, gap));
    EXPECT_EQ(document.state(), SilenceDocument::State::Open);
    ASSERT_NE(document.peaks(), nullptr);
    EXPECT_EQ(document.peaks()->frames(), 8'000);
    EXPECT_TRUE(document.silences().empty());
    EXPECT_FALSE(document.isModified());
    EXPECT_FALSE(std::filesystem::exists(gap)); // reading never creates a file

    openWith(records({{100, 400}}));
    EXPECT_EQ(document.silences(), (std::vector<Silence>{{100, 400}}));
}

// A GAP file may list times after its recording's one second: those silences are named, the
// one that ends on the last millisecond is not.
TEST_F(SilenceDocumentTest, NamesTheSilencesPastTheRecordingsEnd) {
    openWith(records({{100, 400}, {900, 1000}, {1010, 1200}}));
    EXPECT_EQ(document.recordingEndMs(), 1000);
    EXPECT_EQ(document.pastTheEnd(document.silences()[0]), std::nullopt);
    EXPECT_EQ(document.pastTheEnd(document.silences()[1]), std::nullopt);
    EXPECT_EQ(document.pastTheEnd({999, 1000 + 1}), "past the recording's end at 1000 ms");
    EXPECT_EQ(document.pastTheEnd(document.silences()[2]), "past the recording's end at 1000 ms");
}

struct UnreadableRow {
    const char* name;
    bool recordingBroken; // else the GAP file cannot be read
};

class FailedOpenTest : public SilenceDocumentTest,
                       public ::testing::WithParamInterface<UnreadableRow> {};

// A failed open keeps nothing of what was open, edits included, and saving writes nowhere.
TEST_P(FailedOpenTest, KeepsNothingOfTheDocumentBefore) {
    openWith(records({{100, 400}}));
    edit(document.remove(0));
    const std::string otherWav =
        GetParam().recordingBroken ? dir.write("other.wav", {'a', 'b'}) : wav;
    const std::string otherGap = dir.file("folder.gap");
    std::filesystem::create_directory(otherGap); // a folder is no GAP file

    const std::optional<Failure> failure = document.open(otherWav, otherGap);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->path, GetParam().recordingBroken ? otherWav : otherGap);
    EXPECT_FALSE(failure->reason.empty());
    EXPECT_EQ(document.state(), SilenceDocument::State::Failed);
    EXPECT_EQ(document.failure(), failure);
    EXPECT_EQ(document.peaks(), nullptr);
    EXPECT_TRUE(document.silences().empty());
    EXPECT_FALSE(document.isModified());
    EXPECT_FALSE(document.add({10, 20})); // nothing to edit
    EXPECT_EQ(document.save().outcome, Outcome::Failed);
    EXPECT_EQ(readBytes(gap), records({{100, 400}}));
}

INSTANTIATE_TEST_SUITE_P(Document, FailedOpenTest,
                         ::testing::Values(UnreadableRow{"recording", true},
                                           UnreadableRow{"gap_file", false}),
                         RowName{});

TEST_F(SilenceDocumentTest, DiscardGoesBackToTheFileAsLoaded) {
    openWith(records({{100, 400}, {600, 900}}));
    edit(document.remove(1));
    EXPECT_TRUE(document.isModified());
    document.discard();
    EXPECT_FALSE(document.isModified());
    EXPECT_EQ(document.silences(), (std::vector<Silence>{{100, 400}, {600, 900}}));
}

// Modified means "saving would change the file": an edit taken back by another is none.
TEST_F(SilenceDocumentTest, ModifiedFollowsTheContentNotTheEdits) {
    openWith(records({{100, 400}}));
    edit(document.moveEdge(0, silences::Edge::End, 450));
    EXPECT_TRUE(document.isModified());
    edit(document.moveEdge(0, silences::Edge::End, 400));
    EXPECT_FALSE(document.isModified());
}

struct NoEditRow {
    const char* name;
    std::function<std::optional<SilenceDocument::Edit>(const SilenceDocument&)> operation;
};

class NoEditTest : public SilenceDocumentTest, public ::testing::WithParamInterface<NoEditRow> {};

// An operation that would change nothing, or break the file, makes no edit (and no undo step).
TEST_P(NoEditTest, GivesNothing) {
    openWith(records({{100, 400}, {600, 900}}));
    EXPECT_FALSE(GetParam().operation(document));
}

INSTANTIATE_TEST_SUITE_P(
    Document, NoEditTest,
    ::testing::Values(NoEditRow{"edge_to_where_it_is",
                                [](const SilenceDocument& d) {
                                    return d.moveEdge(0, silences::Edge::Start, 100);
                                }},
                      NoEditRow{"edge_of_no_silence",
                                [](const SilenceDocument& d) {
                                    return d.moveEdge(2, silences::Edge::End, 1000);
                                }},
                      NoEditRow{"add_over_a_silence",
                                [](const SilenceDocument& d) {
                                    return d.add({300, 500});
                                }},
                      NoEditRow{"add_touching_a_silence",
                                [](const SilenceDocument& d) {
                                    return d.add({400, 500});
                                }},
                      NoEditRow{"remove_no_silence",
                                [](const SilenceDocument& d) { return d.remove(2); }}),
    RowName{});

TEST_F(SilenceDocumentTest, SavingWritesTheListAndThenHoldsItAsTheFiles) {
    openWith(records({{100, 400}}));
    edit(document.add({1000, 1100}));
    const SilenceDocument::Saving saving = document.save();
    EXPECT_EQ(saving.outcome, Outcome::Saved);
    EXPECT_EQ(readBytes(gap), records({{100, 400}, {1000, 1100}}));
    EXPECT_FALSE(document.isModified());
    EXPECT_EQ(document.loadedBytes(), readBytes(gap));
}

// A file changed by another program since it was read is not replaced, unless the user agreed
// to replace exactly what it holds.
TEST_F(SilenceDocumentTest, AFileChangedOnDiskIsReplacedOnlyAsAgreed) {
    openWith(records({{100, 400}}));
    edit(document.add({1000, 1100}));
    const Bytes theirs = records({{10, 20}});
    writeBytes(gap, theirs);

    SilenceDocument::Saving saving = document.save();
    EXPECT_EQ(saving.outcome, Outcome::ChangedOnDisk);
    EXPECT_EQ(saving.onDisk, theirs);
    EXPECT_EQ(readBytes(gap), theirs);
    EXPECT_TRUE(document.isModified());

    const Bytes later = records({{10, 20}, {30, 40}}); // changed again while the user decided
    writeBytes(gap, later);
    EXPECT_EQ(document.save(theirs).outcome, Outcome::ChangedOnDisk);
    EXPECT_EQ(readBytes(gap), later);

    EXPECT_EQ(document.save(later).outcome, Outcome::Saved);
    EXPECT_EQ(readBytes(gap), records({{100, 400}, {1000, 1100}}));
}

TEST_F(SilenceDocumentTest, ReloadTakesTheFileAsItIsNow) {
    openWith(records({{100, 400}}));
    edit(document.remove(0));
    writeBytes(gap, records({{10, 20}}));
    EXPECT_FALSE(document.reload());
    EXPECT_EQ(document.silences(), (std::vector<Silence>{{10, 20}}));
    EXPECT_FALSE(document.isModified());
}

// A file that is no valid list shows no silences and says so; saving an edit replaces it.
TEST_F(SilenceDocumentTest, AnInvalidFileIsNamedAndReplacedBySaving) {
    openWith(records({{400, 100}}));
    ASSERT_TRUE(document.notice());
    EXPECT_NE(document.notice()->find(gap), std::string::npos);
    EXPECT_TRUE(document.silences().empty());
    EXPECT_FALSE(document.isModified());
    edit(document.add({10, 20}));
    EXPECT_EQ(document.save().outcome, Outcome::Saved);
    EXPECT_EQ(readBytes(gap), records({{10, 20}}));
    EXPECT_FALSE(document.notice());
}

} // namespace
} // namespace ravik::test
