// Prints the accuracy table of the README: the silence detector with its defaults beside
// ffmpeg's silencedetect at -40 dB and at the threshold that scores best on each recording,
// chosen with hindsight (-80 to -6 dB, d=0.051 s: the least silence length). Run by hand; needs
// ffmpeg.
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/testset.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <unistd.h>

namespace {
using namespace ravik::testset;

std::vector<Interval> ffmpegSilences(const std::string& path, int db) {
    const std::string command = "ffmpeg -nostdin -hide_banner -nostats -i '" + path +
                                "' -af silencedetect=noise=" + std::to_string(db) +
                                "dB:d=0.051 -f null - 2>&1";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string output;
    char buffer[4096];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        output += buffer;
    std::vector<Interval> found;
    const std::regex start("silence_start: (-?[0-9.e-]+)");
    const std::regex end("silence_end: ([0-9.e-]+)");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), start);
         it != std::sregex_iterator(); ++it)
        found.push_back({std::stod((*it)[1]) * 1000, 1e12});
    std::size_t index = 0;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), end);
         it != std::sregex_iterator() && index < found.size(); ++it)
        found[index++].end = std::stod((*it)[1]) * 1000;
    return found;
}

} // namespace

int main() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("ravik-accuracy-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::printf("| Recording | Ravik F1 | Ravik boundary error, mean / worst | ffmpeg -40 dB F1 | "
                "ffmpeg best F1 (threshold) |\n|---|---|---|---|---|\n");
    for (const Condition condition : kConditions) {
        const Recording recording = makeRecording(condition, 3);
        const std::string path = (folder / "recording.wav").string();
        if (!writeWav(recording, path))
            return 1;
        auto opened = ravik::audio::SoundFile::open(path);
        const auto detection = ravik::audio::detectSilences(*opened.file);
        const Score ours = score(recording.truth, intervalsOf(detection.silences));
        const Score fixed = score(recording.truth, ffmpegSilences(path, -40));
        Score best;
        int bestDb = 0;
        for (int db = -80; db <= -6; ++db) {
            const Score tried = score(recording.truth, ffmpegSilences(path, db));
            if (tried.f1 > best.f1) {
                best = tried;
                bestDb = db;
            }
        }
        std::printf("| %s | %.2f | %.1f / %.1f ms | %.2f | %.2f (%d dB) |\n",
                    nameOf(condition).c_str(), ours.f1, ours.meanBoundaryMs, ours.worstBoundaryMs,
                    fixed.f1, best.f1, bestDb);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
