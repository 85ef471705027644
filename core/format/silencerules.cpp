// SPDX-License-Identifier: GPL-3.0-or-later
#include "silencerules.hpp"

#include <algorithm>

namespace ravik::silences {

namespace {

std::string ms(std::int64_t time) {
    return std::to_string(time) + " ms";
}

std::string span(const Silence& silence) {
    return "the silence from " + std::to_string(silence.start) + " to " + ms(silence.end);
}

} // namespace

std::optional<Break> firstBreak(std::span<const Silence> list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Silence& silence = list[i];
        if (silence.start < 0)
            return Break{i, Rule::BeforeZero};
        if (silence.end > kLastMs)
            return Break{i, Rule::PastLatest};
        if (silence.end < silence.start)
            return Break{i, Rule::EndBeforeStart};
        if (i > 0 && silence.start < list[i - 1].start)
            return Break{i, Rule::OutOfOrder};
        if (i > 0 && silence.start <= list[i - 1].end)
            return Break{i, Rule::NotAfterPrevious};
    }
    return std::nullopt;
}

std::string explain(const std::vector<Silence>& list, const Break& broken) {
    const Silence& silence = list[broken.index];
    switch (broken.rule) {
    case Rule::BeforeZero:
        return span(silence) + " starts before 0 ms (--clip cuts it there)";
    case Rule::PastLatest:
        return span(silence) + " ends after " + ms(kLastMs) +
               ", the latest time a GAP file holds (--clip cuts it there)";
    case Rule::EndBeforeStart:
        return span(silence) + " ends before it starts";
    case Rule::OutOfOrder:
        return span(silence) + " starts before the one before it (" +
               std::to_string(list[broken.index - 1].start) + " ms) (--sort orders them)";
    case Rule::NotAfterPrevious:
        return span(silence) + " does not start after the previous one ends (" +
               ms(list[broken.index - 1].end) + "); a GAP file needs at least 1 ms between " +
               "silences (--merge joins them)";
    }
    return {};
}

void mend(std::vector<Silence>& list, const Mending& mending) {
    if (mending.sort)
        std::stable_sort(list.begin(), list.end(),
                         [](const Silence& a, const Silence& b) { return a.start < b.start; });
    if (mending.clip) {
        std::erase_if(list, [](const Silence& s) {
            return s.start <= s.end && (s.end < 0 || s.start > kLastMs);
        });
        for (Silence& silence : list) {
            if (silence.end < silence.start)
                continue; // not the clip's to mend
            silence.start = std::max<std::int64_t>(silence.start, 0);
            silence.end = std::min<std::int64_t>(silence.end, kLastMs);
        }
    }
    if (mending.merge && !list.empty()) {
        std::vector<Silence> merged{list.front()};
        for (std::size_t i = 1; i < list.size(); ++i) {
            Silence& last = merged.back();
            const Silence& next = list[i];
            // Only silences that lie in order and are themselves sound are joined.
            if (next.start >= last.start && next.start <= last.end && next.end >= next.start)
                last.end = std::max(last.end, next.end);
            else
                merged.push_back(next);
        }
        list = std::move(merged);
    }
}

std::vector<std::uint8_t> encode(std::span<const Silence> list) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(list.size() * kRecordSize);
    for (const Silence& silence : list) {
        const auto record = encodeRecord(static_cast<std::int16_t>(silence.start),
                                         static_cast<std::int16_t>(silence.end));
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

std::vector<Silence> decode(const GapBytes& bytes, WalkEnd end) {
    std::vector<Silence> list;
    list.reserve(static_cast<std::size_t>(recordCount(bytes.size(), end)));
    for (const Record& record : RecordWalk(bytes, end))
        list.push_back({record.start(), record.end()});
    return list;
}

} // namespace ravik::silences
