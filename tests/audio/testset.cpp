// SPDX-License-Identifier: GPL-3.0-or-later
#include "testset.hpp"

#include "audio/soundfile.hpp"
#include "core/format/silencematch.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <random>
#include <sndfile.h>
#include <stdexcept>

namespace ravik::testset {
namespace {

// A mono recording of the test set at `rate`.
std::vector<float> readMono(const std::string& path, int rate) {
    auto opened = audio::SoundFile::open(path);
    if (!opened.file || opened.file->channels() != 1 || opened.file->sampleRate() != rate)
        throw std::runtime_error("cannot read " + path);
    std::vector<float> samples(static_cast<std::size_t>(opened.file->frames()));
    samples.resize(opened.file->readFrames(samples));
    return samples;
}

// One phrase, cut to its first and last sample above -48 dBFS: espeak-ng fades some phrases out
// over hundreds of milliseconds far below any noise, which no listener counts as speech.
std::vector<float> phrase(int number) {
    const std::vector<float> samples = readMono(
        std::string(RAVIK_PHRASES_FOLDER) + "/phrase" + std::to_string(number) + ".wav", 22'050);
    const auto sounds = [](float value) { return std::abs(value) >= 1.0F / 256; };
    const auto first = std::find_if(samples.begin(), samples.end(), sounds);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), sounds).base();
    return {first, last};
}

// The mean power of the samples outside the pauses.
double speechPower(const std::vector<float>& samples,
                   const std::vector<std::pair<std::size_t, std::size_t>>& pauses) {
    double power = 0;
    std::size_t speaking = samples.size();
    for (std::size_t i = 0, pause = 0; i < samples.size(); ++i) {
        while (pause < pauses.size() && pauses[pause].second <= i)
            ++pause;
        if (pause < pauses.size() && pauses[pause].first <= i)
            continue;
        power += double{samples[i]} * samples[i];
    }
    for (const auto& [from, to] : pauses)
        speaking -= to - from;
    return power / static_cast<double>(std::max<std::size_t>(speaking, 1));
}

void addWhiteNoise(std::vector<float>& samples, double power, std::mt19937& random) {
    std::normal_distribution<double> noise(0.0, std::sqrt(power));
    for (float& value : samples)
        value += static_cast<float>(noise(random));
}

std::vector<Interval> intervalsAt(const std::vector<std::pair<std::size_t, std::size_t>>& pauses,
                                  int rate) {
    std::vector<Interval> truth;
    for (const auto& [from, to] : pauses)
        truth.push_back(
            {static_cast<double>(from) * 1000 / rate, static_cast<double>(to) * 1000 / rate});
    return truth;
}

// Reads a recording written by libsndfile back whole.
std::optional<Recording> readBack(const std::string& path) {
    auto opened = audio::SoundFile::open(path);
    if (!opened.file)
        return std::nullopt;
    Recording read;
    read.sampleRate = opened.file->sampleRate();
    read.channels = opened.file->channels();
    read.samples.resize(static_cast<std::size_t>(opened.file->frames()) *
                        static_cast<std::size_t>(read.channels));
    read.samples.resize(opened.file->readFrames(read.samples) *
                        static_cast<std::size_t>(read.channels));
    return read;
}

// Windowed-sinc resampling of interleaved frames, for the codecs that take only some rates.
Recording resampled(const Recording& recording, int rate) {
    Recording out;
    out.sampleRate = rate;
    out.channels = recording.channels;
    out.truth = recording.truth;
    const auto channels = static_cast<std::size_t>(recording.channels);
    const std::size_t frames = recording.samples.size() / channels;
    const double step = static_cast<double>(recording.sampleRate) / rate;
    const double cutoff = std::min(1.0, 1 / step);
    constexpr int kTaps = 24;
    const auto outFrames = static_cast<std::size_t>(static_cast<double>(frames) / step);
    out.samples.resize(outFrames * channels);
    for (std::size_t frame = 0; frame < outFrames; ++frame) {
        const double at = static_cast<double>(frame) * step;
        const auto centre = static_cast<std::ptrdiff_t>(std::floor(at));
        for (std::size_t channel = 0; channel < channels; ++channel) {
            double sum = 0;
            for (std::ptrdiff_t tap = centre - kTaps + 1; tap <= centre + kTaps; ++tap) {
                if (tap < 0 || tap >= static_cast<std::ptrdiff_t>(frames))
                    continue;
                const double x = (at - static_cast<double>(tap)) * cutoff;
                const double sinc =
                    x == 0 ? 1 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
                const double window = 0.5 + 0.5 * std::cos(std::numbers::pi *
                                                           (at - static_cast<double>(tap)) / kTaps);
                sum += recording.samples[static_cast<std::size_t>(tap) * channels + channel] *
                       cutoff * sinc * window;
            }
            out.samples[frame * channels + channel] = static_cast<float>(sum);
        }
    }
    return out;
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

    // The pauses are digital silence, so the power of the whole is the speech's alone.
    double power = 0;
    for (float value : mono)
        power += double{value} * value;
    std::size_t speaking = mono.size();
    for (const auto& [from, to] : pauses)
        speaking -= to - from;
    const double speechPower = power / static_cast<double>(speaking);

    std::mt19937 random(20'261'207);
    const auto addNoise = [&](double snrDb) {
        addWhiteNoise(mono, speechPower / std::pow(10, snrDb / 10), random);
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
    recording.truth = intervalsAt(pauses, kRate);
    return recording;
}

namespace {

// A far talker in a hard room: a room's decay of 0.5 s (four feedback combs and two all-passes)
// 12 dB louder than the voice it follows.
void reverberate(std::vector<float>& mono, int rate) {
    constexpr double kDecaySeconds = 0.5;
    constexpr double kWetOverDryDb = 12;
    std::vector<double> wet(mono.size(), 0.0);
    for (const double delayMs : {29.7, 37.1, 41.1, 43.7}) {
        const auto delay = static_cast<std::size_t>(delayMs * rate / 1000);
        const double gain = std::pow(10.0, -3.0 * delayMs / 1000 / kDecaySeconds);
        std::vector<double> comb(mono.size(), 0.0);
        for (std::size_t i = 0; i < mono.size(); ++i)
            comb[i] = mono[i] + (i >= delay ? gain * comb[i - delay] : 0.0);
        for (std::size_t i = 0; i < mono.size(); ++i)
            wet[i] += comb[i];
    }
    for (const double delayMs : {5.0, 1.7}) {
        const auto delay = static_cast<std::size_t>(delayMs * rate / 1000);
        constexpr double kGain = 0.7;
        std::vector<double> out(wet.size(), 0.0);
        for (std::size_t i = 0; i < wet.size(); ++i)
            out[i] = -kGain * wet[i] + (i >= delay ? wet[i - delay] + kGain * out[i - delay] : 0.0);
        wet = std::move(out);
    }
    double dryPower = 0;
    double wetPower = 0;
    for (std::size_t i = 0; i < mono.size(); ++i) {
        dryPower += double{mono[i]} * mono[i];
        wetPower += wet[i] * wet[i];
    }
    const double gain = std::sqrt(dryPower / wetPower * std::pow(10, kWetOverDryDb / 10));
    for (std::size_t i = 0; i < mono.size(); ++i)
        mono[i] = static_cast<float>((mono[i] + gain * wet[i]) / (1 + gain));
}

} // namespace

std::string nameOf(Voice voice) {
    switch (voice) {
    case Voice::tutor:
        return "tutor";
    case Voice::game:
        return "game";
    case Voice::narrator:
        return "narrator";
    }
    return "";
}

std::string nameOf(VoiceCondition condition) {
    switch (condition) {
    case VoiceCondition::clean:
        return "clean";
    case VoiceCondition::noise20dB:
        return "white noise, 20 dB SNR";
    case VoiceCondition::noise10dB:
        return "white noise, 10 dB SNR";
    case VoiceCondition::babble15dB:
        return "babble, 15 dB SNR";
    case VoiceCondition::hum:
        return "50 Hz hum";
    case VoiceCondition::mp3:
        return "MP3 64 kbit/s";
    case VoiceCondition::reverb:
        return "reverberation";
    }
    return "";
}

Recording makeVoiceRecording(Voice voice, VoiceCondition condition) {
    constexpr int kRate = 16'000;
    // Every length from just over the least silence to a long breath, in no order.
    constexpr int kPausesMs[] = {400, 60, 250, 1200, 90, 600, 150, 800, 70, 300, 1000};
    constexpr int kPhrases = 10;
    const std::string folder = std::string(RAVIK_VOICES_FOLDER) + "/" + nameOf(voice) + "/";
    const std::vector<float> room = readMono(folder + "room.wav", kRate);
    std::vector<float> mono;
    std::vector<std::pair<std::size_t, std::size_t>> pauses;
    std::size_t roomAt = 0;
    const auto addPause = [&] {
        const auto length = static_cast<std::size_t>(kPausesMs[pauses.size()]) * kRate / 1000;
        pauses.emplace_back(mono.size(), mono.size() + length);
        // Room tone from where the last pause left off, starting over when it runs out.
        for (std::size_t i = 0; i < length; ++i, ++roomAt)
            mono.push_back(room[roomAt % room.size()]);
    };
    for (int number = 1; number <= kPhrases; ++number) {
        addPause();
        const std::vector<float> phrase =
            readMono(folder + "phrase" + std::to_string(number) + ".wav", kRate);
        mono.insert(mono.end(), phrase.begin(), phrase.end());
    }
    addPause();

    const double power = speechPower(mono, pauses);
    std::mt19937 random(20'261'211 + static_cast<unsigned>(voice));
    switch (condition) {
    case VoiceCondition::clean:
    case VoiceCondition::mp3:
        break;
    case VoiceCondition::noise20dB:
        addWhiteNoise(mono, power / 100, random);
        break;
    case VoiceCondition::noise10dB:
        addWhiteNoise(mono, power / 10, random);
        break;
    case VoiceCondition::babble15dB: {
        // Five other actors at once, 15 dB under the speaker, from a place that differs for
        // each speaker.
        const std::vector<float> babble =
            readMono(std::string(RAVIK_VOICES_FOLDER) + "/babble.wav", kRate);
        double babblePower = 0;
        for (float value : babble)
            babblePower += double{value} * value;
        babblePower /= static_cast<double>(babble.size());
        const double gain = std::sqrt(power / babblePower * std::pow(10, -15.0 / 10));
        const std::size_t start = static_cast<std::size_t>(voice) * babble.size() / 3;
        for (std::size_t i = 0; i < mono.size(); ++i)
            mono[i] += static_cast<float>(gain * babble[(start + i) % babble.size()]);
        break;
    }
    case VoiceCondition::hum: {
        // Mains hum with its harmonics (each of amplitude 1/k), 30 dB under the speech.
        constexpr int kHarmonics = 8;
        double harmonicsPower = 0;
        for (int k = 1; k <= kHarmonics; ++k)
            harmonicsPower += 0.5 / (k * k);
        const double gain = std::sqrt(power * std::pow(10, -30.0 / 10) / harmonicsPower);
        for (std::size_t i = 0; i < mono.size(); ++i) {
            double hum = 0;
            for (int k = 1; k <= kHarmonics; ++k)
                hum +=
                    std::sin(2 * std::numbers::pi * 50 * k * static_cast<double>(i) / kRate + k) /
                    k;
            mono[i] += static_cast<float>(gain * hum);
        }
        break;
    }
    case VoiceCondition::reverb:
        reverberate(mono, kRate);
        break;
    }
    Recording recording;
    recording.sampleRate = kRate;
    recording.samples = std::move(mono);
    recording.truth = intervalsAt(pauses, kRate);
    if (condition == VoiceCondition::mp3) {
        const std::string path =
            (std::filesystem::temp_directory_path() /
             ("ravik-voice-" + nameOf(voice) + "-" +
              std::to_string(reinterpret_cast<std::uintptr_t>(&recording)) + ".mp3"))
                .string();
        std::optional<Recording> copy = lossyCopy(recording, Codec::mp3, path);
        std::filesystem::remove(path);
        if (!copy)
            return {};
        return *copy;
    }
    return recording;
}

Recording speechExample() {
    return *readBack(RAVIK_EXAMPLES_FOLDER "/speech.wav");
}

std::vector<NamedRecording> everyTestRecording() {
    std::vector<NamedRecording> recordings;
    for (const Voice voice : kVoices) {
        for (const VoiceCondition condition : kVoiceConditions)
            recordings.push_back(
                {nameOf(voice) + ", " + nameOf(condition), makeVoiceRecording(voice, condition)});
        recordings.push_back(
            {nameOf(voice) + ", padded and faded",
             padded(makeVoiceRecording(voice, VoiceCondition::clean), 200, 500, 150)});
    }
    for (const Condition condition : kConditions)
        recordings.push_back({"espeak-ng, " + nameOf(condition), makeRecording(condition)});
    recordings.push_back({"examples/speech.wav", speechExample()});
    std::erase_if(recordings, [](const NamedRecording& named) {
        return named.recording.samples.empty(); // no MP3 here
    });
    return recordings;
}

Recording padded(Recording recording, int beforeMs, int afterMs, int fadeMs) {
    const auto channels = static_cast<std::size_t>(recording.channels);
    const std::size_t frames = recording.samples.size() / channels;
    const auto fade = std::min<std::size_t>(
        static_cast<std::size_t>(fadeMs) * static_cast<std::size_t>(recording.sampleRate) / 1000,
        frames / 2);
    // The fade's first step is above zero, so that the recording starts where the zeros end.
    for (std::size_t i = 0; i < fade; ++i) {
        const auto gain =
            static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i + 1) /
                                                    static_cast<double>(fade + 1)));
        for (std::size_t channel = 0; channel < channels; ++channel) {
            recording.samples[i * channels + channel] *= gain;
            recording.samples[(frames - 1 - i) * channels + channel] *= gain;
        }
    }
    const auto before = static_cast<std::size_t>(beforeMs) *
                        static_cast<std::size_t>(recording.sampleRate) / 1000 * channels;
    const auto after = static_cast<std::size_t>(afterMs) *
                       static_cast<std::size_t>(recording.sampleRate) / 1000 * channels;
    recording.samples.insert(recording.samples.begin(), before, 0.0F);
    recording.samples.resize(recording.samples.size() + after, 0.0F);
    const double shift = static_cast<double>(before / channels) * 1000 / recording.sampleRate;
    for (Interval& pause : recording.truth) {
        pause.start += shift;
        pause.end += shift;
    }
    if (!recording.truth.empty()) {
        recording.truth.front().start = 0;
        recording.truth.back().end =
            static_cast<double>(recording.samples.size() / channels) * 1000 / recording.sampleRate;
    }
    return recording;
}

