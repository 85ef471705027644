// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/files/fileio.hpp"
#include "gaptool.hpp"
#include "output.hpp"
#include "progress.hpp"

#include <clocale>
#include <cstdint>
#include <ios>
#include <ostream>
#include <string>
#include <vector>

#ifdef RAVIK_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif
#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef _WIN32
#include <io.h>
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

// The core takes UTF-8 paths; the narrow argv of Windows is in the ANSI code page.
static std::vector<std::string> utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr);
        arguments.push_back(std::move(text));
    }
    LocalFree(wide);
    return arguments;
}
#endif

int main(int argc, char** argv) {
    // Before anything is opened: a closed standard output must not become a GAP file's number.
    ravik::cli::DescriptorBuffer output(1);
    ravik::cli::occupyStandardDescriptors();
    const int errorsFd = ravik::cli::setAsideStandardError();
#ifdef RAVIK_SANITIZED
    // A sanitizer's report is no library chatter: it goes where the program's own messages go.
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(errorsFd)));
#endif
    ravik::cli::DescriptorBuffer errors(errorsFd);
#ifdef _WIN32
    ravik::cli::setProgressShown(_isatty(errorsFd) != 0);
#else
    ravik::cli::setProgressShown(isatty(errorsFd) == 1);
#endif
    ravik::fileio::treatLimitsAsErrors();
    std::setlocale(LC_ALL, "");
    const std::string decimalSeparator = std::localeconv()->decimal_point;
    std::ios::sync_with_stdio(false);
    std::ostream out(&output);
    std::ostream err(&errors);
#ifdef _WIN32
    (void)argc;
    (void)argv;
    const std::vector<std::string> arguments = utf8Arguments();
#else
    const std::vector<std::string> arguments(argv + 1, argv + argc);
#endif
    return static_cast<int>(ravik::cli::runGaptool(arguments, out, err, decimalSeparator));
}
