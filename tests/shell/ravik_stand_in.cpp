// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for the desktop program Ravik.exe in the Windows tests. Started without arguments it
// registers the file type, as the Tools window's button does, and writes the status lines into
// "status.txt" beside itself. Started with argument text (a double-clicked GAP file's path) it
// writes that text into "opened.txt" beside itself.
#include "shell/modRegistry.hpp"
#include "shell/startup.hpp"

#include <fstream>
#include <string>
#include <windows.h>

int main(int argc, char** argv) {
    const std::string folder = ravik::shell::programDirectory();
    // The program's own start-up code: the open command gives the program's path unquoted.
    const std::string text = ravik::shell::argumentText(argc, argv);
    if (!text.empty()) {
        std::ofstream(folder + "\\opened.txt", std::ios::binary) << text;
        return 0;
    }
    std::ofstream status(folder + "\\status.txt", std::ios::binary);
    ravik::shell::RegisterGAP([&](std::string_view line) { status << line << '\n'; });
    return status ? 0 : 1;
}
