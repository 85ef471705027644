// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes, as a file on disk, to the structure check, the timeline and defrag.
// Besides the sanitizers' own checks it asserts that the check and the timeline leave the file
// as it was, and that defrag leaves exactly the records whose end - start exceeds 50 ms.
#include "core/actions/gapfile.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "gap_fuzzer: %s\n", what);
        std::abort();
    }
}

const std::string& scratchFile() {
    // In TMPDIR when set: on a memory file system the flushes of defrag cost nothing.
    static const std::string path = [] {
        std::string folder =
            (std::filesystem::temp_directory_path() / "ravik-fuzz-XXXXXX").string();
        require(::mkdtemp(folder.data()) != nullptr, "cannot make a scratch folder");
        return folder + "/input.gap";
    }();
    return path;
}

void write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    require(static_cast<bool>(out), "cannot write the scratch file");
}

Bytes read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::int16_t lowWord(const Bytes& bytes, std::size_t offset) {
    const auto byteAt = [&](std::size_t at) -> unsigned {
        return at < bytes.size() ? bytes[at] : 0U;
    };
    return static_cast<std::int16_t>(byteAt(offset) | byteAt(offset + 1) << 8);
}

// What defrag must leave: every record, a partial last one padded with zeros, whose end exceeds
// its start by more than 50, with its high words cleared.
Bytes expectedDefrag(const Bytes& input, std::size_t& dropped) {
    Bytes kept;
    dropped = 0;
    for (std::size_t offset = 0; offset < input.size(); offset += 8) {
        const std::int16_t start = lowWord(input, offset);
        const std::int16_t end = lowWord(input, offset + 4);
        if (end - start <= 50) {
            ++dropped;
            continue;
        }
        for (std::size_t at : {offset, offset + 1}) // the start's low word
            kept.push_back(at < input.size() ? input[at] : 0);
        kept.insert(kept.end(), {0, 0});
        for (std::size_t at : {offset + 4, offset + 5})
            kept.push_back(at < input.size() ? input[at] : 0);
        kept.insert(kept.end(), {0, 0});
    }
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes input(data, data + size);
    const std::string& path = scratchFile();
    write(path, input);

    const ravik::StructureCheck check = ravik::checkStructure(path);
    require(!check.failure && check.verdict != ravik::Verdict::NotChecked, "check gave no verdict");
    require(check.lines.size() == (check.verdict == ravik::Verdict::Correct ? 1U : 2U),
            "check wrote an unexpected number of lines");
    require(read(path) == input, "the check changed the file");

    const ravik::Timeline timeline = ravik::buildTimeline(path, ravik::kTimelinePicture, ".");
    require(!timeline.failure, "the timeline could not read the file");
    require(timeline.boxes.size() < timeline.lines.size(), "more boxes than silences");
    require(!timeline.count.empty() && !timeline.minimum.empty() && !timeline.length.empty(),
            "a statistic is missing");
    require(read(path) == input, "the timeline changed the file");

    std::size_t dropped = 0;
    const Bytes expected = expectedDefrag(input, dropped);
    const ravik::Defragmentation defrag = ravik::defragment(path);
    require(!defrag.failure, "defrag failed");
    require(defrag.lines.size() == dropped + 2, "defrag wrote an unexpected number of lines");
    require(defrag.droppedCount == dropped, "defrag dropped other records");
    require(read(path) == expected, "defrag left other records than those over 50 ms");
    return 0;
}
