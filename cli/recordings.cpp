#include "recordings.hpp"

#include "paths.hpp"

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

std::optional<std::string> pairedRecording(const std::string& gapName,
                                           const std::vector<std::string>& names) {
    return voicepack::pairedRecording(gapName, names);
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

std::optional<std::string> pairedRecording(const std::string&, const std::vector<std::string>&) {
    return std::nullopt;
}

std::optional<std::string> recordingBeside(const std::string&) {
    return std::nullopt;
}

void addFindings(const std::string&, const GapBytes&, std::vector<lint::Finding>&) {}

#endif

} // namespace ravik::cli::recordings
