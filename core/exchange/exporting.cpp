// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exchange/exchange.hpp"
#include "core/exchange/jsontext.hpp"
#include "core/text/decimaltext.hpp"

#include <algorithm>
#include <array>
#include <charconv>

namespace ravik::exchange {
namespace dt = decimaltext;
using silences::Silence;

std::optional<Format> formatNamed(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, Format>, 6> kNames{{
        {"audacity", Format::Audacity},
        {"textgrid", Format::TextGrid},
        {"csv", Format::Csv},
        {"json", Format::Json},
        {"silencedetect", Format::SilenceDetect},
        {"mouthcues", Format::MouthCues},
    }};
    for (const auto& [text, format] : kNames)
        if (text == name)
            return format;
    return std::nullopt;
}

bool canExport(Format format) {
    return format != Format::SilenceDetect && format != Format::MouthCues;
}

namespace {

std::string plain(std::int64_t value) {
    return std::to_string(value); // digits only: std::to_string never groups or localises
}

std::string audacity(const std::vector<Silence>& list) {
    std::string text;
    for (const Silence& silence : list)
        text += dt::seconds(silence.start, 6) + '\t' + dt::seconds(silence.end, 6) + '\t' +
                std::string(kAudacityLabel) + '\n';
    return text;
}

std::string csv(const std::vector<Silence>& list) {
    std::string text = "start_ms,end_ms\n";
    for (const Silence& silence : list)
        text += plain(silence.start) + ',' + plain(silence.end) + '\n';
    return text;
}

std::string json(const std::vector<Silence>& list, const std::string& fileName) {
    std::string text = "{\n  \"file\": " + jsontext::quoted(fileName) + ",\n  \"silences\": [";
    for (std::size_t i = 0; i < list.size(); ++i)
        text += std::string(i == 0 ? "\n" : ",\n") + "    {\"start_ms\": " + plain(list[i].start) +
                ", \"end_ms\": " + plain(list[i].end) + "}";
    text += list.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return text;
}

struct Interval {
    std::string from;
    std::string to;
    std::string_view label;
};

// The long text format as Praat writes it, with one interval tier that covers the recording.
Exported textGrid(const std::vector<Silence>& list, const ExportOptions& options) {
    Exported exported;
    const std::int64_t lastEnd = list.empty() ? 0 : list.back().end;
    std::string end = dt::shortSeconds(lastEnd);
    if (options.recordingSeconds && *options.recordingSeconds * 1000 > double(lastEnd)) {
        std::array<char, 32> digits{};
        end.assign(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(),
                                                *options.recordingSeconds)
                                      .ptr);
    } else if (options.recordingSeconds && *options.recordingSeconds * 1000 < double(lastEnd)) {
        exported.notes.push_back("the silences reach past the end of the recording; the "
                                 "TextGrid ends with the last silence, at " +
                                 end + " s");
    }

    std::vector<Interval> intervals;
    std::int64_t covered = 0;
    for (const Silence& silence : list) {
        if (silence.end == silence.start) {
            exported.notes.push_back("the silence from " + plain(silence.start) + " to " +
                                     plain(silence.end) +
                                     " ms lasts no time, which a TextGrid interval cannot; it "
                                     "is left out and the speech around it is one interval");
            continue;
        }
        if (silence.start > covered)
            intervals.push_back({dt::shortSeconds(covered), dt::shortSeconds(silence.start), ""});
        intervals.push_back(
            {dt::shortSeconds(silence.start), dt::shortSeconds(silence.end), kTextGridLabel});
        covered = silence.end;
    }
    if (intervals.empty() ? end != "0" : intervals.back().to != end)
        intervals.push_back({dt::shortSeconds(covered), end, ""});

    std::string& text = exported.text;
    text = "File type = \"ooTextFile\"\nObject class = \"TextGrid\"\n\nxmin = 0\nxmax = " + end +
           "\ntiers? <exists>\nsize = 1\nitem []:\n    item [1]:\n        class = "
           "\"IntervalTier\"\n        name = \"" +
           std::string(kTextGridTier) + "\"\n        xmin = 0\n        xmax = " + end +
           "\n        intervals: size = " + plain(static_cast<std::int64_t>(intervals.size())) +
           '\n';
    for (std::size_t i = 0; i < intervals.size(); ++i)
        text += "        intervals [" + plain(static_cast<std::int64_t>(i + 1)) +
                "]:\n            xmin = " + intervals[i].from +
                "\n            xmax = " + intervals[i].to + "\n            text = \"" +
                std::string(intervals[i].label) + "\"\n";
    return exported;
}

} // namespace

Exported exportSilences(Format format, const std::vector<Silence>& list,
                        const ExportOptions& options) {
    switch (format) {
    case Format::Audacity:
        return {audacity(list), {}};
    case Format::TextGrid:
        return textGrid(list, options);
    case Format::Csv:
        return {csv(list), {}};
    case Format::Json:
        return {json(list, options.fileName), {}};
    case Format::SilenceDetect:
    case Format::MouthCues:
        break;
    }
    return {};
}

} // namespace ravik::exchange
