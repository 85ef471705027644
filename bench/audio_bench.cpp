// SPDX-License-Identifier: GPL-3.0-or-later
// The silence detector beside ffmpeg's silencedetect, on recordings made from the test set's
// phrases under white noise at 20 dB: a 10-minute recording, 200 recordings of 15 s, and the
// peak memory of gaptool detect on a one-hour recording. ffmpeg runs with -40 dB, its
// documented default style; the accuracy comparison is audio_accuracy's. Then the same
// detection on compressed copies (read front to back, see audio/soundfile) against their
// decodes written out as WAV files, and against decoding alone. And the speech model alone.
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/speechmodel.hpp"
#include "audio/testset.hpp"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sndfile.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
namespace fs = std::filesystem;
using ravik::testset::Condition;

const fs::path& folder() {
    static const fs::path path = [] {
        fs::path made =
            fs::temp_directory_path() / ("ravik-audio-bench-" + std::to_string(getpid()));
        fs::create_directories(made);
        return made;
    }();
    return path;
}

// The phrases cut or strung to `seconds`.
ravik::testset::Recording phrasesFor(int seconds) {
    // One round of the phrases lasts about 8.2 s.
    ravik::testset::Recording made =
        ravik::testset::makeRecording(Condition::noise20dB, seconds / 8 + 1);
    made.samples.resize(static_cast<std::size_t>(seconds) *
                        static_cast<std::size_t>(made.sampleRate));
    return made;
}

// A recording of the phrases cut or strung to `seconds`.
std::string recording(const std::string& name, int seconds) {
    const std::string path = (folder() / name).string();
    if (fs::exists(path))
        return path;
    if (!ravik::testset::writeWav(phrasesFor(seconds), path))
        std::abort();
    return path;
}

const std::vector<std::string>& shortRecordings() {
    static const std::vector<std::string> paths = [] {
        const std::string first = recording("short.wav", 15);
        std::vector<std::string> made;
        for (int i = 0; i < 200; ++i) {
            const fs::path path = folder() / ("short" + std::to_string(i) + ".wav");
            if (!fs::exists(path))
                fs::copy_file(first, path);
            made.push_back(path.string());
        }
        return made;
    }();
    return paths;
}

bool haveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

void runFfmpeg(const std::string& path) {
    const std::string command = "ffmpeg -nostdin -hide_banner -nostats -i '" + path +
                                "' -af silencedetect=noise=-40dB:d=0.051 -f null - 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        std::abort();
}

// The processor time (user and system) of the children this process has waited for.
double childrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs a program to its end and returns its peak resident memory in kilobytes. It is started by
// a small Python, since a child of this process would count this process's memory: Linux keeps
// the peak of the memory a process had before its exec.
long runMeasured(std::vector<std::string> arguments) {
    std::string command = "python3 -c 'import resource, subprocess, sys; "
                          "subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL); "
                          "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    FILE* output = popen(command.c_str(), "r");
    long kilobytes = 0;
    if (output == nullptr || std::fscanf(output, "%ld", &kilobytes) != 1)
        std::abort();
    pclose(output);
    return kilobytes;
}

void BM_Detect10Minutes(benchmark::State& state) {
    const std::string path = recording("ten-minutes.wav", 600);
    for (auto _ : state) {
        auto opened = ravik::audio::SoundFile::open(path);
        benchmark::DoNotOptimize(ravik::audio::detectSilences(*opened.file).silences.size());
    }
}
BENCHMARK(BM_Detect10Minutes)->Unit(benchmark::kMillisecond);

