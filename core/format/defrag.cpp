// SPDX-License-Identifier: GPL-3.0-or-later
#include "defrag.hpp"

#include "core/text/numberforms.hpp"

namespace ravik {
namespace nf = numberforms;

DefragPlan planDefrag(const GapBytes& bytes, StatusLines& fragmentLines) {
    DefragPlan plan;
    const std::uint64_t records = recordCount(bytes.size(), WalkEnd::AnyByte);
    plan.kept.reserve(static_cast<std::size_t>(records * kRecordSize));
    fragmentLines.reserve(static_cast<std::size_t>(records),
                          static_cast<std::size_t>(records) * 40);
    for (const Record& record : RecordWalk(bytes, WalkEnd::AnyByte)) {
        const std::int16_t start = record.start();
        const std::int16_t end = record.end();
        if (int{end} - int{start} <= kFragmentLimit) {
            fragmentLines.add(nf::ShortLine()
                                  .text("Frag detected: ")
                                  .spaced(start)
                                  .text(" (")
                                  .hex16(start)
                                  .text(") - ")
                                  .plain(end)
                                  .text(" (")
                                  .hex16(end)
                                  .text(")")
                                  .view());
            ++plan.droppedCount;
            continue;
        }
        const auto kept = encodeRecord(start, end);
        plan.kept.insert(plan.kept.end(), kept.begin(), kept.end());
        ++plan.keptCount;
    }
    return plan;
}

} // namespace ravik
