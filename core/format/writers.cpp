#include "writers.hpp"

#include "core/files/fileio.hpp"
#include "core/format/gapformat.hpp"
#include "core/text/messages.hpp"

#include <limits>

namespace ravik {

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

std::optional<std::int16_t> parseMilliseconds(std::string_view text,
                                              std::string_view decimalSeparator) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < text.size() && isDigit(text[digits]))
        ++digits;
    std::string_view whole = text.substr(0, digits);
    text.remove_prefix(digits);

    std::string_view fraction;
    if (!text.empty()) {
        if (text.front() == '.')
            text.remove_prefix(1);
        else if (!decimalSeparator.empty() && text.starts_with(decimalSeparator))
            text.remove_prefix(decimalSeparator.size());
        else
            return std::nullopt;
        std::size_t fractionDigits = 0;
        while (fractionDigits < text.size() && isDigit(text[fractionDigits]))
            ++fractionDigits;
        if (fractionDigits != text.size())
            return std::nullopt;
        fraction = text;
    }
    if (whole.empty() && fraction.empty())
        return std::nullopt;

    while (whole.size() > 1 && whole.front() == '0')
        whole.remove_prefix(1);
    if (whole.size() > 6)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : whole)
        value = value * 10 + (c - '0');

    // Decided on the digits themselves, so that 0.5000000000000000001 rounds up as it should.
    if (!fraction.empty()) {
        const bool aboveHalf = fraction.front() > '5' ||
                               (fraction.front() == '5' &&
                                fraction.find_first_not_of('0', 1) != std::string_view::npos);
        const bool exactHalf = fraction.front() == '5' && !aboveHalf;
        if (aboveHalf || (exactHalf && value % 2 != 0))
            ++value;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(value);
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
