// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/soundfile.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

/// What is quiet: the one rule by which detect finds pauses and verify judges listed silences.
namespace ravik::audio {

/// Levels are measured per tick of 5 ms: short enough that a pause's edge is found within a
/// tick before it is placed to the sample, long enough that a tick of noise has a steady level.
inline constexpr int kTickMs = 5;
/// The level that decides quiet is the mean over this many ticks (20 ms).
inline constexpr std::size_t kLevelTicks = 4;
/// Sound this short between two pauses is a click (a lip smack, a cable), not speech.
inline constexpr int kLongestClickMs = 15;
/// A click is part of a pause when the quiet on each side lasts at least this long: the least
/// length of a silence that defrag keeps.
inline constexpr int kClickSideMs = 51;
/// Levels below this are taken as digital silence (the detector measures a faint room further
/// down, and takes a floor as digital silence only where the samples stop changing).
inline constexpr double kBottomDb = -100;

/// The frames in one tick at `sampleRate`.
[[nodiscard]] int tickFramesAt(int sampleRate);
/// The frames a silence from `startMs` to `endMs` covers: those from the first at or after its
/// start to the last before its end.
struct FrameSpan {
    std::int64_t start = 0;
    std::int64_t end = 0; ///< one past
};
[[nodiscard]] FrameSpan framesOf(std::int64_t startMs, std::int64_t endMs, int sampleRate);
/// A mean square as dBFS, no lower than kBottomDb.
[[nodiscard]] double decibels(double meanSquare);

/// The faintest level a tick is measured at. A take turned down by 40 dB (a quiet one in 24 bits
/// or floats) keeps its room's floor, under kBottomDb: measured there rather than at kBottomDb,
/// the floor lies as far under the speech as in the take turned up, and the pauses are found
/// where they are in that. Only pauses of digital silence make the floor digital.
inline constexpr double kDeepestDb = kBottomDb - 40;
inline constexpr double kDeepestMeanSquare = 1e-14;

/// A mean square as dBFS within a thousandth of a decibel, no lower than kDeepestDb: its
/// exponent, and the logarithm of its mantissa by its series in (m - 1) / (m + 1). Plain
/// arithmetic, the same on every build, where the library's logarithm would cost more than all
/// the rest done for a tick; inline, so that each file builds it with its own options.
[[nodiscard]] inline float quickDecibels(double meanSquare) {
    if (!(meanSquare > kDeepestMeanSquare))
        return static_cast<float>(kDeepestDb);
    // What frexp gives, from the bits (the value is no subnormal): a mantissa in [0.5, 1).
    const auto bits = std::bit_cast<std::uint64_t>(meanSquare);
    const int exponent = static_cast<int>(bits >> 52) - 1022;
    const double mantissa =
        std::bit_cast<double>((bits & 0x000F'FFFF'FFFF'FFFFU) | 0x3FE0'0000'0000'0000U);
    const double t = (mantissa - 1) / (mantissa + 1); // within a third of 0
    const double t2 = t * t;
    const double ln = 2 * t * (1 + t2 * (1.0 / 3 + t2 * (1.0 / 5 + t2 * (1.0 / 7 + t2 / 9))));
    return static_cast<float>(10 * (ln + exponent * std::numbers::ln2) / std::numbers::ln10);
}

/// quickDecibels of `count` mean squares, to the bit, two at a time (`decibels` may be
/// `meanSquares`): one level's steps wait on each other, the next levels' do not.
inline void quickDecibels(const float* meanSquares, float* decibels, std::size_t count) {
    typedef double Doubles __attribute__((vector_size(16)));
    typedef std::uint64_t Bits __attribute__((vector_size(16)));
    typedef float Floats __attribute__((vector_size(8)));
    constexpr std::size_t kLanes = 2;
    std::size_t at = 0;
    for (; at + kLanes <= count; at += kLanes) {
        Floats given;
        std::memcpy(&given, meanSquares + at, sizeof given);
        const Doubles meanSquare = __builtin_convertvector(given, Doubles);
        const auto bits = std::bit_cast<Bits>(meanSquare);
        // The exponent's bits as a double, exactly: they fill a mantissa under 2^52.
        const Doubles biased =
            std::bit_cast<Doubles>((bits >> 52) | 0x4330'0000'0000'0000U) - 0x1p52;
        const Doubles exponent = biased - 1022;
        const auto mantissa =
            std::bit_cast<Doubles>((bits & 0x000F'FFFF'FFFF'FFFFU) | 0x3FE0'0000'0000'0000U);
        const Doubles t = (mantissa - 1) / (mantissa + 1);
        const Doubles t2 = t * t;
        const Doubles ln = 2 * t * (1 + t2 * (1.0 / 3 + t2 * (1.0 / 5 + t2 * (1.0 / 7 + t2 / 9))));
        const Floats db = __builtin_convertvector(
            10 * (ln + exponent * std::numbers::ln2) / std::numbers::ln10, Floats);
        for (std::size_t lane = 0; lane < kLanes; ++lane)
            decibels[at + lane] =
                meanSquare[lane] > kDeepestMeanSquare ? db[lane] : static_cast<float>(kDeepestDb);
    }
    for (; at < count; ++at)
        decibels[at] = quickDecibels(meanSquares[at]);
}

inline constexpr double kSpeechBandLowestHz = 200;

/// The speech band of one channel sample by sample, 200 Hz to 4 kHz (two second-order Butterworth
/// sections), where an edge is placed to the sample (levels are taken per tick, see
/// ticklevels.hpp).
class SpeechBand {
public:
    /// `lowestHz` moves the band's low edge up (where hum or rumble covers the lowest octaves).
    explicit SpeechBand(int sampleRate, double lowestHz = kSpeechBandLowestHz);
    /// Starts the filter as if the signal had stood at `sample` forever, so that what came before
    /// a stretch adds nothing to it.
    void startAt(float sample);
    [[nodiscard]] float operator()(float sample) {
        // The offset keeps the states from decaying into subnormal numbers in digital silence,
        // which would slow the arithmetic down a hundredfold; it is far under any sample.
        const float high = step(high_, sample + kUnderAnySample);
        return lowPass_ ? step(low_, high + kUnderAnySample) : high;
    }

private:
    static constexpr float kUnderAnySample = 1e-18F;
    struct Section {
        float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float s1 = 0, s2 = 0; // transposed direct form II
    };
    static float step(Section& section, float in) {
        const float out = section.b0 * in + section.s1;
        section.s1 = section.b1 * in - section.a1 * out + section.s2;
        section.s2 = section.b2 * in - section.a2 * out;
        return out;
    }
    Section high_;
    Section low_;
    bool lowPass_ = false;
};

/// The speech band of `interleaved` frames of `channels` channels, channel by channel, each
/// filter started as if the signal had stood at its first frame.
[[nodiscard]] std::vector<float> speechBandOf(const std::vector<float>& interleaved,
                                              std::size_t channels, int sampleRate,
                                              double lowestHz = kSpeechBandLowestHz);

/// A stretch of sound, in frames, and its loudest moment: the speech band's level over 20 ms.
struct SoundSpan {
    std::int64_t start = 0;
    std::int64_t end = 0; ///< one past
    double peakDb = 0;
};

/// The sound inside frames [start, end) of `recording`, judged from those samples only: every
/// stretch where the speech band's level (see ticklevels.hpp) over 20 ms (ticks counted from
/// `start`; the whole stretch when it is shorter) reaches `soundDb`, except a click: sound of up
/// to 15 ms with at least 51 ms of quiet on each side. Empty when the stretch is quiet. Reads the
/// recording from `start`; an unreadable part counts as sound.
[[nodiscard]] std::vector<SoundSpan> soundInside(SoundFile& recording, std::int64_t start,
                                                 std::int64_t end, double soundDb);

} // namespace ravik::audio
