// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exchange/exchange.hpp"
#include "core/exchange/jsontext.hpp"
#include "core/text/decimaltext.hpp"
#include "core/text/plaintext.hpp"

#include <algorithm>

namespace ravik::exchange {
namespace dt = decimaltext;
using silences::Silence;

namespace {

std::string lineText(std::size_t line) {
    return "line " + std::to_string(line) + ": ";
}

/// The input's lines without their line breaks (any of the three).
std::vector<std::string_view> linesOf(std::string_view text) {
    return plaintext::splitLines(text);
}

using plaintext::quote;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> fieldsOf(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t at = line.find(separator);
        fields.push_back(trimmed(line.substr(0, at)));
        if (at == std::string_view::npos)
            return fields;
        line.remove_prefix(at + 1);
    }
}

/// Collects the silences of one input, rounded inwards, and the first refusal.
class Collector {
public:
    explicit Collector(const ImportOptions& options)
        : options_(options) {}

    [[nodiscard]] bool refused() const { return imported_.refusal.has_value(); }

    bool refuse(std::size_t line, const std::string& why) { return refuse(lineText(line) + why); }
    /// A refusal that names its line itself.
    bool refuse(const std::string& refusal) {
        if (!refused())
            imported_.refusal = refusal;
        return false;
    }

    /// A time as `scale` powers of ten of a millisecond (3 for seconds), or a refusal naming
    /// what it should have been.
    std::optional<dt::Rounded> time(std::string_view text, int scale, std::size_t line,
                                    std::string_view what, bool decimalComma = false) {
        auto rounded = dt::parse(text, scale, decimalComma);
        if (!rounded)
            refuse(line, quote(text) + " is not a number (" + std::string(what) + " was expected)");
        return rounded;
    }

    /// A silence from `start` to `end`: the start rounds up and the end down, so that no
    /// speech becomes silence.
    void add(const dt::Rounded& start, const dt::Rounded& end, std::size_t line) {
        const bool tiny = end.down < start.up && start.down <= end.up;
        if (tiny) {
            if (!options_.dropTiny)
                refuse(line, "the silence from " + std::to_string(start.down) + " to " +
                                 std::to_string(end.up) +
                                 " ms holds no whole millisecond (--drop-tiny leaves it out)");
            return;
        }
        imported_.list.push_back({start.up, end.down, line});
    }

    Imported finish() && {
        if (refused()) {
            imported_.list.clear();
            return std::move(imported_);
        }
        silences::mend(imported_.list, options_.mending);
        if (const auto broken = silences::firstBreak(imported_.list)) {
            const Silence& silence = imported_.list[broken->index];
            imported_.refusal =
                lineText(silence.origin) + silences::explain(imported_.list, *broken);
            imported_.list.clear();
        }
        return std::move(imported_);
    }

    [[nodiscard]] const ImportOptions& options() const { return options_; }

private:
    const ImportOptions& options_;
    Imported imported_;
};

// --- Audacity: START<TAB>END<TAB>LABEL, a line starting with '\' after a label holds its
// frequencies. Older versions write the user's decimal comma.
void audacity(std::string_view text, Collector& collector) {
    const auto lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size() && !collector.refused(); ++i) {
        const std::size_t line = i + 1;
        if (trimmed(lines[i]).empty() || lines[i].starts_with('\\'))
            continue;
        const auto fields = fieldsOf(lines[i], '\t');
        if (fields.size() < 2) {
            collector.refuse(line, "a label line holds START<TAB>END<TAB>TEXT");
            return;
        }
        const auto start = collector.time(fields[0], 3, line, "the start in seconds", true);
        const auto end =
            start ? collector.time(fields[1], 3, line, "the end in seconds", true) : std::nullopt;
        if (!start || !end)
            return;
        const std::string_view label = fields.size() > 2 ? fields[2] : std::string_view();
        if (dt::sameNumber(fields[0], fields[1], true) && label != kAudacityLabel) {
            if (!collector.options().skipPoints)
                collector.refuse(line, "the point label " + quote(label) +
                                           " marks no stretch of time; only region labels "
                                           "become silences (--skip-points leaves it out)");
            continue;
        }
        collector.add(*start, *end, line);
    }
}

// Whether `field` holds `word`, in any case.
bool names(std::string_view field, std::string_view word) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (std::size_t at = 0; at + word.size() <= field.size(); ++at)
        if (std::equal(word.begin(), word.end(), field.begin() + static_cast<std::ptrdiff_t>(at),
                       [&](char a, char b) { return a == lower(b); }))
            return true;
    return false;
}

