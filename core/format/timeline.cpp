// SPDX-License-Identifier: GPL-3.0-or-later
#include "timeline.hpp"

#include "core/text/messages.hpp"
#include "core/text/numberforms.hpp"

#include <cmath>
#include <cstdint>

namespace ravik {
namespace nf = numberforms;

namespace {

std::string minimumText(std::int32_t timelineEnd) {
    return "Bigger than " + nf::spacedDecimal(timelineEnd) + " msecs.";
}

} // namespace

Timeline buildTimeline(const GapBytes& bytes, PictureSize picture,
                       std::string_view decimalSeparator, const LineBlocks& blocks) {
    Timeline timeline;
    StatusLines& lines = timeline.lines;
    // With blocks, the lines made so far go there whenever a block is full, and at the end.
    const auto handOver = [&](std::size_t atLeast) {
        if (blocks && lines.size() >= atLeast && !lines.empty()) {
            blocks(lines);
            lines.clear();
        }
    };
    lines.add(messages::kDesigningGraph);
    timeline.boxHeight = static_cast<int>(std::nearbyint(picture.height));
    timeline.verdict = checkStructure(bytes).verdict;
    if (bytes.size() == 0) {
        timeline.count = "0";
        timeline.minimum = minimumText(0);
        timeline.length = nf::spacedDecimal(0);
        handOver(1);
        return timeline;
    }

    // The count ends at the first zero field; the drawing below ends with the file.
    const std::uint64_t zero = zeroScan(bytes);
    timeline.count = nf::halves(zero / 4, decimalSeparator);
    const std::int32_t end = bytes.field(zero - 4); // the end of the last counted silence
    timeline.minimum = minimumText(end);

    // With no length to scale by, or no picture, there is nothing to draw.
    const bool drawn = end != 0 && picture.width > 0;
    auto addBox = [&](double left, double width) {
        if (drawn)
            timeline.boxes.push_back({static_cast<float>(picture.width * left / end),
                                      static_cast<float>(picture.width * width / end)});
    };

    // One line and one box per record; a typical line is under 40 characters.
    const auto records = static_cast<std::size_t>(recordCount(bytes.size(), WalkEnd::ReadAhead));
    const std::size_t held = blocks ? std::min(records, kTimelineBlock) : records;
    lines.reserve(held, held * 40);
    if (drawn)
        timeline.boxes.reserve(records);

    std::int64_t total = 0;
    std::uint64_t from = 0;
    if (bytes.field(0) == 0) {
        const std::int32_t firstEnd = bytes.field(4);
        lines.add(
            {"Silence: 0 (0) - ", nf::spacedDecimal(firstEnd), " (", nf::hex32(firstEnd), ")"});
        addBox(0, firstEnd);
        total = firstEnd;
        // The next record is read when its start's low word is not 0, whether or not the file
        // holds it whole.
        from = kRecordSize;
        if (bytes.word(from) == 0) {
            timeline.length = nf::spacedDecimal(total);
            handOver(1);
            return timeline;
        }
    }
    for (const Record& record : RecordWalk(bytes, WalkEnd::ReadAhead, from)) {
        const std::int32_t start = record.wideStart;
        const std::int32_t stop = record.wideEnd;
        lines.add(nf::ShortLine()
                      .text("Silence: ")
                      .spaced(start)
                      .text(" (")
                      .hex32(start)
                      .text(") - ")
                      .plain(stop)
                      .text(" (")
                      .hex32(stop)
                      .text(")")
                      .view());
        handOver(kTimelineBlock);
        // Wide enough that no difference or sum of 32-bit times can overflow.
        const std::int64_t span = std::int64_t{stop} - start;
        addBox(start, static_cast<double>(span));
        total += span;
    }
    timeline.length = nf::spacedDecimal(total);
    handOver(1);
    return timeline;
}

} // namespace ravik
