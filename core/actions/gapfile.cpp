// SPDX-License-Identifier: GPL-3.0-or-later
#include "gapfile.hpp"

#include "core/files/fileio.hpp"
#include "core/format/defrag.hpp"
#include "core/format/gapformat.hpp"
#include "core/format/writers.hpp"
#include "core/text/messages.hpp"

namespace ravik {

StructureCheck checkStructure(const std::string& path) {
    const fileio::Contents contents = fileio::readGapFile(path);
    if (contents.failure) {
        StructureCheck check;
        check.failure = contents.failure;
        return check;
    }
    return checkStructure(GapBytes(contents.bytes));
}

Timeline buildTimeline(const std::string& path, PictureSize picture,
                       std::string_view decimalSeparator, const LineBlocks& blocks) {
    fileio::Contents contents = fileio::readGapFile(path);
    if (contents.failure) {
        Timeline timeline;
        timeline.lines.add(messages::kDesigningGraph);
        if (blocks) {
            blocks(timeline.lines);
            timeline.lines.clear();
        }
        timeline.failure = std::move(contents.failure);
        return timeline;
    }
    return buildTimeline(GapBytes(contents.bytes), picture, decimalSeparator, blocks);
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

std::optional<Failure> createGenericGap(const std::string& path) {
    return createGenericGap(path, Keeping{}).failure;
}

GenericCreation createGenericGap(const std::string& path, const Keeping& keeping) {
    GenericCreation result;
    fileio::Locking locking = fileio::lockForWriting(path, fileio::IfMissing::create);
    if (locking.failure) {
        result.failure = std::move(locking.failure);
        return result;
    }
    fileio::Contents before;
    if (locking.lock->existed()) {
        before = locking.lock->read();
        // Without a backup a file that is no GAP file is replaced as before, but cannot come back.
        if (before.failure && keeping.backupSuffix) {
            result.failure =
                Failure{"Could not write the backup", backupPath(path, *keeping.backupSuffix),
                        "\"" + printable(path) + "\" could not be read (" + before.failure->reason +
                            "); it was left as it was"};
            return result;
        }
    }
    if (auto failure = replaceKeeping(*locking.lock, path, before.bytes, kGenericGap, keeping)) {
        result.failure = std::move(failure);
        return result;
    }
    if (!before.failure)
        result.replaced = Replacement{path,
                                      messages::kGenericOperation,
                                      locking.lock->existed(),
                                      std::move(before.bytes),
                                      {kGenericGap.begin(), kGenericGap.end()}};
    return result;
}

SilenceWrite writeSilence(const std::string& path, std::string_view startText,
                          std::string_view endText, std::string_view decimalSeparator) {
    SilenceWrite result;
    const auto refuse = [&](std::string_view which, std::string_view text) {
        result.failure =
            Failure{"Nothing written to", path,
                    std::string("The silence ") + std::string(which) + " \"" + printable(text) +
                        "\" is not a number of milliseconds from -32768 to 32767"};
        return result;
    };
    const std::optional<std::int16_t> start = parseMilliseconds(startText, decimalSeparator);
    if (!start)
        return refuse("start", startText);
    const std::optional<std::int16_t> end = parseMilliseconds(endText, decimalSeparator);
    if (!end)
        return refuse("end", endText);

    fileio::Written written =
        fileio::writeAtEvenEnd(path, encodeRecord(*start, *end), kLargestFileSize);
    if (written.failure) {
        result.failure = std::move(written.failure);
        return result;
    }
    result.offset = written.offset;
    result.lines.add(messages::writingSilence(startText, endText));
    return result;
}

std::optional<Failure> deleteGapFile(const std::string& path) {
    return fileio::removeFile(path);
}

} // namespace ravik