// --- CSV: START_MS,END_MS with an optional header line that names the two columns; ';' or a
// tab may separate the fields, and then ',' may be the decimal point.
void csv(std::string_view text, Collector& collector) {
    const auto lines = linesOf(text);
    bool first = true;
    for (std::size_t i = 0; i < lines.size() && !collector.refused(); ++i) {
        const std::size_t line = i + 1;
        if (trimmed(lines[i]).empty())
            continue;
        const char separator = lines[i].find(';') != std::string_view::npos    ? ';'
                               : lines[i].find('\t') != std::string_view::npos ? '\t'
                                                                               : ',';
        const auto fields = fieldsOf(lines[i], separator);
        const bool header = first && !dt::parse(fields[0], 0, separator != ',');
        first = false;
        if (header) {
            // Anything else is no header but text where the first row should be.
            if (fields.size() < 2 || !names(fields[0], "start") || !names(fields[1], "end")) {
                collector.refuse(line, quote(lines[i]) +
                                           " is neither a row of numbers nor a header naming "
                                           "the start and end columns (start_ms,end_ms)");
                return;
            }
            continue;
        }
        if (fields.size() < 2) {
            collector.refuse(line, "a row holds START_MS,END_MS");
            return;
        }
        const auto start = collector.time(fields[0], 0, line, "the start in ms", separator != ',');
        const auto end = start
                             ? collector.time(fields[1], 0, line, "the end in ms", separator != ',')
                             : std::nullopt;
        if (start && end)
            collector.add(*start, *end, line);
    }
}

// --- JSON: {"silences": [{"start_ms": S, "end_ms": E}, ...]}, or the bare list.
void json(std::string_view text, Collector& collector) {
    const jsontext::Parsed parsed = jsontext::parse(text);
    if (parsed.error) {
        collector.refuse(*parsed.error);
        return;
    }
    const jsontext::Value* list = &parsed.value;
    if (list->kind == jsontext::Value::Kind::Object)
        list = list->member("silences");
    if (list == nullptr || list->kind != jsontext::Value::Kind::Array) {
        collector.refuse(parsed.value.line,
                         "a list of silences was expected, or an object with one as "
                         "\"silences\"");
        return;
    }
    for (const jsontext::Value& item : list->items) {
        const jsontext::Value* start = item.member("start_ms");
        const jsontext::Value* end = item.member("end_ms");
        if (item.kind != jsontext::Value::Kind::Object || start == nullptr || end == nullptr ||
            start->kind != jsontext::Value::Kind::Number ||
            end->kind != jsontext::Value::Kind::Number) {
            collector.refuse(item.line, "a silence is {\"start_ms\": NUMBER, \"end_ms\": NUMBER}");
            return;
        }
        const auto from = collector.time(start->text, 0, start->line, "the start in ms");
        const auto to =
            from ? collector.time(end->text, 0, end->line, "the end in ms") : std::nullopt;
        if (!from || !to)
            return;
        collector.add(*from, *to, item.line);
    }
}

// --- ffmpeg's silencedetect log: "silence_start: S" and "silence_end: E | silence_duration: D"
// among the other lines of the log.
void silenceDetect(std::string_view text, Collector& collector) {
    const auto lines = linesOf(text);
    std::optional<dt::Rounded> start;
    std::size_t startLine = 0;
    auto valueAfter = [](std::string_view line, std::size_t at) {
        std::string_view rest = line.substr(at);
        rest = trimmed(rest.substr(0, rest.find('|')));
        return rest.substr(0, rest.find(' '));
    };
    for (std::size_t i = 0; i < lines.size() && !collector.refused(); ++i) {
        const std::size_t line = i + 1;
        static constexpr std::string_view kStart = "silence_start:";
        static constexpr std::string_view kEnd = "silence_end:";
        if (const std::size_t at = lines[i].find(kStart); at != std::string_view::npos) {
            if (start) {
                collector.refuse(line, "a second silence_start before the silence_end of line " +
                                           std::to_string(startLine));
                return;
            }
            start = collector.time(valueAfter(lines[i], at + kStart.size()), 3, line,
                                   "the start in seconds");
            startLine = line;
        } else if (const std::size_t at2 = lines[i].find(kEnd); at2 != std::string_view::npos) {
            if (!start) {
                collector.refuse(line, "silence_end without a silence_start before it");
                return;
            }
            const auto end = collector.time(valueAfter(lines[i], at2 + kEnd.size()), 3, line,
                                            "the end in seconds");
            if (end)
                collector.add(*start, *end, startLine);
            start.reset();
        }
    }
    if (start && !collector.refused())
        collector.refuse(startLine, "this silence_start has no silence_end after it");
}

