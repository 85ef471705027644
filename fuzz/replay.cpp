// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzzer's test on every input kept in its corpus (fuzz/corpus/NAME), as libFuzzer would,
// so that each input that ever broke a fuzzer is tried again by every test run. A broken promise
// aborts, as under the fuzzer, after the input's name has been printed.
//
// Usage: NAME_replay MAX_LEN FOLDER...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s MAX_LEN FOLDER...\n", argv[0]);
        return 2;
    }
    const auto maxLength = std::strtoull(argv[1], nullptr, 10);
    std::vector<std::filesystem::path> inputs;
    for (int arg = 2; arg < argc; ++arg)
        for (const auto& entry : std::filesystem::directory_iterator(argv[arg]))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    for (const std::filesystem::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        // The fuzzer never tries a longer input: one kept longer would be tried otherwise here.
        if (bytes.size() > maxLength) {
            std::fprintf(stderr, "%s: longer than the fuzzer's %llu bytes; cut it\n",
                         input.string().c_str(), static_cast<unsigned long long>(maxLength));
            return 1;
        }
        std::fprintf(stderr, "%s\n", input.string().c_str());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
