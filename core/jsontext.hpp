#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The little JSON the program reads and writes: its own silence lists and lint reports.
namespace ravik::jsontext {

/// `text` as a JSON string, quotes included; bytes that are not valid UTF-8 are kept as they are.
[[nodiscard]] std::string quoted(std::string_view text);

struct Member;

/// A parsed JSON value. Numbers keep their text, so that they can be read exactly.
struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    std::string text; ///< a number's text, a string's content, "true" or "false"
    std::vector<Value> items;
    std::vector<Member> members;
    std::size_t line = 0; ///< where the value starts, counting from 1

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