// --- Rhubarb Lip Sync's TSV: TIME<TAB>SHAPE, each cue lasting until the next one. Its rest
// shape X is a closed mouth: a silence. The last cue marks the end of the recording.
void mouthCues(std::string_view text, Collector& collector) {
    static constexpr std::string_view kShapes = "ABCDEFGHX";
    const auto lines = linesOf(text);
    std::optional<dt::Rounded> restFrom;
    std::size_t restLine = 0;
    std::optional<dt::Rounded> previous;
    for (std::size_t i = 0; i < lines.size() && !collector.refused(); ++i) {
        const std::size_t line = i + 1;
        if (trimmed(lines[i]).empty())
            continue;
        const auto fields = fieldsOf(lines[i], '\t');
        if (fields.size() != 2 || fields[1].size() != 1 ||
            kShapes.find(fields[1][0]) == std::string_view::npos) {
            collector.refuse(line, "a mouth cue is TIME<TAB>SHAPE, the shape one of A to H or X");
            return;
        }
        const auto time = collector.time(fields[0], 3, line, "the cue's time in seconds", true);
        if (!time)
            return;
        if (previous && time->up < previous->down) {
            collector.refuse(line, "this cue comes before the one above it");
            return;
        }
        previous = time;
        const bool rest = fields[1][0] == 'X';
        if (rest && !restFrom) {
            restFrom = time;
            restLine = line;
        } else if (!rest && restFrom) {
            collector.add(*restFrom, *time, restLine);
            restFrom.reset();
        }
    }
}

// --- Praat's TextGrid, long or short text format: both are the same sequence of numbers,
// quoted texts and <flags>; everything else ("xmin =", "item [1]:", "! ...") is commentary.
struct Token {
    enum class Kind { Number, Text, Flag } kind = Kind::Number;
    std::string text;
    std::size_t line = 0;
};

std::vector<Token> textGridTokens(std::string_view text) {
    std::vector<Token> tokens;
    std::size_t line = 1;
    std::size_t at = 0;
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (at < text.size()) {
        const char c = text[at];
        if (const std::size_t breakLength = plaintext::lineBreakAt(text, at)) {
            ++line;
            at += breakLength;
        } else if (isBlank(c)) {
            ++at;
        } else if (c == '!') {
            at = std::min(text.find_first_of("\r\n", at), text.size());
        } else if (c == '"') {
            Token token{Token::Kind::Text, {}, line};
            for (++at; at < text.size(); ++at) {
                if (text[at] == '"') {
                    if (at + 1 < text.size() && text[at + 1] == '"') {
                        token.text += '"'; // a doubled quotation mark stands for one
                        ++at;
                        continue;
                    }
                    break;
                }
                // A line break inside a text counts as one, whichever it is.
                if (const std::size_t inside = plaintext::lineBreakAt(text, at)) {
                    ++line;
                    token.text += '\n';
                    at += inside - 1;
                    continue;
                }
                token.text += text[at];
            }
            ++at;
            tokens.push_back(std::move(token));
        } else if (c == '<') {
            const std::size_t end = std::min(text.find('>', at), text.size());
            tokens.push_back(
                {Token::Kind::Flag, std::string(text.substr(at + 1, end - at - 1)), line});
            at = end + 1;
        } else if (c == '[') {
            at = std::min(text.find(']', at), text.size()) + 1;
        } else {
            const std::size_t from = at;
            while (at < text.size() && !isBlank(text[at]))
                ++at;
            const std::string_view word = text.substr(from, at - from);
            if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
                // A number may carry a unit after it, as in "2.3s".
                std::size_t length = 0;
                while (length < word.size() &&
                       std::string_view("+-0123456789.eE").find(word[length]) !=
                           std::string_view::npos)
                    ++length;
                tokens.push_back({Token::Kind::Number, std::string(word.substr(0, length)), line});
            }
        }
    }
    return tokens;
}

class TextGridReader {
public:
    TextGridReader(std::string_view text, Collector& collector)
        : tokens_(textGridTokens(text))
        , collector_(collector) {}

