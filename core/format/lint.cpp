// SPDX-License-Identifier: GPL-3.0-or-later
#include "lint.hpp"

#include "core/format/defrag.hpp"
#include "core/format/silencerules.hpp"
#include "core/format/structurecheck.hpp"
#include "core/text/numberforms.hpp"

#include <algorithm>
#include <array>
#include <functional>

namespace ravik::lint {

std::string_view kindName(Kind kind) {
    static constexpr std::array<std::string_view, 8> kNames{
        "unreadable", "structure",  "count",          "high-word",
        "fragment",   "past-limit", "partial-record", "recording"};
    return kNames[static_cast<std::size_t>(kind)];
}

namespace {

std::string ms(std::int64_t time) {
    return std::to_string(time) + " ms";
}

using Each = std::function<void(Finding&&)>;

void structure(const GapBytes& bytes, std::vector<Finding>& findings) {
    const StructureCheck check = checkStructure(bytes);
    if (check.verdict != Verdict::Incorrect)
        return;
    std::string line(check.lines[check.lines.size() - 1]);
    if (line.starts_with("Error: "))
        line.erase(0, 7);
    findings.push_back({Kind::Structure, check.failingOffset, bytes.word(check.failingOffset),
                        "the structure check fails: " + line});
}

// The timeline counts silences up to the first zero field; the check walks every record.
void count(const GapBytes& bytes, std::vector<Finding>& findings) {
    if (bytes.size() == 0)
        return;
    const std::uint64_t zero = zeroScan(bytes);
    const std::uint64_t walked = recordCount(bytes.size(), WalkEnd::FirstWord);
    if (zero / 4 == 2 * walked)
        return;
    findings.push_back({Kind::Count, zero, std::nullopt,
                        "the timeline counts " + numberforms::halves(zero / 4, ".") +
                            " silences where the file holds " + std::to_string(walked) +
                            (walked == 1 ? " record" : " records") + ": the zero field at offset " +
                            std::to_string(zero) + " ends its count"});
}

// The high words and the times past the limit of the record at `record`.
void wide(const Record& record, const Each& each) {
    const std::int32_t wideStart = record.wideStart;
    const std::int32_t wideEnd = record.wideEnd;
    const std::int16_t start = record.start();
    const std::int16_t end = record.end();
    if (!record.highWordsZero())
        each({Kind::HighWord, record.offset, wideStart,
              "the high words are not zero: the timeline shows " + std::to_string(wideStart) +
                  " to " + ms(wideEnd) + ", the check and defrag " + std::to_string(start) +
                  " to " + ms(end)});
    struct Time {
        const char* name;
        std::int32_t wide;
        std::int16_t low;
    };
    for (const Time& time : {Time{"start", wideStart, start}, Time{"end", wideEnd, end}}) {
        if (time.wide > silences::kLastMs)
            each({Kind::PastLimit, record.offset, time.wide,
                  std::string("the ") + time.name + " " + ms(time.wide) + " lies past " +
                      ms(silences::kLastMs) +
                      ", the latest time a GAP file holds; the check and defrag read " +
                      ms(time.low)});
    }
}

// Defrag judges every record the file holds, a partial one included.
void fragment(const Record& record, const Each& each) {
    const std::int16_t start = record.start();
    const std::int16_t end = record.end();
    if (int{end} - int{start} > kFragmentLimit)
        return;
    each({Kind::Fragment, record.offset, start,
          end < start ? "the silence from " + std::to_string(start) + " to " + ms(end) +
                            " ends before it starts; defrag drops it"
                      : "the silence from " + std::to_string(start) + " to " + ms(end) + " lasts " +
                            ms(end - start) + "; defrag drops silences of " + ms(kFragmentLimit) +
                            " or less"});
}

void partial(const GapBytes& bytes, std::vector<Finding>& findings) {
    const std::uint64_t extra = bytes.size() % kRecordSize;
    if (extra == 0)
        return;
    findings.push_back(
        {Kind::PartialRecord, bytes.size() - extra, std::nullopt,
         strayBytesText(bytes.size()) +
             (extra == 1 ? "; the check and the timeline never read the lone byte"
                         : "; the check and defrag read the missing bytes as zero")});
}

} // namespace

void lintBytes(const GapBytes& bytes, const std::function<void(Finding&&)>& each) {
    // The file's own findings (at most one of each) are found first; the records' come in one
    // walk, and each goes out once every finding at a lower offset has, those of the file before
    // those of a record at the same offset, and the partial record's last of all.
    std::vector<Finding> own;
    structure(bytes, own);
    count(bytes, own);
    std::stable_sort(own.begin(), own.end(), [](const Finding& a, const Finding& b) {
        return a.offset.value_or(0) < b.offset.value_or(0);
    });
    auto next = own.begin();
    const auto upTo = [&](std::uint64_t offset, bool included) {
        for (; next != own.end() &&
               (next->offset.value_or(0) < offset || (included && next->offset == offset));
             ++next)
            each(std::move(*next));
    };
    RecordWalk whole(bytes, WalkEnd::FirstWord);
    auto wholeRecord = whole.begin();
    for (const Record& record : RecordWalk(bytes, WalkEnd::AnyByte)) {
        upTo(record.offset, true);
        if (wholeRecord != whole.end() && (*wholeRecord).offset == record.offset) {
            wide(*wholeRecord, each);
            ++wholeRecord;
        }
        fragment(record, each);
    }
    std::vector<Finding> last;
    partial(bytes, last);
    for (Finding& finding : last) {
        upTo(finding.offset.value_or(0), true);
        each(std::move(finding));
    }
    upTo(~std::uint64_t{0}, true);
}

std::vector<Finding> lintBytes(const GapBytes& bytes) {
    std::vector<Finding> findings;
    lintBytes(bytes, [&](Finding&& finding) { findings.push_back(std::move(finding)); });
    return findings;
}

} // namespace ravik::lint
