// SPDX-License-Identifier: GPL-3.0-or-later
#include "ticklevels.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

namespace ravik::audio {
namespace {

constexpr std::size_t kBlockFrames = 16'384;
// Halving stops before the rate falls below this: the speech band reaches 4 kHz.
constexpr int kLeastAnalysisRate = 8'000;

// Four samples at once: the steps below are written on them so that they run at the processor's
// width whatever the compiler's settings (the filters in eight where the processor has them).
using Quad = float __attribute__((vector_size(16)));
constexpr std::size_t kLanes = 4;
// Zeros kept past a buffer's end: the widest steps read and write that far past it.
constexpr std::size_t kPadding = 8;

Quad lanesAt(const float* at) {
    Quad lanes;
    std::memcpy(&lanes, at, sizeof lanes);
    return lanes;
}
Quad same(float value) {
    return Quad{value, value, value, value};
}

// Samples in a buffer that grows without clearing what it adds (every step writes what it
// adds), and keeps a lane's worth of zeros past its end for the four-lane steps to read.
class Floats {
public:
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] float* data() { return data_.get(); }
    [[nodiscard]] const float* data() const { return data_.get(); }
    [[nodiscard]] float& operator[](std::size_t at) { return data_[at]; }
    [[nodiscard]] float back() const { return data_[size_ - 1]; }

