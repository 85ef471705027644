// SPDX-License-Identifier: GPL-3.0-or-later
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
    JsonReportWriter writer;
    std::string text = JsonReportWriter::start(files.size());
    for (const FileFindings& file : files)
        text += writer.file(file);
    return text + writer.end();
}

std::string JsonReportWriter::start(std::size_t files) {
    return "{\n  \"files\": " + std::to_string(files) + ",\n  \"findings\": [";
}

std::string JsonReportWriter::file(const FileFindings& file) {
    std::string text;
    for (const Finding& each : file.findings)
        text += finding(file.path, each);
    return text;
}

std::string JsonReportWriter::finding(const std::string& path, const Finding& finding) {
    std::optional<std::int64_t> offset;
    if (finding.offset)
        offset = static_cast<std::int64_t>(*finding.offset);
    std::string text = first_ ? "\n" : ",\n";
    first_ = false;
    return text + "    {\"file\": " + jsontext::quoted(path) + ", \"kind\": \"" +
           std::string(kindName(finding.kind)) + "\", \"offset\": " + number(offset) +
           ", \"time_ms\": " + number(finding.time) +
           ", \"message\": " + jsontext::quoted(finding.message) + "}";
}

std::string JsonReportWriter::end() const {
    return first_ ? "]\n}\n" : "\n  ]\n}\n";
}

} // namespace ravik::lint
