// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordings.hpp"

#include "paths.hpp"

#include <algorithm>

#ifdef RAVIK_WITH_AUDIO
#include "audio/soundfile.hpp"
#include "pack/voicepack.hpp"
#endif

namespace ravik::cli::recordings {

#ifdef RAVIK_WITH_AUDIO

bool available() {
    return true;
}

Length lengthOf(const std::string& path) {
    auto opened = audio::SoundFile::open(path);
    if (!opened.file)
        return {0, opened.failure};
    return {static_cast<double>(opened.file->frames()) / opened.file->sampleRate(), std::nullopt};
}

struct FolderRecordings::Pairing {
    voicepack::FolderPairing pairing;
};

FolderRecordings::FolderRecordings(const std::vector<fileio::FolderEntry>& entries)
    : pairing_(std::make_unique<Pairing>(Pairing{voicepack::FolderPairing(entries)})) {}

FolderRecordings::~FolderRecordings() = default;

std::optional<std::string> FolderRecordings::of(std::string_view gapName) const {
    return pairing_->pairing.recordingOf(gapName);
}

std::vector<std::string> FolderRecordings::alone() const {
    std::vector<std::string> names;
    for (const auto& [stem, pair] : pairing_->pairing.pairs())
        if (pair.recording && !pair.gap)
            names.push_back(*pair.recording);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<Failure> openFailure(const std::string& path) {
    return audio::SoundFile::open(path).failure;
}

std::string gapFileBeside(const std::string& path) {
    return voicepack::gapFileBeside(path);
}

std::optional<std::string> recordingBeside(const std::string& gapPath) {
    return voicepack::recordingBeside(gapPath);
}

void addFindings(const std::string& recording, const GapBytes& bytes,
                 std::vector<lint::Finding>& findings) {
    voicepack::addRecordingFindings(recording, bytes, findings);
}

#else

// Built without the audio library: no recording can be read, so lint has nothing to compare.

bool available() {
    return false;
}

Length lengthOf(const std::string& path) {
    return {0, Failure{"Could not read the recording", path,
                       "This gaptool was built without the audio library (libsndfile)"}};
}

struct FolderRecordings::Pairing {};

FolderRecordings::FolderRecordings(const std::vector<fileio::FolderEntry>&) {}

FolderRecordings::~FolderRecordings() = default;

std::optional<std::string> FolderRecordings::of(std::string_view) const {
    return std::nullopt;
}

std::vector<std::string> FolderRecordings::alone() const {
    return {};
}

std::optional<Failure> openFailure(const std::string&) {
    return std::nullopt;
}

std::string gapFileBeside(const std::string& path) {
    std::filesystem::path gap = toPath(path);
    gap.replace_extension(".gap");
    return utf8Of(gap);
}

std::optional<std::string> recordingBeside(const std::string&) {
    return std::nullopt;
}

void addFindings(const std::string&, const GapBytes&, std::vector<lint::Finding>&) {}

#endif

} // namespace ravik::cli::recordings
