#include "structurecheck.hpp"

#include "core/files/fileio.hpp"
#include "core/text/messages.hpp"

namespace ravik {

std::string_view StructureCheck::verdictText() const {
    switch (verdict) {
    case Verdict::Correct:
        return messages::kVerdictCorrect;
    case Verdict::Incorrect:
        return messages::kVerdictIncorrect;
    case Verdict::NotChecked:
        break;
    }
    return {};
}

Rgb StructureCheck::verdictColour() const {
    return verdict == Verdict::Incorrect ? Rgb{255, 0, 0} : Rgb{0, 0, 0};
}

StructureCheck checkStructure(const GapBytes& bytes) {
    StructureCheck check;
    std::int16_t previousEnd = -1;
    for (std::uint64_t offset = 0;; offset += kRecordSize) {
        const std::int16_t start = bytes.word(offset);
        const std::int16_t startHigh = bytes.word(offset + 2);
        const std::int16_t end = bytes.word(offset + 4);
        const std::int16_t endHigh = bytes.word(offset + 6);
        // The walk reads the next record's first word too: when that read runs past the end
        // of the file, this record was the last.
        const bool last = !bytes.holds(offset, kRecordSize + 2);

        // Each broken rule overwrites the one before, so the highest kind is reported.
        if (startHigh != 0 || endHigh != 0)
            check.error = StructureError::HighWord;
        if (end < start)
            check.error = StructureError::EndBeforeStart;
        if (start <= previousEnd)
            check.error = StructureError::Misplaced;
        previousEnd = end;

        if (check.error != StructureError::None) {
            check.failingOffset = offset;
            break;
        }
        if (last)
            break;
    }

    switch (check.error) {
    case StructureError::None:
        check.verdict = Verdict::Correct;
        check.lines.add(messages::kFormatCorrect);
        return check;
    case StructureError::HighWord:
        check.lines = {messages::kFormatIncorrect, messages::kHighWordError};
        break;
    case StructureError::EndBeforeStart:
        check.lines = {messages::kFormatIncorrect, messages::kEndBeforeStartError};
        break;
    case StructureError::Misplaced:
        check.lines = {messages::kFormatIncorrect, messages::misplacedError(check.failingOffset)};
        break;
    }
    check.verdict = Verdict::Incorrect;
    return check;
}

StructureCheck checkStructure(const std::string& path) {
    const fileio::Contents contents = fileio::readGapFile(path);
    if (contents.failure) {
        StructureCheck check;
        check.failure = contents.failure;
        return check;
    }
    return checkStructure(GapBytes(contents.bytes));
}

} // namespace ravik
