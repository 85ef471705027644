// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the example GAP files that each break one rule of the structure check. Usage:
// make_examples FOLDER. (speech.gap is what `gaptool detect` writes for speech.wav.)
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Silences = std::vector<std::pair<std::int32_t, std::int32_t>>;

bool write(const std::string& path, const Silences& silences) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [start, end] : silences)
        for (std::int32_t value : {start, end})
            for (int shift = 0; shift < 32; shift += 8)
                out.put(static_cast<char>((static_cast<std::uint32_t>(value) >> shift) & 0xFFU));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: make_examples FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const Silences misplaced{{0, 150}, {700, 900}, {880, 1000}, {1500, 1700}};
    const Silences endBeforeStart{{0, 150}, {700, 900}, {1300, 1200}, {1500, 1700}};
    const Silences highWord{{0, 150}, {700, 900}, {70000, 70100}};
    const bool written = write(folder + "/misplaced.gap", misplaced) &&
                         write(folder + "/end-before-start.gap", endBeforeStart) &&
                         write(folder + "/high-word.gap", highWord);
    if (!written) {
        std::fprintf(stderr, "make_examples: could not write the examples in %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
