// SPDX-License-Identifier: GPL-3.0-or-later
// Check, timeline and defrag on the largest valid GAP file and on the largest file the program
// accepts, each read from disk as the program does.
#include "cli/gaptool.hpp"
#include "core/actions/gapfile.hpp"
#include "core/format/gapformat.hpp"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef RAVIK_GAPTOOL
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {
namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFFU));
}

// Every start 1 ms after the previous end from 0 to 32767: the most records a file that passes
// the check can hold.
Bytes largestValid() {
    Bytes bytes;
    for (std::uint32_t i = 0; i < 32768; ++i) {
        put32(bytes, i);
        put32(bytes, i);
    }
    return bytes;
}

// A silence of 60 ms every 100 ms, with 32-bit times, up to the largest file accepted.
Bytes largestAccepted() {
    Bytes bytes;
    for (std::uint32_t i = 0; i < ravik::kLargestRecordCount; ++i) {
        put32(bytes, 100 * i + 1);
        put32(bytes, 100 * i + 61);
    }
    return bytes;
}

std::string fileWith(const Bytes& bytes, const std::string& name) {
    static const fs::path folder = [] {
        fs::path path = fs::temp_directory_path() / "ravik-bench";
        fs::create_directories(path);
        return path;
    }();
    const std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

const Bytes& source(std::int64_t which) {
    static const Bytes valid = largestValid();
    static const Bytes accepted = largestAccepted();
    return which == 0 ? valid : accepted;
}

void label(benchmark::State& state) {
    state.SetLabel(state.range(0) == 0 ? "32768 records" : "1048576 records");
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(source(state.range(0)).size()));
}

void BM_Check(benchmark::State& state) {
    const std::string path = fileWith(source(state.range(0)), "check.gap");
    for (auto _ : state)
        benchmark::DoNotOptimize(ravik::checkStructure(path));
    label(state);
}

void BM_Timeline(benchmark::State& state) {
    const std::string path = fileWith(source(state.range(0)), "timeline.gap");
    for (auto _ : state)
        benchmark::DoNotOptimize(ravik::buildTimeline(path, ravik::kTimelinePicture, "."));
    label(state);
}

void BM_Defrag(benchmark::State& state) {
    const Bytes& bytes = source(state.range(0));
    const std::string path = fileWith(bytes, "defrag.gap");
    for (auto _ : state) {
        state.PauseTiming();
        fileWith(bytes, "defrag.gap"); // defrag rewrote it
        state.ResumeTiming();
        benchmark::DoNotOptimize(ravik::defragment(path));
    }
    label(state);
}

// What `gaptool show FILE > /dev/null` does, without starting a process.
void BM_GaptoolShow(benchmark::State& state) {
    const std::string path = fileWith(source(state.range(0)), "show.gap");
    std::ofstream sink("/dev/null");
    std::ostringstream errors;
    for (auto _ : state)
        benchmark::DoNotOptimize(ravik::cli::runGaptool({"show", path}, sink, errors, "."));
    label(state);
}

#ifdef RAVIK_GAPTOOL
// Starts programs for the benchmarks from a small process forked before anything large is made:
// Linux counts a process's peak memory from before its exec, so a program started from the
// benchmark itself would count the benchmark's own files too.
class Launcher {
public:
    struct Run {
        double seconds = 0;
        long peakKb = 0;
        int status = -1;
    };

    Launcher() {
        int requests[2];
        int answers[2];
        if (::pipe(requests) != 0 || ::pipe(answers) != 0)
            return;
        child_ = ::fork();
        if (child_ == 0) {
            ::close(requests[1]);
            ::close(answers[0]);
            serve(requests[0], answers[1]);
        }
        ::close(requests[0]);
        ::close(answers[1]);
        requests_ = requests[1];
        answers_ = answers[0];
    }
    ~Launcher() {
        ::close(requests_);
        ::close(answers_);
        ::waitpid(child_, nullptr, 0);
    }

    // Runs the program with `arguments`, its standard output on the null device.
    Run run(const std::vector<std::string>& arguments) {
        std::string request;
        for (const std::string& argument : arguments)
            request += argument + '\0';
        const auto length = static_cast<std::uint32_t>(request.size());
        Run answer;
        if (::write(requests_, &length, sizeof length) != sizeof length ||
            ::write(requests_, request.data(), request.size()) != static_cast<ssize_t>(length) ||
            ::read(answers_, &answer, sizeof answer) != sizeof answer)
            answer.status = -1;
        return answer;
    }

private:
    [[noreturn]] static void serve(int requests, int answers) {
        std::uint32_t length = 0;
        while (::read(requests, &length, sizeof length) == sizeof length) {
            std::string request(length, '\0');
            if (::read(requests, request.data(), length) != static_cast<ssize_t>(length))
                break;
            std::vector<char*> argv;
            for (std::size_t at = 0; at < request.size(); at = request.find('\0', at) + 1)
                argv.push_back(request.data() + at);
            argv.push_back(nullptr);
            Run answer;
            const auto started = std::chrono::steady_clock::now();
            const pid_t child = ::fork();
            if (child == 0) {
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 1);
                ::execv(argv[0], argv.data());
                ::_exit(127);
            }
            rusage usage{};
            ::wait4(child, &answer.status, 0, &usage);
            answer.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            answer.peakKb = usage.ru_maxrss;
            if (::write(answers, &answer, sizeof answer) != sizeof answer)
                break;
        }
        ::_exit(0);
    }

    pid_t child_ = -1;
    int requests_ = -1;
    int answers_ = -1;
};

Launcher& launcher() {
    static Launcher started;
    return started;
}

// Runs a whole program as a user would; the time is the wall clock from its start to its end,
// and the counter `peak_MB` its peak resident memory.
void runProgram(benchmark::State& state, const std::vector<std::string>& arguments) {
    long peakKb = 0;
    for (auto _ : state) {
        const Launcher::Run run = launcher().run(arguments);
        if (run.status == -1 || !WIFEXITED(run.status) || WEXITSTATUS(run.status) == 127) {
            state.SkipWithError("the program could not be run");
            break;
        }
        state.SetIterationTime(run.seconds);
        peakKb = std::max(peakKb, run.peakKb);
    }
    state.counters["peak_MB"] = static_cast<double>(peakKb) / 1024;
    label(state);
}

std::string outputOf(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[1 << 16];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            text.append(chunk, got);
        ::pclose(pipe);
    }
    return text;
}

void BM_GaptoolShowProgram(benchmark::State& state) {
    const std::string path = fileWith(source(state.range(0)), "program.gap");
    if (outputOf(std::string(RAVIK_GAPTOOL) + " show " + path) !=
        outputOf(std::string(RAVIK_SHOW_BASELINE) + " " + path))
        state.SkipWithError("the baseline does not write what gaptool show writes");
    runProgram(state, {RAVIK_GAPTOOL, "show", path});
}

void BM_LeastWorkFormatterProgram(benchmark::State& state) {
    runProgram(state, {RAVIK_SHOW_BASELINE, fileWith(source(state.range(0)), "program.gap")});
}
#endif

} // namespace

#ifdef RAVIK_GAPTOOL
BENCHMARK(BM_GaptoolShowProgram)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LeastWorkFormatterProgram)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(BM_Check)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Timeline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Defrag)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaptoolShow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
#ifdef RAVIK_GAPTOOL
    launcher(); // while the benchmark is still small
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
