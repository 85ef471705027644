// Feeds arbitrary text to every importer, with every mending, and to lint. Besides the
// sanitizers' own checks it asserts that an accepted import is a valid GAP file, that a refusal
// names its input line, and that what import accepts comes back the same from export.
#include "core/exchange.hpp"
#include "core/lint.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using namespace ravik;

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "import_fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte chooses the format and the mendings; the rest is the input.
    const std::uint8_t choice = data[0];
    const auto format = static_cast<exchange::Format>(choice % 6);
    exchange::ImportOptions options;
    options.mending = {(choice & 0x08) != 0, (choice & 0x10) != 0, (choice & 0x20) != 0};
    options.skipPoints = (choice & 0x40) != 0;
    options.dropTiny = (choice & 0x80) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const exchange::Imported imported = exchange::importSilences(format, text, options);
    if (imported.refusal) {
        require(imported.refusal->starts_with("line "), "a refusal does not name its line");
        require(imported.list.empty(), "a refusal came with silences");
        return 0;
    }
    require(!silences::firstBreak(imported.list), "an accepted import is not a valid GAP file");
    const auto gap = silences::encode(imported.list);
    require(lint::lintBytes(GapBytes(gap)).size() ==
                static_cast<std::size_t>(std::count_if(
                    imported.list.begin(), imported.list.end(),
                    [](const silences::Silence& s) { return s.end - s.start <= 50; })),
            "lint finds more than fragments in an imported file");
    if (exchange::canExport(format) && format != exchange::Format::TextGrid) {
        const auto exported = exchange::exportSilences(format, imported.list, {"a.gap", {}});
        const auto back = exchange::importSilences(format, exported.text, {});
        require(!back.refusal && silences::encode(back.list) == gap,
                "an exported file does not come back the same");
    }
    return 0;
}