    void resize(std::size_t size) {
        if (size + kPadding > capacity_) {
            const std::size_t capacity = std::max(2 * capacity_, size + kPadding);
            auto grown = std::make_unique_for_overwrite<float[]>(capacity);
            if (size_ > 0)
                std::memcpy(grown.get(), data_.get(), size_ * sizeof(float));
            data_ = std::move(grown);
            capacity_ = capacity;
        }
        size_ = size;
        std::fill_n(data_.get() + size_, kPadding, 0.0F);
    }
    void clear() { resize(0); }
    void push_back(float value) {
        resize(size_ + 1);
        data_[size_ - 1] = value;
    }
    void append(const Floats& more) {
        const std::size_t old = size_;
        resize(old + more.size_);
        if (more.size_ > 0)
            std::memcpy(data_.get() + old, more.data_.get(), more.size_ * sizeof(float));
    }
    // Drops the first `count` samples.
    void dropFront(std::size_t count) {
        std::memmove(data_.get(), data_.get() + count, (size_ - count) * sizeof(float));
        resize(size_ - count);
    }
    void swap(Floats& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

private:
    std::unique_ptr<float[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The outputs of a half-band filter `kWidth` at a time: output m from even[m] and the odd
// samples around it (see Halver::run). Each output's terms are summed in the same order
// whatever the width, so every width gives the same outputs to the bit.
template <std::size_t kPairs, std::size_t kWidth>
[[gnu::always_inline]] inline void halveRows(const float* even, const float* odd,
                                             const std::array<float, kPairs>& given,
                                             std::size_t outputs, float* low, float* high) {
    typedef float Wide __attribute__((vector_size(kWidth * sizeof(float))));
    // In locals, so that no store below can be taken to change them. (No lambdas here: they
    // would not be built for the caller's wider lanes.)
    Wide taps[kPairs];
    Wide half;
    std::array<float, kWidth> row{};
    for (std::size_t pair = 0; pair < kPairs; ++pair) {
        row.fill(given[pair]);
        std::memcpy(&taps[pair], row.data(), sizeof half);
    }
    row.fill(0.5F);
    std::memcpy(&half, row.data(), sizeof half);
    Wide before;
    Wide after;
    for (std::size_t at = 0; at < outputs; at += kWidth) {
        std::memcpy(&before, odd + at - 1, sizeof half);
        std::memcpy(&after, odd + at, sizeof half);
        Wide side = taps[0] * (after + before);
        for (std::size_t pair = 1; pair < kPairs; ++pair) {
            std::memcpy(&before, odd + at - 1 - pair, sizeof half);
            std::memcpy(&after, odd + at + pair, sizeof half);
            side += taps[pair] * (after + before);
        }
        Wide middle;
        std::memcpy(&middle, even + at, sizeof half);
        middle = half * middle;
        const Wide lowLanes = middle + side;
        std::memcpy(low + at, &lowLanes, sizeof half);
        if (high != nullptr) {
            const Wide highLanes = middle - side;
            std::memcpy(high + at, &highLanes, sizeof half);
        }
    }
}
template <std::size_t kPairs>
void halveInFour(const float* even, const float* odd, const std::array<float, kPairs>& taps,
                 std::size_t outputs, float* low, float* high) {
    halveRows<kPairs, 4>(even, odd, taps, outputs, low, high);
}
#if RAVIK_EIGHT_LANES
template <std::size_t kPairs>
[[gnu::target("avx2")]] void halveInEight(const float* even, const float* odd,
                                          const std::array<float, kPairs>& taps,
                                          std::size_t outputs, float* low, float* high) {
    halveRows<kPairs, 8>(even, odd, taps, outputs, low, high);
}
#endif

// 16-bit samples as the floats libsndfile would make of them, as wide as the lanes go (the
// compiler's vectoriser builds each form for its own lanes).
[[gnu::always_inline]] inline void floatsOfRow(const std::int16_t* in, float* out,
                                               std::size_t count) {
    for (std::size_t at = 0; at < count; ++at)
        out[at] = static_cast<float>(in[at]) * (1.0F / 32'768);
}
void floatsInFour(const std::int16_t* in, float* out, std::size_t count) {
    floatsOfRow(in, out, count);
}
#if RAVIK_EIGHT_LANES
[[gnu::target("avx2")]] void floatsInEight(const std::int16_t* in, float* out, std::size_t count) {
    floatsOfRow(in, out, count);
}
#endif
void floatsOf(const std::int16_t* in, float* out, std::size_t count, Lanes lanes) {
#if RAVIK_EIGHT_LANES
    if (lanes == Lanes::Eight) {
        floatsInEight(in, out, count);
        return;
    }
#else
    (void)lanes;
#endif
    floatsInFour(in, out, count);
}

// A half-band filter that halves the rate: symmetric, with taps at the centre (one half) and at
// odd distances 1, 3, ..., 2 * kPairs - 1 from it. Each output sample is centred on an even input
// sample; the high half (what the low half leaves out) is given at the same centres. The samples
// before the first and after the last are taken to repeat them. The even and the odd samples are
// kept apart, so that each tap reads consecutive ones.
template <std::size_t kPairs>
class Halver {
public:
    Halver(std::array<float, kPairs> taps, Lanes lanes)
        : taps_(taps)
        , lanes_(lanes) {}

    // Takes `count` samples; replaces `low` (and `high`, when given) with the outputs they
    // complete.
    void push(const float* in, std::size_t count, std::size_t stride, Floats& low, Floats* high) {
        if (count > 0 && taken_ == 0) {
            // The samples before the first, as the first.
            for (std::size_t pair = 0; pair < kPairs; ++pair)
                append(in[0], in[0]);
        }
        taken_ += static_cast<std::int64_t>(count);
        std::size_t at = 0;
        if (carrying_ && count > 0) {
            append(carry_, in[0]);
            carrying_ = false;
            at = 1;
        }
        const std::size_t pairs = (count - at) / 2;
        const std::size_t old = even_.size();
        even_.resize(old + pairs);
        odd_.resize(old + pairs);
        float* even = even_.data() + old;
        float* odd = odd_.data() + old;
        const float* from = in + at * stride;
        if (stride == 1) {
            // Apart in lanes: the usual case, a mono recording or a stage of the analysis.
            for (std::size_t pair = 0; pair < pairs; ++pair) {
                even[pair] = from[2 * pair];
                odd[pair] = from[2 * pair + 1];
            }
        } else {
            for (std::size_t pair = 0; pair < pairs; ++pair) {
                even[pair] = from[2 * pair * stride];
                odd[pair] = from[(2 * pair + 1) * stride];
            }
        }
        at += 2 * pairs;
        if (at < count) {
            carrying_ = true;
            carry_ = in[at * stride];
        }
        run(low, high);
    }
    // The last outputs, centred on samples that waited for the ones after them.
    void finish(Floats& low, Floats* high) {
        low.clear();
        if (high != nullptr)
            high->clear();
        if (even_.empty())
            return;
        const float last = carrying_ ? carry_ : odd_.back();
        if (carrying_)
            append(carry_, last);
        carrying_ = false;
        // The samples after the last, as the last.
        for (std::size_t pair = 0; pair < kPairs; ++pair)
            append(last, last);
        run(low, high);
        // One output for every two samples taken (the last one's, when they are odd).
        const auto wanted = static_cast<std::size_t>((taken_ + 1) / 2 - given_);
        low.resize(std::min(low.size(), wanted));
        if (high != nullptr)
            high->resize(low.size());
        even_.clear();
        odd_.clear();
        taken_ = 0;
        given_ = 0;
    }

private:
    void append(float even, float odd) {
        even_.push_back(even);
        odd_.push_back(odd);
    }
    // Output m is centred on even_[m + kPairs], between odd_[m] and odd_[m + 2 kPairs - 1].
    void run(Floats& low, Floats* high) {
        const std::size_t length = odd_.size();
        const std::size_t outputs = length + 1 < 2 * kPairs ? 0 : length + 1 - 2 * kPairs;
        low.resize(outputs);
        if (high != nullptr)
            high->resize(outputs);
        const float* even = even_.data() + kPairs;
        const float* odd = odd_.data() + kPairs;
        float* lowAt = low.data();
        float* highAt = high != nullptr ? high->data() : nullptr;
#if RAVIK_EIGHT_LANES
        if (lanes_ == Lanes::Eight)
            halveInEight<kPairs>(even, odd, taps_, outputs, lowAt, highAt);
        else
#endif
            halveInFour<kPairs>(even, odd, taps_, outputs, lowAt, highAt);
        // The lanes past the end wrote there; the buffers keep zeros past their ends.
        low.resize(outputs);
        if (high != nullptr)
            high->resize(outputs);
        given_ += static_cast<std::int64_t>(outputs);
        even_.dropFront(outputs);
        odd_.dropFront(outputs);
    }

    std::array<float, kPairs> taps_;
    Lanes lanes_;
    Floats even_;
    Floats odd_;
    bool carrying_ = false; // an even sample waits for the odd one after it
    float carry_ = 0;
    std::int64_t taken_ = 0;
    std::int64_t given_ = 0;
};

// 11 taps where the rate comes down (the speech band must not fold back into itself), 7 where
// octaves are split (a little overlap between neighbours does no harm).
Halver<3> rateHalver(Lanes lanes) {
    return Halver<3>({150.0F / 512, -25.0F / 512, 3.0F / 512}, lanes);
}
Halver<2> octaveHalver(Lanes lanes) {
    return Halver<2>({9.0F / 32, -1.0F / 32}, lanes);
}

// The sums of squares of a stream of samples, `step` frames apart, per tick.
class TickSums {
public:
    TickSums(std::int64_t step, int tickFrames)
        : step_(step)
        , tickFrames_(tickFrames)
        , reciprocal_(static_cast<std::size_t>(tickFrames / step + 2)) {
        nextTick_ = firstOf(1);
        // A tick holds no more samples than this; a division per tick would cost more than the
        // sums.
        for (std::size_t count = 1; count < reciprocal_.size(); ++count)
            reciprocal_[count] = 1.0F / static_cast<float>(count);
    }

    void add(const Floats& samples) {
        const float* at = samples.data();
        std::size_t left = samples.size();
        while (left > 0) {
            const auto take = static_cast<std::size_t>(
                std::min<std::int64_t>(nextTick_ - index_, static_cast<std::int64_t>(left)));
            Quad lanes = same(0.0F);
            std::size_t i = 0;
            for (; i + kLanes <= take; i += kLanes) {
                const Quad next = lanesAt(at + i);
                lanes += next * next;
            }
            float sum = lanes[0] + lanes[1] + lanes[2] + lanes[3];
            for (; i < take; ++i)
                sum += at[i] * at[i];
            sum_ += sum;
            count_ += static_cast<int>(take);
            index_ += static_cast<std::int64_t>(take);
            at += take;
            left -= take;
            if (index_ == nextTick_)
                close();
        }
    }
    // The tick that holds the last samples is complete too.
    void finish() {
        if (count_ > 0)
            close();
    }
    // Mean squares of the complete ticks from the first not yet taken.
    std::vector<float> means;
    std::int64_t taken = 0;

private:
    // The index of the first sample at or after the start of tick `tick`.
    [[nodiscard]] std::int64_t firstOf(std::int64_t tick) const {
        return (tick * tickFrames_ + step_ - 1) / step_;
    }
    void close() {
        means.push_back(sum_ * reciprocal_[static_cast<std::size_t>(count_)]);
        sum_ = 0;
        count_ = 0;
        ++tick_;
        nextTick_ = firstOf(tick_ + 1);
    }

    std::int64_t step_;
    int tickFrames_;
    std::vector<float> reciprocal_; // 0 for none
    std::int64_t index_ = 0;
    std::int64_t tick_ = 0;
    std::int64_t nextTick_ = 0;
    float sum_ = 0;
    int count_ = 0;
};

// One channel's levels: the spread at the recording's own rate, the rate halved down to the
// analysis rate, and the octaves there.
class Channel {
public:
    Channel(int halvings, int tickFrames, Lanes lanes)
        : tickFrames_(tickFrames) {
        for (int step = 0; step < halvings; ++step)
            rate_.push_back(rateHalver(lanes));
        for (std::size_t octave = 0; octave < kOctaves; ++octave) {
            octave_.push_back(octaveHalver(lanes));
            sums_.emplace_back(std::int64_t{1} << (halvings + static_cast<int>(octave) + 1),
                               tickFrames);
        }
    }

    // Takes the channel's next `count` samples (every `stride`-th of `in`).
    void push(const float* in, std::size_t count, std::size_t stride) {
        takeSpread(in, count, stride);
        if (rate_.empty()) {
            // The octaves read their input in lanes: one channel's samples side by side.
            input_.resize(count);
            for (std::size_t frame = 0; frame < count; ++frame)
                input_[frame] = in[frame * stride];
        } else {
            rate_.front().push(in, count, stride, input_, nullptr);
        }
        analyse(false, 1);
    }
    void finish() {
        if (inTick_ > 0)
            closeSpread();
        if (rate_.empty())
            input_.clear();
        else
            rate_.front().finish(input_, nullptr);
        analyse(true, 1);
    }

    // Ticks complete in every level.
    [[nodiscard]] std::size_t complete() const {
        std::size_t done = spread.size();
        for (const TickSums& sums : sums_)
            done = std::min(done, sums.means.size());
        return done;
    }
    [[nodiscard]] float octaveMean(std::size_t octave, std::size_t at) const {
        return sums_[octave].means[at];
    }
    // Forgets the first `count` complete ticks.
    void drop(std::size_t count) {
        spread.erase(spread.begin(), spread.begin() + static_cast<std::ptrdiff_t>(count));
        for (TickSums& sums : sums_)
            sums.means.erase(sums.means.begin(),
                             sums.means.begin() + static_cast<std::ptrdiff_t>(count));
    }

    std::vector<float> spread; ///< of the complete ticks not yet taken

private:
    // The highest and lowest sample of each tick, four lanes at a time where they lie side by
    // side.
    void takeSpread(const float* in, std::size_t count, std::size_t stride) {
        std::size_t at = 0;
        while (at < count) {
            const std::size_t take =
                std::min(count - at, static_cast<std::size_t>(tickFrames_ - inTick_));
            const float* samples = in + at * stride;
            std::size_t i = 0;
            if (stride == 1 && take >= kLanes) {
                Quad high = lanesAt(samples);
                Quad low = high;
                for (i = kLanes; i + kLanes <= take; i += kLanes) {
                    const Quad next = lanesAt(samples + i);
                    high = high > next ? high : next;
                    low = low < next ? low : next;
                }
                for (std::size_t lane = 0; lane < kLanes; ++lane) {
                    high_ = std::max(high_, high[lane]);
                    low_ = std::min(low_, low[lane]);
                }
            }
            for (; i < take; ++i) {
                high_ = std::max(high_, samples[i * stride]);
                low_ = std::min(low_, samples[i * stride]);
            }
            at += take;
            inTick_ += static_cast<int>(take);
            if (inTick_ == tickFrames_)
                closeSpread();
        }
    }
    void closeSpread() {
        spread.push_back((high_ - low_) / 2);
        high_ = -std::numeric_limits<float>::infinity();
        low_ = std::numeric_limits<float>::infinity();
        inTick_ = 0;
    }

    // input_ holds what stage `first` of the rate's halving gave; each later stage takes what
    // the one before gave, and at the end finishes after its last push, so that its last
    // outputs go down too. The octaves then split what is left, one after another.
    void analyse(bool last, std::size_t first) {
        for (std::size_t step = first; step < rate_.size(); ++step)
            through(rate_[step], last, nullptr);
        for (std::size_t octave = 0; octave < kOctaves; ++octave) {
            through(octave_[octave], last, &highBand_);
            sums_[octave].add(highBand_);
            if (last)
                sums_[octave].finish();
        }
    }
    template <class Stage>
    void through(Stage& stage, bool last, Floats* high) {
        stage.push(input_.data(), input_.size(), 1, output_, high);
        if (last) {
            stage.finish(tail_, high == nullptr ? nullptr : &highTail_);
            output_.append(tail_);
            if (high != nullptr)
                high->append(highTail_);
        }
        input_.swap(output_);
    }

    int tickFrames_;
    std::vector<Halver<3>> rate_;
    std::vector<Halver<2>> octave_;
    std::vector<TickSums> sums_;
    int inTick_ = 0;
    float high_ = -std::numeric_limits<float>::infinity();
    float low_ = std::numeric_limits<float>::infinity();
    Floats input_, output_, tail_, highBand_, highTail_;
};

// From this many values a percentile is first narrowed by counting them out (a pass a few times
// faster than partitioning them all) before it is partitioned.
constexpr std::size_t kCountedFrom = 4096;

// Keys in the order of the floats they are made from (the negative ones reversed under the
// positive ones).
std::uint32_t orderKey(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    return (bits & 0x8000'0000U) != 0 ? ~bits : bits | 0x8000'0000U;
}

// How often the rate is halved down to the analysis rate.
int halvingsAt(int sampleRate) {
    int halvings = 0;
    while ((sampleRate >> (halvings + 1)) >= kLeastAnalysisRate)
        ++halvings;
    return halvings;
}

} // namespace

bool hasLanes(Lanes lanes) {
#if RAVIK_EIGHT_LANES
    if (lanes == Lanes::Eight) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }
#endif
    return lanes == Lanes::Four;
}

Lanes widestLanes() {
    static const Lanes widest = hasLanes(Lanes::Eight) ? Lanes::Eight : Lanes::Four;
    return widest;
}

double percentile(std::vector<float>& values, double share) {
    auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    if (values.size() < kCountedFrom) {
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at),
                         values.end());
        return values[at];
    }
    // The values are counted by their key's highest digits; those that share the digits of the
    // percentile's place are moved to the front and partitioned there, a few among many.
    constexpr int kShift = 21;
    std::array<std::uint32_t, std::size_t{1} << (32 - kShift)> counts{};
    for (const float value : values)
        ++counts[orderKey(value) >> kShift];
    std::uint32_t digits = 0;
    while (at >= counts[digits]) {
        at -= counts[digits];
        ++digits;
    }
    const auto shared = std::partition(values.begin(), values.end(), [digits](float value) {
        return orderKey(value) >> kShift == digits;
    });
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), shared);
    return values[at];
}

