// SPDX-License-Identifier: GPL-3.0-or-later
#include "jsontext.hpp"

#include "core/text/plaintext.hpp"

#include <array>
#include <string_view>
#include <unordered_set>

namespace ravik::jsontext {

std::string quoted(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    const auto escape = [&](unsigned code) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kHex[(code >> shift) & 0xFU];
    };
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        const std::size_t length = plaintext::utf8SequenceAt(text, i);
        if (length == 0) {
            escape(0xDC00 + byte); // a byte that is no UTF-8: its lone surrogate
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20)
                escape(byte);
            else
                out += c;
        }
        ++i;
    }
    out += '"';
    return out;
}

const Value* Value::member(std::string_view name) const {
    for (const Member& each : members)
        if (each.name == name)
            return &each.value;
    return nullptr;
}

namespace {

// Deep enough for any list of silences; a deeper file is refused instead of exhausting the stack.
constexpr int kDeepest = 64;
// Up to this many members an object's names are compared one by one.
constexpr std::size_t kSmallObject = 16;

class Parser {
public:
    explicit Parser(std::string_view text)
        : text_(text) {}

    Parsed run() {
        Parsed parsed;
        skipBlanks();
        if (!value(parsed.value, 0)) {
            parsed.error = error_;
            return parsed;
        }
        skipBlanks();
        if (at_ != text_.size())
            parsed.error = where() + "unexpected text after the JSON value";
        return parsed;
    }

private:
    std::string where() const { return "line " + std::to_string(line_) + ": "; }
    bool fail(const std::string& what) {
        error_ = where() + what;
        return false;
    }
    void skipBlanks() {
        while (at_ < text_.size()) {
            if (const std::size_t breakLength = plaintext::lineBreakAt(text_, at_)) {
                ++line_;
                at_ += breakLength;
            } else if (text_[at_] == ' ' || text_[at_] == '\t') {
                ++at_;
            } else {
                return;
            }
        }
    }
    bool take(char c) {
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool value(Value& into, int depth) {
        skipBlanks();
        into.line = line_;
        if (at_ == text_.size())
            return fail("the JSON text ends where a value should be");
        if (depth > kDeepest)
            return fail("the JSON text nests too deeply");
        const char c = text_[at_];
        if (c == '{')
            return object(into, depth);
        if (c == '[')
            return array(into, depth);
        if (c == '"') {
            into.kind = Value::Kind::String;
            return string(into.text);
        }
        if (c == '-' || (c >= '0' && c <= '9'))
            return number(into);
        for (const auto& [word, kind] : std::array<std::pair<std::string_view, Value::Kind>, 3>{
                 {{"true", Value::Kind::Boolean},
                  {"false", Value::Kind::Boolean},
                  {"null", Value::Kind::Null}}}) {
            if (text_.substr(at_, word.size()) == word) {
                into.kind = kind;
                into.text = word;
                at_ += word.size();
                return true;
            }
        }
        return fail("this is not JSON");
    }

    bool object(Value& into, int depth) {
        into.kind = Value::Kind::Object;
        ++at_;
        if (take('}'))
            return true;
        // Names seen so far: a list while the object is small, a set once it is not.
        std::unordered_set<std::string> names;
        do {
            skipBlanks();
            const std::size_t keyLine = line_;
            std::string key;
            if (at_ == text_.size() || text_[at_] != '"')
                return fail("a member's name in quotation marks was expected");
            if (!string(key))
                return false;
            if (!take(':'))
                return fail("':' was expected after a member's name");
            if (into.members.size() == kSmallObject)
                for (const Member& each : into.members)
                    names.insert(each.name);
            const bool repeated = into.members.size() < kSmallObject ? into.member(key) != nullptr
                                                                     : names.contains(key);
            if (repeated) {
                line_ = keyLine;
                return fail("the member " + plaintext::quote(key) + " appears twice in one object");
            }
            Value member;
            if (!value(member, depth + 1))
                return false;
            into.members.push_back({std::move(key), std::move(member)});
            if (into.members.size() > kSmallObject)
                names.insert(into.members.back().name);
        } while (take(','));
        return take('}') || fail("',' or '}' was expected");
    }

    bool array(Value& into, int depth) {
        into.kind = Value::Kind::Array;
        ++at_;
        if (take(']'))
            return true;
        do {
            Value item;
            if (!value(item, depth + 1))
                return false;
            into.items.push_back(std::move(item));
        } while (take(','));
        return take(']') || fail("',' or ']' was expected");
    }

    bool number(Value& into) {
        into.kind = Value::Kind::Number;
        const std::size_t from = at_;
        while (at_ < text_.size() &&
               std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos)
            ++at_;
        into.text = text_.substr(from, at_ - from);
        return true;
    }

    // \uXXXX becomes UTF-8 (surrogate pairs are joined). Silence lists hold no text that needs
    // more.
    bool string(std::string& into) {
        ++at_;
        while (at_ < text_.size() && text_[at_] != '"') {
            if (plaintext::lineBreakAt(text_, at_) != 0)
                return fail("a string runs past the end of its line");
            char c = text_[at_++];
            if (c != '\\') {
                into += c;
                continue;
            }
            if (at_ == text_.size())
                break;
            if (plaintext::lineBreakAt(text_, at_) != 0)
                return fail("a string runs past the end of its line");
            c = text_[at_++];
            switch (c) {
            case '"':
            case '\\':
            case '/':
                into += c;
                break;
            case 'n':
                into += '\n';
                break;
            case 't':
                into += '\t';
                break;
            case 'r':
                into += '\r';
                break;
            case 'b':
                into += '\b';
                break;
            case 'f':
                into += '\f';
                break;
            case 'u': {
                const std::string_view escape = text_.substr(at_ - 2, 6);
                unsigned code = 0;
                if (!hex4(code))
                    return fail("a \\u escape needs four hexadecimal digits");
                if (code >= 0xD800 && code < 0xDC00) {
                    // A character past U+FFFF: the high half, then the low half's escape.
                    unsigned low = 0;
                    if (text_.substr(at_, 2) != "\\u")
                        return fail(pairProblem(escape));
                    at_ += 2;
                    if (!hex4(low))
                        return fail("a \\u escape needs four hexadecimal digits");
                    if (low < 0xDC00 || low > 0xDFFF)
                        return fail(pairProblem(escape));
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC80 && code <= 0xDCFF) {
                    into += static_cast<char>(code - 0xDC00); // a byte quoted() kept apart
                    break;
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    return fail(std::string(escape) +
                                " is the low half of a surrogate pair without its high half");
                }
                utf8(into, code);
                break;
            }
            default:
                return fail("a string holds \\" + std::string(1, c) + ", which is no JSON escape");
            }
        }
        if (at_ == text_.size())
            return fail("a string is not closed");
        ++at_;
        return true;
    }

    // The message for a high surrogate's escape, as written, without its low half after it.
    static std::string pairProblem(std::string_view high) {
        return std::string(high) +
               " is the high half of a surrogate pair, but no \\u escape of a low half (DC00 to "
               "DFFF) follows it";
    }

    bool hex4(unsigned& code) {
        if (text_.size() - at_ < 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= static_cast<unsigned>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static void utf8(std::string& into, unsigned code) {
        auto put = [&](unsigned bits) { into += static_cast<char>(bits); };
        if (code < 0x80) {
            put(code);
        } else if (code < 0x800) {
            put(0xC0 | code >> 6);
            put(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            put(0xE0 | code >> 12);
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        } else {
            put(0xF0 | code >> 18);
            put(0x80 | ((code >> 12) & 0x3F));
            put(0x80 | ((code >> 6) & 0x3F));
            put(0x80 | (code & 0x3F));
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    std::string error_;
};

} // namespace

Parsed parse(std::string_view text) {
    return Parser(text).run();
}

} // namespace ravik::jsontext
