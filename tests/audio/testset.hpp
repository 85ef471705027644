// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/silencedetector.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Recordings with known silences, made from the espeak-ng phrases in tests/audio/phrases and
/// from the real voices in tests/audio/voices, and the score of a detection against them. Shared
/// by the tests and the accuracy benchmark.
namespace ravik::testset {

/// A stretch of time in milliseconds, not rounded.
struct Interval {
    double start = 0;
    double end = 0;
};

enum class Condition { clean, stereo44k, noise20dB, noise10dB, hum, clicks };
inline constexpr Condition kConditions[] = {Condition::clean,     Condition::stereo44k,
                                            Condition::noise20dB, Condition::noise10dB,
                                            Condition::hum,       Condition::clicks};
[[nodiscard]] std::string nameOf(Condition condition);

struct Recording {
    int sampleRate = 22'050;
    int channels = 1;
    std::vector<float> samples;  ///< interleaved
    std::vector<Interval> truth; ///< the pauses put between the phrases, to the sample
};

/// The phrases joined by pauses of 60 to 700 ms (and one before and after), under `condition`.
/// `repeat` strings that many rounds of phrases together (about 15 s each).
[[nodiscard]] Recording makeRecording(Condition condition, int repeat = 1);

/// The speakers of tests/audio/voices (see scripts/make-voices).
enum class Voice { tutor, game, narrator };
inline constexpr Voice kVoices[] = {Voice::tutor, Voice::game, Voice::narrator};
enum class VoiceCondition { clean, noise20dB, noise10dB, babble15dB, hum, mp3, reverb };
inline constexpr VoiceCondition kVoiceConditions[] = {
    VoiceCondition::clean,      VoiceCondition::noise20dB, VoiceCondition::noise10dB,
    VoiceCondition::babble15dB, VoiceCondition::hum,       VoiceCondition::mp3,
    VoiceCondition::reverb};
[[nodiscard]] std::string nameOf(Voice voice);
[[nodiscard]] std::string nameOf(VoiceCondition condition);

/// One speaker's ten phrases joined by pauses of 60 to 1,200 ms (and one before and after), each
/// filled with the speaker's real room tone, under `condition`: 16 kHz mono. The MP3 round
/// trip needs a libsndfile that writes MP3; without one the recording is empty.
[[nodiscard]] Recording makeVoiceRecording(Voice voice, VoiceCondition condition);

/// examples/speech.wav.
[[nodiscard]] Recording speechExample();

struct NamedRecording {
    std::string name;
    Recording recording;
};
/// Every recording of both sets: each speaker under each condition and padded and faded, the
/// espeak-ng set under each condition, and examples/speech.wav. A recording whose condition
/// this libsndfile cannot make (an MP3 round trip) is left out.
[[nodiscard]] std::vector<NamedRecording> everyTestRecording();

/// `recording` with `beforeMs` of exact zeros before it and `afterMs` after; its first and last
/// true pauses reach into them. With `fadeMs`, the recording's first and last `fadeMs` rise out
/// of and sink into the zeros (a raised-cosine fade of the room tone).
[[nodiscard]] Recording padded(Recording recording, int beforeMs, int afterMs, int fadeMs = 0);
/// `recording` with `offset` added to every sample (a DC offset).
[[nodiscard]] Recording shifted(Recording recording, float offset);

enum class Codec { mp3, vorbis, opus };
[[nodiscard]] std::string nameOf(Codec codec);
/// `recording` encoded at about 64 kbit/s by libsndfile into `path` and decoded again (Opus at
/// 24 kHz or 48 kHz when the rate is not one Opus takes); nothing when this libsndfile cannot
/// write the codec.
[[nodiscard]] std::optional<Recording> lossyCopy(const Recording& recording, Codec codec,
                                                 const std::string& path);

/// Writes `recording` encoded at libsndfile's compression `level` (0 the best, 1 the smallest)
/// into `path` and gives its bits a second (Opus at 24 kHz or 48 kHz when it does not take the
/// rate); nothing when this libsndfile cannot write the codec.
[[nodiscard]] std::optional<double> writeLossy(const Recording& recording, Codec codec,
                                               const std::string& path, double level = 0.5);
/// Whether Opus takes recordings at `sampleRate` (8, 12, 16, 24 and 48 kHz).
[[nodiscard]] bool opusTakes(int sampleRate);

/// Writes `recording` as a 16-bit WAV file, or in libsndfile's `format` (SF_FORMAT_...) when
/// given; false when it could not.
[[nodiscard]] bool writeWav(const Recording& recording, const std::string& path, int format = 0);

struct Score {
    int matched = 0;
    int found = 0;
    int expected = 0;
    double f1 = 0;
    double worstBoundaryMs = 0; ///< over the matched silences
    double meanBoundaryMs = 0;
    double medianBoundaryMs = 0;
};

/// Matches found silences to true ones as `gaptool diff` matches two files' silences (see
/// silences::sameSilence). Both lists are in time order.
[[nodiscard]] Score score(const std::vector<Interval>& truth, const std::vector<Interval>& found);
[[nodiscard]] std::vector<Interval> intervalsOf(const std::vector<ravik::Silence>& silences);

} // namespace ravik::testset