    void run() {
        const std::size_t firstLine = tokens_.empty() ? 1 : tokens_.front().line;
        const Token* type = next(Token::Kind::Text, "\"ooTextFile\"");
        const Token* kind = type ? next(Token::Kind::Text, "\"TextGrid\"") : nullptr;
        if (!kind)
            return;
        if (type->text != "ooTextFile" || kind->text != "TextGrid") {
            collector_.refuse(firstLine, "this is not a TextGrid in Praat's text format");
            return;
        }
        if (!next(Token::Kind::Number, "the TextGrid's xmin") ||
            !next(Token::Kind::Number, "the TextGrid's xmax"))
            return;
        const Token* exists = next(Token::Kind::Flag, "<exists>");
        if (!exists || exists->text != "exists")
            return;
        const Token* size = next(Token::Kind::Number, "the number of tiers");
        if (!size)
            return;
        const auto tierCount = count(*size);
        struct Tier {
            bool intervals = false;
            std::string name;
            std::vector<std::pair<dt::Rounded, dt::Rounded>> silences;
            std::vector<std::size_t> lines;
        };
        std::vector<Tier> tiers;
        for (std::size_t t = 0; t < tierCount && !collector_.refused(); ++t) {
            const Token* tierClass = next(Token::Kind::Text, "a tier's class");
            const Token* name = tierClass ? next(Token::Kind::Text, "a tier's name") : nullptr;
            if (!name || !next(Token::Kind::Number, "a tier's xmin") ||
                !next(Token::Kind::Number, "a tier's xmax"))
                return;
            Tier tier{tierClass->text == "IntervalTier", name->text, {}, {}};
            if (!tier.intervals && tierClass->text != "TextTier") {
                collector_.refuse(tierClass->line, "unknown tier class " + quote(tierClass->text));
                return;
            }
            const Token* itemCount = next(Token::Kind::Number, "the number of intervals or points");
            if (!itemCount)
                return;
            const std::size_t items = count(*itemCount);
            for (std::size_t i = 0; i < items && !collector_.refused(); ++i) {
                if (!tier.intervals) {
                    if (!next(Token::Kind::Number, "a point's time") ||
                        !next(Token::Kind::Text, "a point's mark"))
                        return;
                    continue;
                }
                const Token* from = next(Token::Kind::Number, "an interval's xmin");
                const Token* to = from ? next(Token::Kind::Number, "an interval's xmax") : nullptr;
                const Token* label = to ? next(Token::Kind::Text, "an interval's text") : nullptr;
                if (!label)
                    return;
                if (label->text != kTextGridLabel)
                    continue;
                const auto start = collector_.time(from->text, 3, from->line, "a time in seconds");
                const auto end = start ? collector_.time(to->text, 3, to->line, "a time in seconds")
                                       : std::nullopt;
                if (!end)
                    return;
                tier.silences.emplace_back(*start, *end);
                tier.lines.push_back(from->line);
            }
            tiers.push_back(std::move(tier));
        }
        if (collector_.refused())
            return;

        const Tier* chosen = nullptr;
        std::size_t intervalTiers = 0;
        for (const Tier& tier : tiers) {
            if (!tier.intervals)
                continue;
            ++intervalTiers;
            if (tier.name == kTextGridTier && !chosen)
                chosen = &tier;
        }
        if (!chosen && intervalTiers == 1)
            chosen = &*std::find_if(tiers.begin(), tiers.end(),
                                    [](const Tier& tier) { return tier.intervals; });
        if (!chosen) {
            collector_.refuse(size->line,
                              intervalTiers == 0
                                  ? "the TextGrid has no interval tier"
                                  : "none of the TextGrid's " + std::to_string(intervalTiers) +
                                        " interval tiers is named \"" + std::string(kTextGridTier) +
                                        "\": which one holds the silences?");
            return;
        }
        for (std::size_t i = 0; i < chosen->silences.size(); ++i)
            collector_.add(chosen->silences[i].first, chosen->silences[i].second, chosen->lines[i]);
    }

private:
    const Token* next(Token::Kind kind, std::string_view what) {
        if (at_ == tokens_.size()) {
            collector_.refuse(tokens_.empty() ? 1 : tokens_.back().line,
                              "the TextGrid ends where " + std::string(what) + " should follow");
            return nullptr;
        }
        const Token& token = tokens_[at_++];
        if (token.kind != kind) {
            collector_.refuse(token.line, std::string(what) + " was expected here");
            return nullptr;
        }
        return &token;
    }

    // A count as TextGrids write it; one beyond what the file could hold ends in "ends where".
    std::size_t count(const Token& token) {
        const auto value = dt::parse(token.text, 0);
        if (!value || value->down != value->up || value->down < 0) {
            collector_.refuse(token.line, quote(token.text) + " is not a count");
            return 0;
        }
        return static_cast<std::size_t>(std::min<std::int64_t>(value->down, 1'000'000'000));
    }

    std::vector<Token> tokens_;
    std::size_t at_ = 0;
    Collector& collector_;
};

} // namespace

Imported importSilences(Format format, std::string_view text, const ImportOptions& options) {
    Collector collector(options);
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        collector.refuse(1, "the file is in UTF-16; save it as UTF-8 (in Praat: Preferences, "
                            "Text writing preferences)");
        return std::move(collector).finish();
    }
    // A UTF-8 byte-order mark, which Windows editors write, says nothing in any format.
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    switch (format) {
    case Format::Audacity:
        audacity(text, collector);
        break;
    case Format::TextGrid:
        TextGridReader(text, collector).run();
        break;
    case Format::Csv:
        csv(text, collector);
        break;
    case Format::Json:
        json(text, collector);
        break;
    case Format::SilenceDetect:
        silenceDetect(text, collector);
        break;
    case Format::MouthCues:
        mouthCues(text, collector);
        break;
    }
    return std::move(collector).finish();
}

} // namespace ravik::exchange
