// SPDX-License-Identifier: GPL-3.0-or-later
#include "silences.hpp"

#include "core/format/silencerules.hpp"
#include "core/text/numberforms.hpp"

#include <algorithm>
#include <array>

namespace ravik::silences {
namespace {

// A time of a valid list, which always fits the editor's int.
int msOf(std::int64_t time) {
    return static_cast<int>(time);
}

} // namespace

bool isValid(std::span<const ravik::Silence> list) {
    return !firstBreak(list);
}

Range edgeRange(std::span<const ravik::Silence> list, std::size_t index, Edge edge) {
    const int start = msOf(list[index].start);
    const int end = msOf(list[index].end);
    Range range;
    if (edge == Edge::Start) {
        range = {index == 0 ? 0 : msOf(list[index - 1].end) + 1, end - 1};
        range = {std::min(range.low, start), std::max(range.high, start)};
    } else {
        range = {start + 1, index + 1 == list.size() ? kLastMs : msOf(list[index + 1].start) - 1};
        range = {std::min(range.low, end), std::max(range.high, end)};
    }
    return range;
}

std::optional<Range> freeRoomAround(std::span<const ravik::Silence> list, int ms) {
    if (ms < 0 || ms > kLastMs)
        return std::nullopt;
    const auto after =
        std::ranges::upper_bound(list, ms, {}, &ravik::Silence::end); // first ending later
    const int low = after == list.begin() ? 0 : msOf(std::prev(after)->end) + 1;
    const int high = after == list.end() ? kLastMs : msOf(after->start) - 1;
    if (ms < low || ms > high)
        return std::nullopt;
    return Range{low, high};
}

std::optional<ravik::Silence> newSilence(std::span<const ravik::Silence> list, int anchor, int to) {
    const std::optional<Range> room = freeRoomAround(list, anchor);
    if (!room || room->high == room->low)
        return std::nullopt;
    const int other = room->clamp(to);
    ravik::Silence silence{std::min(anchor, other), std::max(anchor, other)};
    if (silence.start == silence.end) // a click, or a drag that went nowhere: 1 ms where room is
        silence.end < room->high ? ++silence.end : --silence.start;
    return silence;
}

std::size_t insertionIndex(std::span<const ravik::Silence> list, const ravik::Silence& silence) {
    return static_cast<std::size_t>(
        std::ranges::lower_bound(list, silence.start, {}, &ravik::Silence::start) - list.begin());
}

std::optional<std::size_t> silenceAt(std::span<const ravik::Silence> list, int ms) {
    const auto at = std::ranges::lower_bound(list, ms, {}, &ravik::Silence::end);
    if (at == list.end() || at->start > ms)
        return std::nullopt;
    return static_cast<std::size_t>(at - list.begin());
}

Decoded decodeFile(const GapBytes& bytes) {
    Decoded decoded;
    decoded.list = decode(bytes, WalkEnd::WholeRecords);
    const RecordWalk walk(bytes, WalkEnd::WholeRecords);
    if (bytes.size() % kRecordSize != 0)
        decoded.fault = strayBytesText(bytes.size());
    else if (!std::ranges::all_of(walk, &Record::highWordsZero))
        decoded.fault = "the high words of a record are not zero";
    decoded.valid = decoded.fault.empty() && isValid(decoded.list);
    return decoded;
}

std::string statusLine(std::optional<int> pointerMs, std::optional<ravik::Silence> selected) {
    std::string line;
    if (pointerMs)
        line += "Pointer " + numberforms::plainDecimal(*pointerMs) + " ms";
    if (selected) {
        if (!line.empty())
            line += "   ";
        line += "Silence " + numberforms::plainDecimal(selected->start) + " to " +
                numberforms::plainDecimal(selected->end) + " ms, " +
                numberforms::plainDecimal(selected->end - selected->start) + " ms long";
    }
    return line;
}

std::string invalidFileNotice(const std::string& gapPath, const std::string& fault) {
    return "\"" + gapPath + "\" is not a valid GAP file" +
           (fault.empty() ? std::string() : " (" + fault + ")") +
           ", so its silences are not shown; saving replaces it.";
}

} // namespace ravik::silences
