#include "timeline.hpp"

#include "fileio.hpp"
#include "messages.hpp"
#include "numberforms.hpp"

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
                       std::string_view decimalSeparator) {
    Timeline timeline;
    timeline.lines.add(messages::kDesigningGraph);
    timeline.boxHeight = static_cast<int>(std::nearbyint(picture.height));
    if (bytes.size() == 0) {
        timeline.count = "0";
        timeline.minimum = minimumText(0);
        timeline.length = nf::spacedDecimal(0);
        return timeline;
    }

    // The count ends at the first zero field; the drawing below ends with the file.
    const std::uint64_t zero = zeroScan(bytes);
    timeline.count = nf::halves(zero / 4, decimalSeparator);
    const std::int32_t end = bytes.field(zero - 4); // the end of the last counted silence
    timeline.minimum = minimumText(end);

    auto addBox = [&](double left, double width) {
        // With no length to scale by there is nothing to draw.
        if (end != 0)
            timeline.boxes.push_back({static_cast<float>(picture.width * left / end),
                                      static_cast<float>(picture.width * width / end)});
    };

    // One line and one box per record; a typical line is under 40 characters.
    const std::size_t records = static_cast<std::size_t>(recordsHeld(bytes.size()));
    timeline.lines.reserve(records, records * 40);
    timeline.boxes.reserve(records);

    std::int64_t total = 0;
    std::uint64_t offset = 0;
    if (bytes.field(0) == 0) {
        const std::int32_t firstEnd = bytes.field(4);
        timeline.lines.add(
            {"Silence: 0 (0) - ", nf::spacedDecimal(firstEnd), " (", nf::hex32(firstEnd), ")"});
        addBox(0, firstEnd);
        total = firstEnd;
        offset = kRecordSize;
        if (bytes.word(offset) == 0) {
            timeline.length = nf::spacedDecimal(total);
            return timeline;
        }
    }
    for (;;) {
        const std::int32_t start = bytes.field(offset);
        const std::int32_t stop = bytes.field(offset + 4);
        timeline.lines.add(nf::ShortLine()
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
        // Wide enough that no difference or sum of 32-bit times can overflow.
        const std::int64_t span = std::int64_t{stop} - start;
        addBox(start, static_cast<double>(span));
        total += span;
        // A record follows only when at least its first word lies inside the file.
        const bool exhausted = !bytes.holds(offset + kRecordSize, 2);
        offset += kRecordSize;
        if (exhausted)
            break;
    }
    timeline.length = nf::spacedDecimal(total);
    return timeline;
}

Timeline buildTimeline(const std::string& path, PictureSize picture,
                       std::string_view decimalSeparator) {
    fileio::Contents contents = fileio::readGapFile(path);
    if (contents.failure) {
        Timeline timeline;
        timeline.lines.add(messages::kDesigningGraph);
        timeline.failure = std::move(contents.failure);
        return timeline;
    }
    return buildTimeline(GapBytes(contents.bytes), picture, decimalSeparator);
}

} // namespace ravik
