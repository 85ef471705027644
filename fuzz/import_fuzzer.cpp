// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary text to every importer, with every mending, and to lint. Besides the
// sanitizers' own checks it asserts that an accepted import is a valid GAP file, that a refusal
// names its input line, that what import accepts comes back the same from export, that the same
// text read with any of the three line breaks gives the same silences (or a refusal naming the
// same line), and that a JSON silence list with a member given twice is refused.
#include "core/exchange/exchange.hpp"
#include "core/format/lint.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace ravik;

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "import_fuzzer: %s\n", what);
        std::abort();
    }
}

// `text` with every line break (LF, CR LF or a lone CR) written as `lineBreak`.
std::string withBreaks(std::string_view text, std::string_view lineBreak) {
    std::string rewritten;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' || text[at] == '\n') {
            rewritten += lineBreak;
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
        } else {
            rewritten += text[at];
        }
    }
    return rewritten;
}

// The line a refusal names: "line 12: ..." gives "line 12".
std::string_view lineOf(const std::string& refusal) {
    return std::string_view(refusal).substr(0, refusal.find(':'));
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
    // A text and a quoted text may hold line breaks too: only the silences and the line named
    // must be the same whichever breaks the text has.
    for (const std::string_view lineBreak : {"\n", "\r\n", "\r"}) {
        const exchange::Imported again =
            exchange::importSilences(format, withBreaks(text, lineBreak), options);
        require(again.refusal.has_value() == imported.refusal.has_value(),
                "another line break changes whether the text is taken");
        require(!imported.refusal || lineOf(*again.refusal) == lineOf(*imported.refusal),
                "another line break changes the line a refusal names");
        require(silences::encode(again.list) == silences::encode(imported.list),
                "another line break changes the silences");
    }
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
    if (format == exchange::Format::Json && !imported.list.empty()) {
        // The first silence's start given twice: which one was meant cannot be told.
        std::string twice = exchange::exportSilences(format, imported.list, {"a.gap", {}}).text;
        twice.insert(twice.find("\"end_ms\""), "\"start_ms\": 0, ");
        require(exchange::importSilences(format, twice, {}).refusal.has_value(),
                "a member given twice is taken");
    }
    return 0;
}
