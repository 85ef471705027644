// Stands in for the desktop program Ravik.exe in the Windows tests. Started without arguments it
// registers the file type, as the Tools window's button does, and writes the status lines into
// "status.txt" beside itself. Started with argument text (a double-clicked GAP file's path) it
// writes that text into "opened.txt" beside itself.
#include "shell/modRegistry.hpp"

#include <cctype>
#include <fstream>
#include <string>
#include <windows.h>

namespace {

bool startsWithIgnoringCase(const std::string& text, const std::string& start) {
    if (text.size() < start.size())
        return false;
    for (std::size_t i = 0; i < start.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(start[i])))
            return false;
    return true;
}

// The command line without the program's own name and the blanks after it. The shell's open
// command gives the program's path unquoted, blanks and all.
std::string argumentText() {
    const std::string line = GetCommandLineA();
    std::string program(MAX_PATH, '\0');
    program.resize(GetModuleFileNameA(nullptr, program.data(), MAX_PATH));
    std::size_t end = 0;
    if (startsWithIgnoringCase(line, program))
        end = program.size();
    else if (!line.empty() && line[0] == '"')
        end = line.find('"', 1) == std::string::npos ? line.size() : line.find('"', 1) + 1;
    else
        end = std::min(line.find(' '), line.size());
    const std::size_t start = line.find_first_not_of(' ', end);
    return start == std::string::npos ? std::string() : line.substr(start);
}

} // namespace

int main() {
    const std::string folder = ravik::shell::programDirectory();
    const std::string text = argumentText();
    if (!text.empty()) {
        std::ofstream(folder + "\\opened.txt", std::ios::binary) << text;
        return 0;
    }
    std::ofstream status(folder + "\\status.txt", std::ios::binary);
    ravik::shell::RegisterGAP([&](std::string_view line) { status << line << '\n'; });
    return status ? 0 : 1;
}