int analysisRate(int sampleRate) {
    return sampleRate >> halvingsAt(sampleRate);
}

TickLevels readTickLevels(SoundFile& recording, std::int64_t from, std::int64_t to, int tickFrames,
                          Lanes lanes) {
    TickLevels levels;
    levels.tickFrames = tickFrames;
    levels.origin = from;
    levels.frames = from;
    if (to <= from || !recording.seek(from))
        return levels;
    const int halvings = halvingsAt(recording.sampleRate());
    const auto channels = static_cast<std::size_t>(recording.channels());
    std::vector<Channel> analysis;
    analysis.reserve(channels);
    for (std::size_t channel = 0; channel < channels; ++channel)
        analysis.emplace_back(halvings, tickFrames, lanes);
    const std::int64_t expected = (std::min(to, recording.frames()) - from) / tickFrames + 1;
    const auto reserve =
        static_cast<std::size_t>(std::clamp<std::int64_t>(expected, 0, std::int64_t{1} << 20));
    levels.energy.reserve(reserve);
    levels.spread.reserve(reserve);
    levels.octaves.reserve(reserve);

    // Ticks complete in every channel go over, each level the loudest channel's.
    const auto collect = [&] {
        std::size_t done = analysis.front().complete();
        for (const Channel& channel : analysis)
            done = std::min(done, channel.complete());
        for (std::size_t at = 0; at < done; ++at) {
            float spread = 0;
            std::array<float, kOctaves> octaves{};
            float energy = 0;
            for (const Channel& channel : analysis) {
                spread = std::max(spread, channel.spread[at]);
                float sum = 0;
                for (std::size_t octave = 0; octave < kOctaves; ++octave) {
                    const float mean = channel.octaveMean(octave, at);
                    octaves[octave] = std::max(octaves[octave], mean);
                    sum += mean;
                }
                energy = std::max(energy, sum);
            }
            levels.energy.push_back(energy);
            levels.spread.push_back(spread);
            levels.octaves.push_back(octaves);
        }
        for (Channel& channel : analysis)
            channel.drop(done);
    };

    std::vector<float> block(kBlockFrames * channels);
    // 16-bit samples are read as such and made floats here, which is what libsndfile would do
    // with them, at a fraction of its cost.
    std::vector<std::int16_t> integers(recording.sixteenBitSamples() ? block.size() : 0);
    std::int64_t read = from;
    while (read < to) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(to - read, static_cast<std::int64_t>(kBlockFrames)));
        std::size_t got = 0;
        if (integers.empty()) {
            got = recording.readFrames(std::span(block).first(want * channels));
        } else {
            got = recording.readFrames(std::span(integers).first(want * channels));
            floatsOf(integers.data(), block.data(), got * channels, lanes);
        }
        if (got == 0)
            break;
        read += static_cast<std::int64_t>(got);
        for (std::size_t channel = 0; channel < channels; ++channel)
            analysis[channel].push(block.data() + channel, got, channels);
        collect();
    }
    for (Channel& channel : analysis)
        channel.finish();
    collect();
    levels.frames = read;
    return levels;
}

} // namespace ravik::audio
