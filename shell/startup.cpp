// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup.hpp"

#include <algorithm>
#include <cctype>

#ifdef _WIN32
#include <windows.h>
#endif

namespace ravik::shell {
namespace {

bool startsWithIgnoringCase(const std::string& text, const std::string& start) {
    return !start.empty() && text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

#ifdef _WIN32
std::string utf8(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
    return text;
}
#endif

} // namespace

std::string argumentTextOf(const std::string& commandLine, const std::string& programPath) {
    std::size_t at = 0;
    if (startsWithIgnoringCase(commandLine, programPath)) {
        at = programPath.size();
    } else if (!commandLine.empty() && commandLine.front() == '"') {
        const std::size_t close = commandLine.find('"', 1);
        at = close == std::string::npos ? commandLine.size() : close + 1;
    } else {
        while (at < commandLine.size() && !isBlank(commandLine[at]))
            ++at;
    }
    while (at < commandLine.size() && isBlank(commandLine[at]))
        ++at;
    return unquotedPath(commandLine.substr(at));
}

std::string unquotedPath(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    if (end >= 2 && text.front() == '"' && text[end - 1] == '"' && text.find('"', 1) == end - 1)
        return text.substr(1, end - 2);
    return text;
}

std::optional<std::string> packFolder(const std::string& argumentText) {
    constexpr std::string_view option = "--pack";
    if (argumentText.rfind(option, 0) != 0 || argumentText.size() == option.size() ||
        !isBlank(argumentText[option.size()]))
        return std::nullopt;
    std::size_t at = option.size();
    while (at < argumentText.size() && isBlank(argumentText[at]))
        ++at;
    return unquotedPath(argumentText.substr(at));
}

std::string argumentText(int argc, const char* const* argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    wchar_t program[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    program[length < MAX_PATH ? length : 0] = L'\0';
    return argumentTextOf(utf8(GetCommandLineW()), utf8(program));
#else
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
#endif
}

} // namespace ravik::shell
