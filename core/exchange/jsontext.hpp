// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The little JSON the program reads and writes: its own silence lists and lint reports.
namespace ravik::jsontext {

/// `text` as a JSON string, quotes included, and always UTF-8: a byte that is not part of a
/// UTF-8 sequence (a file name in another encoding) is written as the escape of the lone
/// surrogate U+DC80 to U+DCFF that stands for it, as Python's "surrogateescape" does, so that
/// the name can be told back byte for byte (parse() does, and so does Python's os.fsencode).
[[nodiscard]] std::string quoted(std::string_view text);

struct Member;

/// A parsed JSON value. Numbers keep their text, so that they can be read exactly. An object
/// whose members' names repeat is refused: which of the values was meant cannot be told.
struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    std::string text; ///< a number's text, a string's content, "true" or "false"
    std::vector<Value> items;
    std::vector<Member> members;
    std::size_t line = 0; ///< where the value starts, counting from 1 (LF, CR LF or CR end a line)

    /// The member named `name`, or null.
    [[nodiscard]] const Value* member(std::string_view name) const;
};

struct Member {
    std::string name;
    Value value;
};

struct Parsed {
    Value value;
    std::optional<std::string> error; ///< "line 3: ..." when the text is not JSON
};

[[nodiscard]] Parsed parse(std::string_view text);

} // namespace ravik::jsontext
