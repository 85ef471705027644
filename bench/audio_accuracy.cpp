// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the accuracy tables of docs/speed-and-accuracy.md: the silence detector with its
// defaults on the real-voice recordings of the test set, beside ffmpeg's silencedetect at the
// threshold that scores best on each recording (-80 to -10 dB in steps of 2, d=0.051 s: the
// least silence length) and, when bench/anchors/install has installed them, Silero VAD, WebRTC
// VAD and TEN VAD at their best settings for each recording, all chosen with hindsight; then the
// espeak-ng set.
// Run by hand from the source folder's build; needs ffmpeg (and Node.js for the anchors).
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/testset.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {
using namespace ravik::testset;

std::string run(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string output;
    char buffer[4096];
    while (pipe && fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        output += buffer;
    return output;
}

std::vector<Interval> ffmpegSilences(const std::string& path, int db) {
    const std::string output =
        run("ffmpeg -nostdin -hide_banner -nostats -i '" + path +
            "' -af silencedetect=noise=" + std::to_string(db) + "dB:d=0.051 -f null - 2>&1");
    std::vector<Interval> found;
    const std::regex start("silence_start: (-?[0-9.e-]+)");
    const std::regex end("silence_end: ([0-9.e-]+)");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), start);
         it != std::sregex_iterator(); ++it)
        found.push_back({std::max(0.0, std::stod((*it)[1]) * 1000), 1e12});
    std::size_t index = 0;
    for (auto it = std::sregex_iterator(output.begin(), output.end(), end);
         it != std::sregex_iterator() && index < found.size(); ++it)
        found[index++].end = std::stod((*it)[1]) * 1000;
    return found;
}

// The lines of bench/anchors/vad.js: "SETTING START-END ...".
std::vector<std::pair<std::string, std::vector<Interval>>> anchorSilences(const std::string& which,
                                                                          const std::string& path) {
    std::vector<std::pair<std::string, std::vector<Interval>>> settings;
    std::istringstream lines(
        run("node '" RAVIK_ANCHORS_FOLDER "/vad.js' " + which + " '" + path + "' 2>/dev/null"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string setting;
        words >> setting;
        std::vector<Interval> found;
        for (std::string span; words >> span;) {
            const auto dash = span.find('-');
            found.push_back({std::stod(span.substr(0, dash)), std::stod(span.substr(dash + 1))});
        }
        settings.emplace_back(setting, found);
    }
    return settings;
}

struct Best {
    Score score;
    std::string setting;
};

Best best(const std::vector<Interval>& truth,
          const std::vector<std::pair<std::string, std::vector<Interval>>>& settings) {
    Best found;
    found.score.f1 = -1;
    for (const auto& [setting, silences] : settings) {
        const Score tried = score(truth, silences);
        if (tried.f1 > found.score.f1 ||
            (tried.f1 == found.score.f1 && tried.medianBoundaryMs < found.score.medianBoundaryMs))
            found = {tried, setting};
    }
    return found;
}

// Counts over many recordings, for a pooled F1.
struct Pool {
    int matched = 0;
    int found = 0;
    int expected = 0;
    void add(const Score& score) {
        matched += score.matched;
        found += score.found;
        expected += score.expected;
    }
    [[nodiscard]] double f1() const {
        return expected + found == 0 ? 0 : 2.0 * matched / (expected + found);
    }
};

std::string cell(const Score& score) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f (%.1f / %.0f ms)", score.f1, score.medianBoundaryMs,
                  score.worstBoundaryMs);
    return text;
}

} // namespace

