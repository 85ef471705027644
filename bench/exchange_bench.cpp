// SPDX-License-Identifier: GPL-3.0-or-later
// Lint over a voice pack of 100,000 small GAP files, and export and import of the largest valid
// file, as gaptool runs them.
#include "cli/gaptool.hpp"
#include "core/exchange/exchange.hpp"
#include "core/format/silencerules.hpp"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;
using ravik::silences::Silence;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

// A stream that drops what it is given, so that the benchmarks measure gaptool, not a terminal.
class Discard : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

// 100 folders of 1,000 files, each a voice line of 3 to 12 silences; every tenth file holds a
// fragment, so lint has findings to report. Or the same 100,000 files in one folder. Made once
// and removed at the end.
class VoicePack {
public:
    explicit VoicePack(bool oneFolder) {
        root_ = fs::temp_directory_path() /
                (oneFolder ? "ravik-bench-voicepack-flat" : "ravik-bench-voicepack");
        fs::remove_all(root_);
        for (int folder = 0; folder < kFolders; ++folder) {
            const fs::path dir = oneFolder ? root_ : root_ / ("character" + std::to_string(folder));
            fs::create_directories(dir);
            for (int file = 0; file < kFilesPerFolder; ++file) {
                std::vector<Silence> list;
                const int count = 3 + (file % 10);
                for (int i = 0; i < count; ++i) {
                    const std::int64_t start = 400 * i + (file % 7);
                    const std::int64_t length = (file % 10 == 0 && i == 1) ? 30 : 120;
                    list.push_back({start, start + length, 0});
                }
                const std::vector<std::uint8_t> bytes = ravik::silences::encode(list);
                std::ofstream(
                    dir / ("line" + std::to_string(folder) + "-" + std::to_string(file) + ".gap"),
                    std::ios::binary)
                    .write(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<std::streamsize>(bytes.size()));
            }
        }
    }
    ~VoicePack() {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    [[nodiscard]] std::string path() const { return root_.string(); }

private:
    fs::path root_;
};

const VoicePack& voicePack(bool oneFolder = false) {
    static const VoicePack inFolders(false);
    static const VoicePack flat(true);
    return oneFolder ? flat : inFolders;
}

// Argument: 1 for the 100,000 files in one folder, 0 for them in 100 folders.
void BM_LintVoicePackTwoJobs(benchmark::State& state) {
    const std::string root = voicePack(state.range(0) == 1).path();
    Discard discard;
    std::ostream out(&discard);
    for (auto _ : state) {
        std::ostringstream err;
        const auto status = ravik::cli::runGaptool({"lint", "-j", "2", root}, out, err, ".");
        if (status != ravik::cli::ExitStatus::Incorrect)
            state.SkipWithError("lint did not report the fragments");
    }
    state.counters["files"] = kFolders * kFilesPerFolder;
}
BENCHMARK(BM_LintVoicePackTwoJobs)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(3);

// One GAP file at the bottom of a chain of `depth` folders named "d" (2,000 is about as deep as a
// path of 4,096 bytes reaches); lint's walk costs the same for each folder however deep it lies.
// The chain is made and removed a folder at a time from inside it, as its whole path may be
// longer than the system takes.
class DeepTree {
public:
    explicit DeepTree(std::int64_t depth)
        : root_(fs::temp_directory_path() / "ravik-bench-deep")
        , depth_(depth) {
        remove();
        const fs::path before = fs::current_path();
        fs::create_directory(root_);
        fs::current_path(root_);
        for (std::int64_t level = 0; level < depth_; ++level) {
            fs::create_directory("d");
            fs::current_path("d");
        }
        const std::vector<std::uint8_t> bytes =
            ravik::silences::encode(std::vector<Silence>{{100, 130, 0}});
        std::ofstream("x.gap", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        fs::current_path(before);
    }
    ~DeepTree() { remove(); }
    [[nodiscard]] std::string path() const { return root_.string(); }

private:
    void remove() {
        std::error_code error;
        if (!fs::exists(root_, error))
            return;
        const fs::path before = fs::current_path();
        fs::current_path(root_);
        std::int64_t levels = 0;
        while (fs::exists("d")) {
            fs::current_path("d");
            ++levels;
        }
        fs::remove("x.gap", error);
        for (; levels > 0; --levels) {
            fs::current_path("..");
            fs::remove("d", error);
        }
        fs::current_path(before);
        fs::remove(root_, error);
    }

    fs::path root_;
    std::int64_t depth_;
};

void BM_LintDeepTree(benchmark::State& state) {
    const DeepTree tree(state.range(0));
    Discard discard;
    std::ostream out(&discard);
    for (auto _ : state) {
        std::ostringstream err;
        if (ravik::cli::runGaptool({"lint", "-j", "1", tree.path()}, out, err, ".") !=
            ravik::cli::ExitStatus::Incorrect)
            state.SkipWithError("lint did not find the file at the bottom");
    }
    state.counters["folders"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_LintDeepTree)->Arg(400)->Arg(800)->Arg(1600)->Arg(2000)->Unit(benchmark::kMillisecond);

// Silences of 1 ms, 1 ms apart, up to 32,767 ms: the most a file can hold that every format
// (the TextGrid too, whose intervals need a length) takes whole.
std::vector<Silence> densest() {
    std::vector<Silence> list;
    for (std::int64_t start = 0; start < ravik::silences::kLastMs; start += 2)
        list.push_back({start, start + 1, 0});
    return list;
}

void BM_ExportDensest(benchmark::State& state) {
    const auto format = static_cast<ravik::exchange::Format>(state.range(0));
    const std::vector<Silence> list = densest();
    for (auto _ : state)
        benchmark::DoNotOptimize(ravik::exchange::exportSilences(format, list, {"a.gap", {}}));
}
BENCHMARK(BM_ExportDensest)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_ImportDensest(benchmark::State& state) {
    const auto format = static_cast<ravik::exchange::Format>(state.range(0));
    const std::string text = ravik::exchange::exportSilences(format, densest(), {"a.gap", {}}).text;
    for (auto _ : state)
        benchmark::DoNotOptimize(ravik::exchange::importSilences(format, text, {}));
}
BENCHMARK(BM_ImportDensest)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
