// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/format/gapformat.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Everything worth knowing about one GAP file that a person keeping thousands of them consistent
/// would want listed, with where in the file it is.
namespace ravik::lint {

enum class Kind {
    Unreadable,    ///< the file could not be read
    Structure,     ///< the structure check fails
    Count,         ///< the timeline's silence count differs from the records the file holds
    HighWord,      ///< a record's high words are not zero: the timeline shows other times
    Fragment,      ///< a silence of 50 ms or less, which defrag drops
    PastLimit,     ///< a time after 32,767 ms
    PartialRecord, ///< the file ends inside a record
    Recording,     ///< the file and its recording disagree
};

/// The kind's name in reports: "structure", "partial-record", ...
[[nodiscard]] std::string_view kindName(Kind kind);

struct Finding {
    Kind kind = Kind::Structure;
    std::optional<std::uint64_t> offset; ///< byte offset of the record concerned
    std::optional<std::int64_t> time;    ///< the time concerned, in ms
    std::string message;                 ///< one sentence, without the path
    bool operator==(const Finding&) const = default;
};

/// The findings in a file's bytes, in the order of their offsets.
[[nodiscard]] std::vector<Finding> lintBytes(const GapBytes& bytes);
/// The same findings in the same order, each handed to `each` as it is found, so that a file of
/// a million fragments needs no list of them.
void lintBytes(const GapBytes& bytes, const std::function<void(Finding&&)>& each);

} // namespace ravik::lint
