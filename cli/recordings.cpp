#include "recordings.hpp"

#include "paths.hpp"

#ifdef RAVIK_WITH_AUDIO
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/verify.hpp"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#endif

namespace ravik::cli::recordings {

#ifdef RAVIK_WITH_AUDIO

namespace {
namespace fs = std::filesystem;

constexpr std::array<std::string_view, 7> kEndings{".wav", ".flac", ".ogg", ".opus",
                                                   ".mp3", ".aiff", ".aif"};

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

bool isRecording(const fs::path& path) {
    std::string ending = utf8Of(path.extension());
    for (char& c : ending)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return std::find(kEndings.begin(), kEndings.end(), ending) != kEndings.end();
}

std::optional<std::string> recordingBeside(const std::string& gapPath) {
    const fs::path gap = toPath(gapPath);
    std::error_code error;
    for (fs::directory_iterator it(gap.parent_path().empty() ? "." : gap.parent_path(), error);
         !error && it != fs::directory_iterator(); it.increment(error))
        if (it->path().stem() == gap.stem() && isRecording(it->path()))
            return utf8Of(gap.parent_path() / it->path().filename());
    return std::nullopt;
}

void addFindings(const std::string& recording, const GapBytes& bytes,
                 std::vector<lint::Finding>& findings) {
    const std::string name = utf8Of(toPath(recording).filename());
    auto opened = audio::SoundFile::open(recording);
    audio::Verification verification;
    if (opened.file)
        verification = audio::verifyRecording(bytes, *opened.file); // as verify does by default
    if (const std::optional<Failure> failure =
            opened.file ? verification.failure : opened.failure) {
        // The failure's own sentence names the recording, so the finding reads on its own.
        findings.push_back(
            {lint::Kind::Recording, std::nullopt, std::nullopt, failure->sentence()});
        return;
    }
    for (const audio::Finding& finding : verification.findings)
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

bool isRecording(const std::filesystem::path&) {
    return false;
}

std::optional<std::string> recordingBeside(const std::string&) {
    return std::nullopt;
}

void addFindings(const std::string&, const GapBytes&, std::vector<lint::Finding>&) {}

#endif

} // namespace ravik::cli::recordings
