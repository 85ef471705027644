// SPDX-License-Identifier: GPL-3.0-or-later
#include "structurecheck.hpp"

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
    for (const Record& record : RecordWalk(bytes, WalkEnd::ReadAhead)) {
        // Each broken rule overwrites the one before, so the highest kind is reported.
        if (!record.highWordsZero())
            check.error = StructureError::HighWord;
        if (record.end() < record.start())
            check.error = StructureError::EndBeforeStart;
        if (record.start() <= previousEnd)
            check.error = StructureError::Misplaced;
        previousEnd = record.end();
        if (check.error != StructureError::None) {
            check.failingOffset = record.offset;
            break;
        }
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

} // namespace ravik
