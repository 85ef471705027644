#include "recordings.hpp"

#include "paths.hpp"

#ifdef RAVIK_WITH_AUDIO
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"

#include <array>
#include <filesystem>
#endif

namespace ravik::cli::recordings {

#ifdef RAVIK_WITH_AUDIO

namespace {
namespace fs = std::filesystem;

// The recording of speech.gap is the file beside it with the same name and one of the endings
// of the formats the audio library reads, in lower or upper case.
std::optional<std::string> recordingBeside(const std::string& gapPath) {
    static constexpr std::array<const char*, 9> kEndings{".wav",  ".flac", ".ogg", ".opus", ".mp3",
                                                         ".aiff", ".aif",  ".WAV", ".FLAC"};
    const fs::path gap = toPath(gapPath);
    for (const char* ending : kEndings) {
        fs::path candidate = gap;
        candidate.replace_extension(ending);
        std::error_code error;
        if (fs::is_regular_file(candidate, error))
            return utf8Of(candidate);
    }
    return std::nullopt;
}

} // namespace

bool available() {
    return true;
}

Length lengthOf(const std::string& path) {
    auto opened = audio::SoundFile::open(path);
    if (!opened.file)
        return {0, opened.failure};
    return {static_cast<double>(opened.file->frames()) / opened.file->sampleRate(), std::nullopt};
}

void addFindings(const std::string& gapPath, const GapBytes& bytes,
                 std::vector<lint::Finding>& findings) {
    const auto recording = recordingBeside(gapPath);
    if (!recording)
        return;
    const std::string name = utf8Of(toPath(*recording).filename());
    auto opened = audio::SoundFile::open(*recording);
    std::optional<Failure> failure = opened.failure;
    audio::Detection detection;
    if (opened.file) {
        // As verify does: every quiet stretch, so that short listed silences are judged too.
        audio::DetectOptions options;
        options.leastSilenceMs = 1;
        detection = audio::detectSilences(*opened.file, options);
        failure = detection.failure;
    }
    if (failure) {
        findings.push_back({lint::Kind::Recording, std::nullopt, std::nullopt,
                            "beside it, " + failure->sentence()});
        return;
    }
    std::vector<audio::Silence> listed;
    for (std::uint64_t at = 0; at + kRecordSize <= bytes.size(); at += kRecordSize)
        listed.push_back({bytes.word(at), bytes.word(at + 4)});
    for (const audio::Finding& finding :
         audio::compareSilences(listed, detection, audio::kDefaultLeastSilenceMs))
        findings.push_back(
            {lint::Kind::Recording, std::nullopt, finding.atMs, name + ": " + finding.text});
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

void addFindings(const std::string&, const GapBytes&, std::vector<lint::Finding>&) {}

#endif

} // namespace ravik::cli::recordings
