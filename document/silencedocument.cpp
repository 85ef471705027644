// SPDX-License-Identifier: GPL-3.0-or-later
#include "silencedocument.hpp"

#include "core/files/fileio.hpp"
#include "core/text/numberforms.hpp"
#include "core/text/utf8path.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace ravik::document {

using audio::Detection;
using audio::SoundFile;
namespace {

// Lists compared by their times only: where a silence came from does not change the file.
bool sameTimes(const std::vector<Silence>& a, const std::vector<Silence>& b) {
    return std::ranges::equal(a, b, [](const Silence& x, const Silence& y) {
        return x.start == y.start && x.end == y.end;
    });
}

bool mayExist(const std::string& path) {
    std::error_code error;
    const bool exists = std::filesystem::exists(toPath(path), error);
    return exists || error; // a file that cannot even be looked at is read, to say why
}

} // namespace

std::optional<Failure> SilenceDocument::open(const std::string& recording, const std::string& gap) {
    *this = SilenceDocument{};
    recording_ = recording;
    gap_ = gap;
    const auto fail = [this](const Failure& failure) {
        state_ = State::Failed;
        failure_ = failure;
        return failure_;
    };
    SoundFile::Opened opened = SoundFile::open(recording);
    if (!opened.file)
        return fail(*opened.failure);
    Peaks::Read read = Peaks::read(*opened.file);
    if (read.failure)
        return fail(*read.failure);
    std::vector<std::uint8_t> bytes;
    if (mayExist(gap)) {
        fileio::Contents contents = fileio::readGapFile(gap);
        if (contents.failure)
            return fail(*contents.failure);
        bytes = std::move(contents.bytes);
    }
    peaks_ = std::move(read.peaks);
    take(std::move(bytes));
    state_ = State::Open;
    return std::nullopt;
}

void SilenceDocument::take(std::vector<std::uint8_t> bytes) {
    silences::Decoded decoded = silences::decodeFile(GapBytes(bytes));
    notice_.reset();
    if (!decoded.valid) {
        decoded.list.clear();
        notice_ = silences::invalidFileNotice(gap_, decoded.fault);
    }
    list_ = decoded.list;
    saved_ = std::move(decoded.list);
    loaded_ = std::move(bytes);
}

void SilenceDocument::discard() {
    list_ = saved_;
}

std::optional<Failure> SilenceDocument::reload() {
    if (!isOpen())
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    if (mayExist(gap_)) {
        fileio::Contents contents = fileio::readGapFile(gap_);
        if (contents.failure)
            return contents.failure;
        bytes = std::move(contents.bytes);
    }
    take(std::move(bytes));
    return std::nullopt;
}

std::int64_t SilenceDocument::recordingEndMs() const {
    return isOpen() ? std::llround(peaks_.lengthMs()) : 0;
}

std::optional<std::string> SilenceDocument::pastTheEnd(const Silence& silence) const {
    if (!isOpen() || silence.end <= recordingEndMs())
        return std::nullopt;
    return "past the recording's end at " + numberforms::plainDecimal(recordingEndMs()) + " ms";
}

bool SilenceDocument::isModified() const {
    return isOpen() && !sameTimes(list_, saved_);
}

std::optional<SilenceDocument::Edit> SilenceDocument::moveEdge(std::size_t index,
                                                               silences::Edge edge, int ms) const {
    if (index >= list_.size())
        return std::nullopt;
    const int to = silences::edgeRange(list_, index, edge).clamp(ms);
    std::vector<Silence> after = list_;
    std::int64_t& moved = edge == silences::Edge::Start ? after[index].start : after[index].end;
    if (moved == to)
        return std::nullopt;
    moved = to;
    return Edit{"Move Edge", std::move(after), index};
}

std::optional<SilenceDocument::Edit> SilenceDocument::add(const Silence& silence) const {
    if (!isOpen() || !silences::freeRoomAround(list_, static_cast<int>(silence.start)) ||
        !silences::freeRoomAround(list_, static_cast<int>(silence.end)))
        return std::nullopt;
    std::vector<Silence> after = list_;
    const std::size_t index = silences::insertionIndex(list_, silence);
    after.insert(after.begin() + static_cast<std::ptrdiff_t>(index), silence);
    if (!silences::isValid(after))
        return std::nullopt;
    return Edit{"Add Silence", std::move(after), index};
}

std::optional<SilenceDocument::Edit> SilenceDocument::remove(std::size_t index) const {
    if (!isOpen() || index >= list_.size())
        return std::nullopt;
    std::vector<Silence> after = list_;
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(index));
    return Edit{"Delete Silence", std::move(after), std::nullopt};
}

SilenceDocument::Detected SilenceDocument::detect(const DetectOptions& options) const {
    Detected detected;
    if (!isOpen())
        return detected;
    SoundFile::Opened opened = SoundFile::open(recording_);
    if (!opened.file) {
        detected.failure = opened.failure;
        return detected;
    }
    Detection detection = detectSilences(*opened.file, options);
    if (detection.failure) {
        detected.failure = detection.failure;
        return detected;
    }
    detected.warnings = std::move(detection.warnings);
    if (!sameTimes(detection.silences, list_))
        detected.edit = Edit{"Detect Silences", std::move(detection.silences), std::nullopt};
    return detected;
}

void SilenceDocument::apply(std::vector<Silence> list) {
    list_ = std::move(list);
}

SilenceDocument::Saving
SilenceDocument::save(const std::optional<std::vector<std::uint8_t>>& overwriting) {
    Saving saving;
    const auto fail = [&saving](Failure failure) {
        saving.outcome = Saving::Outcome::Failed;
        saving.failure = std::move(failure);
        return saving;
    };
    if (!isOpen())
        return fail({"Could not save", gap_, "no recording is open"});
    fileio::Locking locking = fileio::lockForWriting(gap_, fileio::IfMissing::create);
    if (locking.failure)
        return fail(*locking.failure);
    fileio::Contents now = locking.lock->read();
    if (now.failure)
        return fail(*now.failure);
    if (now.bytes != loaded_ && (!overwriting || now.bytes != *overwriting)) {
        saving.outcome = Saving::Outcome::ChangedOnDisk;
        saving.onDisk = std::move(now.bytes);
        return saving; // the lock ends here: nobody waits on it while the user decides
    }
    std::vector<std::uint8_t> bytes = silences::encode(list_);
    if (auto failure = locking.lock->replace(bytes))
        return fail(*failure);
    loaded_ = std::move(bytes);
    saved_ = list_;
    notice_.reset();
    return saving;
}

} // namespace ravik::document
