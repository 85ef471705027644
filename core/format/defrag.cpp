#include "defrag.hpp"

#include "core/files/fileio.hpp"
#include "core/text/messages.hpp"
#include "core/text/numberforms.hpp"

namespace ravik {
namespace nf = numberforms;

DefragPlan planDefrag(const GapBytes& bytes, StatusLines& fragmentLines) {
    DefragPlan plan;
    const std::uint64_t records = recordsHeld(bytes.size());
    plan.kept.reserve(static_cast<std::size_t>(records * kRecordSize));
    fragmentLines.reserve(static_cast<std::size_t>(records),
                          static_cast<std::size_t>(records) * 40);
    for (std::uint64_t i = 0; i < records; ++i) {
        const std::int16_t start = bytes.word(i * kRecordSize);
        const std::int16_t end = bytes.word(i * kRecordSize + 4);
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
        const auto record = encodeRecord(start, end);
        plan.kept.insert(plan.kept.end(), record.begin(), record.end());
        ++plan.keptCount;
    }
    return plan;
}

Defragmentation defragment(const std::string& path, const Keeping& keeping) {
    Defragmentation result;
    result.lines.add(messages::kInitialisingDefrag);
    // Held from the read to the rename, so that no silence written meanwhile is lost.
    fileio::Locking locking = fileio::lockForWriting(path, fileio::IfMissing::fail);
    if (locking.failure) {
        result.failure = std::move(locking.failure);
        return result;
    }
    fileio::Contents contents = locking.lock->read();
    if (contents.failure) {
        result.failure = std::move(contents.failure);
        return result;
    }
    DefragPlan plan = planDefrag(GapBytes(contents.bytes), result.lines);
    result.keptCount = plan.keptCount;
    result.droppedCount = plan.droppedCount;
    if (auto failure = replaceKeeping(*locking.lock, path, contents.bytes, plan.kept, keeping)) {
        result.failure = std::move(failure);
        return result;
    }
    result.lines.add(messages::kDefragFinished);
    result.replaced = Replacement{path, messages::kDefragOperation, true, std::move(contents.bytes),
                                  std::move(plan.kept)};
    return result;
}

} // namespace ravik