// The speech model's network alone over the 60,000 frames of 10 minutes, in four lanes and in
// the eight of AVX2 (where the processor has them), on inputs in the features' range.
void BM_SpeechModel10Minutes(benchmark::State& state) {
    namespace speech = ravik::audio::speech;
    const auto lanes = static_cast<speech::Lanes>(state.range(0));
    if (!speech::hasLanes(lanes)) {
        state.SkipWithError("this processor has four lanes only");
        return;
    }
    std::mt19937 random(1);
    std::uniform_real_distribution<float> feature(-1, 3);
    std::vector<std::array<float, speech::kInputs>> frames(60'000);
    for (auto& frame : frames)
        for (float& input : frame)
            input = feature(random);
    for (auto _ : state) {
        float sum = 0;
        for (const auto& frame : frames)
            sum += speech::speakingIn(frame, lanes);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_SpeechModel10Minutes)
    ->Arg(static_cast<int>(ravik::audio::speech::Lanes::Four))
    ->Arg(static_cast<int>(ravik::audio::speech::Lanes::Eight))
    ->Unit(benchmark::kMillisecond);

void BM_Ffmpeg10Minutes(benchmark::State& state) {
    if (!haveFfmpeg()) {
        state.SkipWithError("ffmpeg is not installed");
        return;
    }
    const std::string path = recording("ten-minutes.wav", 600);
    const double before = childrenCpuSeconds();
    for (auto _ : state)
        runFfmpeg(path);
    // Its processor time beside the detector's CPU column: on a busy machine the wall-clock
    // times of both grow with the others' load, these much less.
    state.counters["ffmpeg_cpu_ms"] = benchmark::Counter(1000 * (childrenCpuSeconds() - before),
                                                         benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Ffmpeg10Minutes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GaptoolDetect200WithTwoJobs(benchmark::State& state) {
    std::string command = std::string(RAVIK_GAPTOOL) + " detect -j 2 --force";
    for (const std::string& path : shortRecordings())
        command += " '" + path + "'";
    command += " >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            std::abort();
}
BENCHMARK(BM_GaptoolDetect200WithTwoJobs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Ffmpeg200OneByOne(benchmark::State& state) {
    if (!haveFfmpeg()) {
        state.SkipWithError("ffmpeg is not installed");
        return;
    }
    for (auto _ : state)
        for (const std::string& path : shortRecordings())
            runFfmpeg(path);
}
BENCHMARK(BM_Ffmpeg200OneByOne)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Ten minutes and an hour: what detect keeps stops growing after the first ten.
void BM_GaptoolDetectPeakMemory(benchmark::State& state) {
    const auto seconds = static_cast<int>(state.range(0));
    const std::string path = recording("long-" + std::to_string(seconds) + ".wav", seconds);
    const std::string gap = (folder() / "long.gap").string();
    long peakKb = 0;
    for (auto _ : state)
        peakKb = runMeasured({RAVIK_GAPTOOL, "detect", "--force", "-o", gap, path});
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024;
}
BENCHMARK(BM_GaptoolDetectPeakMemory)
    ->ArgName("seconds")
    ->Arg(600)
    ->Arg(3600)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// The codecs of the compressed copies: Ogg Vorbis, Opus, MP3 (at libsndfile's middle level)
// and FLAC.
constexpr int kFlac = 3;
const char* codecName(int codec) {
    static const char* const names[] = {"mp3", "vorbis", "opus", "flac"};
    return names[codec];
}

// The phrases for `seconds` compressed with `codec`, and the copy's decode as a float WAV.
struct Copy {
    std::string compressed;
    std::string decoded;
};
const Copy& copyOf(int codec, int seconds) {
    static std::map<std::pair<int, int>, Copy> made;
    Copy& copy = made[{codec, seconds}];
    if (!copy.compressed.empty())
        return copy;
    const std::string stem =
        (folder() / (std::string(codecName(codec)) + "-" + std::to_string(seconds))).string();
    copy.compressed = stem + "." + codecName(codec);
    const ravik::testset::Recording phrases = phrasesFor(seconds);
    const bool written =
        codec == kFlac
            ? ravik::testset::writeWav(phrases, copy.compressed, SF_FORMAT_FLAC | SF_FORMAT_PCM_16)
            : ravik::testset::writeLossy(phrases, static_cast<ravik::testset::Codec>(codec),
                                         copy.compressed)
                  .has_value();
    auto opened = ravik::audio::SoundFile::open(copy.compressed);
    if (!written || !opened.file)
        std::abort();
    ravik::testset::Recording decoded;
    decoded.sampleRate = opened.file->sampleRate();
    decoded.channels = opened.file->channels();
    std::vector<float> block(16'384 * static_cast<std::size_t>(decoded.channels));
    while (const std::size_t got = opened.file->readFrames(block))
        decoded.samples.insert(decoded.samples.end(), block.begin(),
                               block.begin() + static_cast<std::ptrdiff_t>(got) * decoded.channels);
    copy.decoded = stem + "-decoded.wav";
    if (!ravik::testset::writeWav(decoded, copy.decoded, SF_FORMAT_WAV | SF_FORMAT_FLOAT))
        std::abort();
    return copy;
}

// Arguments: the codec (see codecName) and the seconds.
void BM_DetectCompressed(benchmark::State& state) {
    const Copy& copy = copyOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto opened = ravik::audio::SoundFile::open(copy.compressed);
        benchmark::DoNotOptimize(ravik::audio::detectSilences(*opened.file).silences.size());
    }
    state.SetLabel(codecName(static_cast<int>(state.range(0))));
}
void BM_DetectItsDecode(benchmark::State& state) {
    const Copy& copy = copyOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto opened = ravik::audio::SoundFile::open(copy.decoded);
        benchmark::DoNotOptimize(ravik::audio::detectSilences(*opened.file).silences.size());
    }
    state.SetLabel(std::string(codecName(static_cast<int>(state.range(0)))) + " decoded");
}
// Decoding the copy once, front to back, and nothing else: what reading it costs at the least.
void BM_DecodeOnce(benchmark::State& state) {
    const Copy& copy = copyOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<float> block(16'384);
    for (auto _ : state) {
        auto opened = ravik::audio::SoundFile::open(copy.compressed);
        std::size_t frames = 0;
        while (const std::size_t got = opened.file->readFrames(block))
            frames += got;
        benchmark::DoNotOptimize(frames);
    }
    state.SetLabel(codecName(static_cast<int>(state.range(0))));
}
void compressedCopies(benchmark::internal::Benchmark* benchmark) {
    for (const int seconds : {15, 600})
        for (const int codec : {1, 2, 0, kFlac})
            benchmark->Args({codec, seconds});
    benchmark->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_DetectCompressed)->Apply(compressedCopies);
BENCHMARK(BM_DetectItsDecode)->Apply(compressedCopies);
BENCHMARK(BM_DecodeOnce)->Apply(compressedCopies);

// gaptool detect's peak memory on the 10-minute copy (argument: the codec) and on its decode.
void BM_GaptoolDetectCompressedPeakMemory(benchmark::State& state) {
    const Copy& copy = copyOf(static_cast<int>(state.range(0)), 600);
    const std::string gap = (folder() / "copy.gap").string();
    long compressedKb = 0;
    long decodedKb = 0;
    for (auto _ : state) {
        compressedKb =
            runMeasured({RAVIK_GAPTOOL, "detect", "--force", "-o", gap, copy.compressed});
        decodedKb = runMeasured({RAVIK_GAPTOOL, "detect", "--force", "-o", gap, copy.decoded});
    }
    state.counters["compressed_MB"] = static_cast<double>(compressedKb) / 1024;
    state.counters["decoded_MB"] = static_cast<double>(decodedKb) / 1024;
    state.SetLabel(codecName(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_GaptoolDetectCompressedPeakMemory)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(folder());
    return 0;
}
