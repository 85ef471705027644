// Check, timeline and defrag on the largest valid GAP file and on the largest file the program
// accepts, each read from disk as the program does.
#include "core/defrag.hpp"
#include "core/gapformat.hpp"
#include "core/structurecheck.hpp"
#include "core/timeline.hpp"
#include "gaptool.hpp"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

} // namespace

BENCHMARK(BM_Check)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Timeline)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Defrag)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaptoolShow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