int main() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("ravik-accuracy-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "recording.wav").string();
    const bool anchors =
        std::filesystem::exists(RAVIK_ANCHORS_FOLDER "/node_modules/webrtcvad") &&
        std::filesystem::exists(RAVIK_ANCHORS_FOLDER "/node_modules/@gooney-001/ten-vad-lib");
    if (!anchors)
        std::fprintf(stderr, "audio_accuracy: bench/anchors/install has not been run: no Silero "
                             "VAD, WebRTC VAD or TEN VAD columns\n");
    // The detectors of bench/anchors/vad.js, by its name for them, and their columns' headings.
    const std::vector<std::pair<std::string, std::string>> peers =
        anchors ? std::vector<std::pair<std::string, std::string>>{{"silero", "Silero VAD (v6.2)"},
                                                                   {"webrtc", "WebRTC VAD"},
                                                                   {"ten", "TEN VAD"}}
                : std::vector<std::pair<std::string, std::string>>{};

    std::string heading = "| Recording | Ravik F1 (edge error median / worst) | ffmpeg best |";
    std::string rule = "|---|---|---|";
    for (const auto& [name, title] : peers) {
        heading += " " + title + " best |";
        rule += "---|";
    }
    std::printf("%s\n%s\n", heading.c_str(), rule.c_str());
    Pool ravik, ffmpeg;
    std::vector<Pool> others(peers.size());
    int atLeastBest = 0;
    int recordings = 0;
    for (const Voice voice : kVoices)
        for (const VoiceCondition condition : kVoiceConditions) {
            const Recording recording = makeVoiceRecording(voice, condition);
            if (recording.samples.empty() || !writeWav(recording, path))
                continue;
            auto opened = ravik::audio::SoundFile::open(path);
            const auto detection = ravik::audio::detectSilences(*opened.file);
            const Score ours = score(recording.truth, intervalsOf(detection.silences));
            std::vector<std::pair<std::string, std::vector<Interval>>> sweep;
            for (int db = -80; db <= -10; db += 2)
                sweep.emplace_back(std::to_string(db) + " dB", ffmpegSilences(path, db));
            const Best byFfmpeg = best(recording.truth, sweep);
            ravik.add(ours);
            ffmpeg.add(byFfmpeg.score);
            ++recordings;
            double bestOther = byFfmpeg.score.f1;
            std::string row = "| " + nameOf(voice) + ", " + nameOf(condition) + " | " + cell(ours) +
                              " | " + cell(byFfmpeg.score) + " at " + byFfmpeg.setting + " |";
            for (std::size_t peer = 0; peer < peers.size(); ++peer) {
                const Best byPeer = best(recording.truth, anchorSilences(peers[peer].first, path));
                others[peer].add(byPeer.score);
                bestOther = std::max(bestOther, byPeer.score.f1);
                row += " " + cell(byPeer.score) + " at " + byPeer.setting + " |";
            }
            if (ours.f1 >= bestOther)
                ++atLeastBest;
            std::printf("%s\n", row.c_str());
            std::fflush(stdout);
        }
    std::printf("| pooled F1 | %.2f | %.2f |", ravik.f1(), ffmpeg.f1());
    for (const Pool& pool : others)
        std::printf(" %.2f |", pool.f1());
    std::printf("\n\nRavik's F1 is at least the best of the others on %d of %d recordings.\n\n",
                atLeastBest, recordings);

    std::printf("| espeak-ng set | Ravik F1 (edge error median / worst) | ffmpeg best |\n"
                "|---|---|---|\n");
    for (const Condition condition : kConditions) {
        const Recording recording = makeRecording(condition, 3);
        if (!writeWav(recording, path))
            return 1;
        auto opened = ravik::audio::SoundFile::open(path);
        const auto detection = ravik::audio::detectSilences(*opened.file);
        const Score ours = score(recording.truth, intervalsOf(detection.silences));
        std::vector<std::pair<std::string, std::vector<Interval>>> sweep;
        for (int db = -80; db <= -10; db += 2)
            sweep.emplace_back(std::to_string(db) + " dB", ffmpegSilences(path, db));
        const Best byFfmpeg = best(recording.truth, sweep);
        std::printf("| %s | %s | %s at %s |\n", nameOf(condition).c_str(), cell(ours).c_str(),
                    cell(byFfmpeg.score).c_str(), byFfmpeg.setting.c_str());
    }
    std::filesystem::remove_all(folder);
    return 0;
}
