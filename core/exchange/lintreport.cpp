#include "lintreport.hpp"

#include "jsontext.hpp"

#include <cstdint>
#include <optional>

namespace ravik::lint {
namespace {

std::string number(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : "null";
}

} // namespace

std::string jsonReport(std::span<const FileFindings> files) {
    std::string text = "{\n  \"files\": " + std::to_string(files.size()) + ",\n  \"findings\": [";
    bool first = true;
    for (const FileFindings& file : files)
        for (const Finding& finding : file.findings) {
            std::optional<std::int64_t> offset;
            if (finding.offset)
                offset = static_cast<std::int64_t>(*finding.offset);
            text += first ? "\n" : ",\n";
            first = false;
            text += "    {\"file\": " + jsontext::quoted(file.path) + ", \"kind\": \"" +
                    std::string(kindName(finding.kind)) + "\", \"offset\": " + number(offset) +
                    ", \"time_ms\": " + number(finding.time) +
                    ", \"message\": " + jsontext::quoted(finding.message) + "}";
        }
    text += first ? "]\n}\n" : "\n  ]\n}\n";
    return text;
}

} // namespace ravik::lint
