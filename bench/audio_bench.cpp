// The silence detector beside ffmpeg's silencedetect, on recordings made from the test set's
// phrases under white noise at 20 dB: a 10-minute recording, 200 recordings of 15 s, and the
// peak memory of gaptool detect on a one-hour recording. ffmpeg runs with -40 dB, its
// documented default style; the accuracy comparison is audio_accuracy's.
#include "audio/silencedetector.hpp"
#include "audio/soundfile.hpp"
#include "audio/testset.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
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

// A recording of the phrases cut or strung to `seconds`.
std::string recording(const std::string& name, int seconds) {
    const std::string path = (folder() / name).string();
    if (fs::exists(path))
        return path;
    // One round of the phrases lasts about 8.2 s.
    ravik::testset::Recording made =
        ravik::testset::makeRecording(Condition::noise20dB, seconds / 8 + 1);
    made.samples.resize(static_cast<std::size_t>(seconds) *
                        static_cast<std::size_t>(made.sampleRate));
    if (!ravik::testset::writeWav(made, path))
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

// Runs a program to its end and returns its peak resident memory in kilobytes.
long runMeasured(std::vector<std::string> arguments) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stdout);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

void BM_Detect10Minutes(benchmark::State& state) {
    const std::string path = recording("ten-minutes.wav", 600);
    for (auto _ : state) {
        auto opened = ravik::audio::SoundFile::open(path);
        benchmark::DoNotOptimize(ravik::audio::detectSilences(*opened.file).silences.size());
    }
}
BENCHMARK(BM_Detect10Minutes)->Unit(benchmark::kMillisecond);

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

void BM_GaptoolDetectOneHourPeakMemory(benchmark::State& state) {
    const std::string path = recording("one-hour.wav", 3600);
    const std::string gap = (folder() / "one-hour.gap").string();
    long peakKb = 0;
    for (auto _ : state)
        peakKb = runMeasured({RAVIK_GAPTOOL, "detect", "--force", "-o", gap, path});
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024;
}
BENCHMARK(BM_GaptoolDetectOneHourPeakMemory)
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