Recording shifted(Recording recording, float offset) {
    for (float& value : recording.samples)
        value += offset;
    return recording;
}

std::string nameOf(Codec codec) {
    switch (codec) {
    case Codec::mp3:
        return "MP3";
    case Codec::vorbis:
        return "Ogg Vorbis";
    case Codec::opus:
        return "Opus";
    }
    return "";
}

namespace {

// Writes the frames a few thousand at a time, as a program writes them: a codec given a minute
// at once takes more of the stack than a Windows thread has (1 MiB).
bool writeInBlocks(SNDFILE* file, const std::vector<float>& samples, int channels,
                   sf_count_t frames) {
    constexpr sf_count_t kBlock = 4'096;
    for (sf_count_t at = 0; at < frames; at += kBlock) {
        const sf_count_t count = std::min(kBlock, frames - at);
        if (sf_writef_float(file, samples.data() + at * channels, count) != count)
            return false;
    }
    return true;
}

} // namespace

std::optional<double> writeLossy(const Recording& recording, Codec codec, const std::string& path,
                                 double level) {
    if (codec == Codec::opus && !opusTakes(recording.sampleRate))
        return writeLossy(resampled(recording, recording.sampleRate < 24'000 ? 24'000 : 48'000),
                          codec, path, level);
    SF_INFO info{};
    info.samplerate = recording.sampleRate;
    info.channels = recording.channels;
    switch (codec) {
    case Codec::mp3:
        info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        break;
    case Codec::vorbis:
        info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        break;
    case Codec::opus:
        info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
        break;
    }
    if (sf_format_check(&info) == 0)
        return std::nullopt;
    const auto frames = static_cast<sf_count_t>(recording.samples.size()) / recording.channels;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return std::nullopt;
    // MP3 at 64 kbit/s is a constant bitrate (libsndfile's default is a variable one, about half
    // as high at the same level); Vorbis and Opus vary theirs.
    if (codec == Codec::mp3) {
        int mode = SF_BITRATE_MODE_CONSTANT;
        sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    }
    sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    const bool written = writeInBlocks(file, recording.samples, recording.channels, frames);
    if (sf_close(file) != 0 || !written)
        return std::nullopt;
    const double seconds = static_cast<double>(frames) / recording.sampleRate;
    return static_cast<double>(std::filesystem::file_size(path)) * 8 / seconds;
}

std::optional<Recording> lossyCopy(const Recording& recording, Codec codec,
                                   const std::string& path) {
    // The level that gives about 64 kbit/s: the bitrate falls as the level rises.
    constexpr double kBitsPerSecond = 64'000;
    double low = 0;
    double high = 1;
    double best = 0.5;
    double bestMiss = 1e12;
    for (int step = 0; step < 8; ++step) {
        const double level = (low + high) / 2;
        const std::optional<double> rate = writeLossy(recording, codec, path, level);
        if (!rate)
            return std::nullopt;
        if (std::abs(*rate - kBitsPerSecond) < bestMiss) {
            bestMiss = std::abs(*rate - kBitsPerSecond);
            best = level;
        }
        if (bestMiss < 0.02 * kBitsPerSecond)
            break;
        (*rate > kBitsPerSecond ? low : high) = level;
    }
    if (!writeLossy(recording, codec, path, best))
        return std::nullopt;
    std::optional<Recording> copy = readBack(path);
    if (copy)
        copy->truth = recording.truth;
    return copy;
}

bool opusTakes(int sampleRate) {
    return sampleRate % 8'000 == 0 || sampleRate == 12'000;
}

bool writeWav(const Recording& recording, const std::string& path, int format) {
    SF_INFO info{};
    info.samplerate = recording.sampleRate;
    info.channels = recording.channels;
    info.format = format != 0 ? format : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        return false;
    // libsndfile's FLAC writer takes no sample beyond full scale, which noise may reach.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC)
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(recording.samples.size()) / recording.channels;
    const bool written = writeInBlocks(file, recording.samples, recording.channels, frames);
    return sf_close(file) == 0 && written;
}

Score score(const std::vector<Interval>& truth, const std::vector<Interval>& found) {
    Score result;
    result.expected = static_cast<int>(truth.size());
    result.found = static_cast<int>(found.size());
    double boundarySum = 0;
    std::vector<double> errors;
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
            errors.push_back(error);
        }
    }
    if (result.matched > 0) {
        result.meanBoundaryMs = boundarySum / (2 * result.matched);
        std::nth_element(errors.begin(),
                         errors.begin() + static_cast<std::ptrdiff_t>(errors.size() / 2),
                         errors.end());
        result.medianBoundaryMs = errors[errors.size() / 2];
    }
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
