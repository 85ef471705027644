#include "testset.hpp"

#include "audio/soundfile.hpp"
#include "core/silencematch.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <sndfile.h>
#include <stdexcept>

namespace ravik::testset {
namespace {

// One phrase, cut to its first and last sample above -48 dBFS: espeak-ng fades some phrases out
// over hundreds of milliseconds far below any noise, which no listener counts as speech.
std::vector<float> phrase(int number) {
    const std::string path =
        std::string(RAVIK_PHRASES_FOLDER) + "/phrase" + std::to_string(number) + ".wav";
    auto opened = audio::SoundFile::open(path);
    if (!opened.file || opened.file->channels() != 1 || opened.file->sampleRate() != 22'050)
        throw std::runtime_error("cannot read " + path);
    std::vector<float> samples(static_cast<std::size_t>(opened.file->frames()));
    samples.resize(opened.file->readFrames(samples));
    const auto sounds = [](float value) { return std::abs(value) >= 1.0F / 256; };
    const auto first = std::find_if(samples.begin(), samples.end(), sounds);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), sounds).base();
    return {first, last};
}

} // namespace

std::string nameOf(Condition condition) {
    switch (condition) {
    case Condition::clean:
        return "clean";
    case Condition::stereo44k:
        return "clean, 44.1 kHz stereo";
    case Condition::noise20dB:
        return "white noise, 20 dB SNR";
    case Condition::noise10dB:
        return "white noise, 10 dB SNR";
    case Condition::hum:
        return "50 Hz hum";
    case Condition::clicks:
        return "clicks in pauses";
    }
    return "";
}

Recording makeRecording(Condition condition, int repeat) {
    constexpr int kRate = 22'050;
    // Pauses of every length from just over the least silence to long breaths.
    constexpr int kPausesMs[] = {300, 60, 120, 700, 80, 250, 500, 400};
    constexpr int kPhrases = 6;
    std::vector<float> mono;
    std::vector<std::pair<std::size_t, std::size_t>> pauses; // in samples
    std::vector<std::vector<float>> phrases;
    for (int number = 1; number <= kPhrases; ++number)
        phrases.push_back(phrase(number));
    std::size_t pause = 0;
    const auto addPause = [&] {
        const auto length =
            static_cast<std::size_t>(kPausesMs[pause++ % std::size(kPausesMs)]) * kRate / 1000;
        pauses.emplace_back(mono.size(), mono.size() + length);
        mono.resize(mono.size() + length, 0.0F);
    };
    for (int round = 0; round < repeat; ++round)
        for (const auto& samples : phrases) {
            addPause();
            mono.insert(mono.end(), samples.begin(), samples.end());
        }
    addPause();

    double speechPower = 0;
    for (float value : mono)
        speechPower += double{value} * value;
    std::size_t speaking = mono.size();
    for (const auto& [from, to] : pauses)
        speaking -= to - from;
    speechPower /= static_cast<double>(speaking);

    std::mt19937 random(20'261'207);
    const auto addNoise = [&](double snrDb) {
        std::normal_distribution<double> noise(0.0,
                                               std::sqrt(speechPower / std::pow(10, snrDb / 10)));
        for (float& value : mono)
            value += static_cast<float>(noise(random));
    };
    switch (condition) {
    case Condition::clean:
    case Condition::stereo44k:
        break;
    case Condition::noise20dB:
        addNoise(20);
        break;
    case Condition::noise10dB:
        addNoise(10);
        break;
    case Condition::hum: {
        // Mains hum 30 dB below the speech.
        const double amplitude = std::sqrt(2 * speechPower) * std::pow(10, -30.0 / 20);
        for (std::size_t i = 0; i < mono.size(); ++i)
            mono[i] += static_cast<float>(
                amplitude * std::sin(2 * std::numbers::pi * 50 * static_cast<double>(i) / kRate));
        break;
    }
    case Condition::clicks:
        // A 3 ms click (a lip smack) in the middle of every pause of 200 ms or more.
        for (const auto& [from, to] : pauses) {
            if ((to - from) * 1000 < 200 * kRate)
                continue;
            const std::size_t at = (from + to) / 2;
            for (std::size_t i = 0; i < 3 * kRate / 1000; ++i)
                mono[at + i] = static_cast<float>(
                    0.4 * std::exp(-static_cast<double>(i) / 20) *
                    std::sin(2 * std::numbers::pi * 2000 * static_cast<double>(i) / kRate));
        }
        break;
    }

    Recording recording;
    const int factor = condition == Condition::stereo44k ? 2 : 1;
    recording.sampleRate = kRate * factor;
    recording.channels = factor;
    if (condition == Condition::stereo44k) {
        // Each sample held for two, the right channel softer than the left.
        for (float value : mono)
            for (int copy = 0; copy < 2; ++copy) {
                recording.samples.push_back(value);
                recording.samples.push_back(0.7F * value);
            }
    } else {
        recording.samples = std::move(mono);
    }
    for (const auto& [from, to] : pauses)
        recording.truth.push_back(
            {static_cast<double>(from) * 1000 / kRate, static_cast<double>(to) * 1000 / kRate});
    return recording;
}

bool writeWav(const Recording& recording, const std::string& path, int format) {
    SF_INFO info{};
    info.samplerate = recording.sampleRate;
    info.channels = recording.channels;
    info.format = format != 0 ? format : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    const auto frames = static_cast<sf_count_t>(recording.samples.size()) / recording.channels;
    const bool written = sf_writef_float(file, recording.samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

Score score(const std::vector<Interval>& truth, const std::vector<Interval>& found) {
    Score result;
    result.expected = static_cast<int>(truth.size());
    result.found = static_cast<int>(found.size());
    double boundarySum = 0;
    for (const silences::Pairing& pair : silences::pairSilences(truth, found)) {
        if (!pair.a || !pair.b)
            continue;
        ++result.matched;
        const Interval& real = truth[*pair.a];
        const Interval& candidate = found[*pair.b];
        for (double error :
             {std::abs(candidate.start - real.start), std::abs(candidate.end - real.end)}) {
            result.worstBoundaryMs = std::max(result.worstBoundaryMs, error);
            boundarySum += error;
        }
    }
    if (result.matched > 0)
        result.meanBoundaryMs = boundarySum / (2 * result.matched);
    if (result.expected + result.found > 0)
        result.f1 = 2.0 * result.matched / (result.expected + result.found);
    return result;
}

std::vector<Interval> intervalsOf(const std::vector<ravik::Silence>& silences) {
    std::vector<Interval> intervals;
    for (const ravik::Silence& silence : silences)
        intervals.push_back({double(silence.start), double(silence.end)});
    return intervals;
}

} // namespace ravik::testset
