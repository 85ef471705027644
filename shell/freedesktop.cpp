// SPDX-License-Identifier: GPL-3.0-or-later
#include "freedesktop.hpp"

#include "core/files/fileio.hpp"
#include "desktopfiles.hpp"
#include "process.hpp"
#include "steps.hpp"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <span>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace ravik::shell {

namespace fs = std::filesystem;

namespace {

struct Icon {
    const char* name;    ///< the icon's name in the theme, and its file's name without ".svg"
    const char* context; ///< the theme's folder for its kind
};
constexpr Icon kFileTypeIcon{"application-x-gap", "mimetypes"};
constexpr Icon kProgramIcon{"ravik", "apps"};

constexpr const char* kMimePackageName = "ravik.xml";

std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    // The base directory specification: a relative path is invalid and is ignored.
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string homeFolder() {
    std::string home = absoluteVariable("HOME");
    if (home.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr)
            home = user->pw_dir;
    }
    return home;
}

std::optional<Failure> makeFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return Failure{"Could not create the folder", folder.string(), reasonText(error)};
    return std::nullopt;
}

std::optional<Failure> writeFile(const fs::path& file, std::string_view content) {
    if (auto failure = makeFolder(file.parent_path()))
        return failure;
    return fileio::replaceFile(
        file.string(),
        std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
}

// The icon as the build leaves it beside the program, or as an installation puts it into the
// prefix's icon theme next to the program's bin folder.
fs::path iconSource(const fs::path& programFolder, const Icon& icon) {
    const std::string file = std::string(icon.name) + ".svg";
    const fs::path beside = programFolder / file;
    const fs::path installed =
        programFolder.parent_path() / "share/icons/hicolor/scalable" / icon.context / file;
    std::error_code error;
    return fs::exists(beside, error) || !fs::exists(installed, error) ? beside : installed;
}

std::optional<Failure> installIcon(const fs::path& programFolder, const fs::path& dataHome,
                                   const Icon& icon) {
    const fs::path source = iconSource(programFolder, icon);
    // Read as the program reads its files, with the system's reason for any failure.
    const fileio::Contents content = fileio::readGapFile(source.string());
    if (content.failure)
        return Failure{"Could not read", source.string(), content.failure->reason};
    return writeFile(dataHome / "icons/hicolor/scalable" / icon.context /
                         (std::string(icon.name) + ".svg"),
                     std::string_view(reinterpret_cast<const char*>(content.bytes.data()),
                                      content.bytes.size()));
}

std::optional<Failure> runHelper(const DesktopPlaces& places, const char* name,
                                 std::vector<std::string> arguments, const char* package) {
    Command command;
    command.program = name;
    command.arguments = std::move(arguments);
    command.searchPath = places.helperPath;
    command.environment = {{"XDG_DATA_HOME", places.dataHome},
                           {"XDG_CONFIG_HOME", places.configHome}};
    command.installHint = std::string("it comes with the package ") + package;
    return run(command).failure;
}

// The Desktop Entry Specification's quoting: an argument holding a reserved character is
// quoted in whole, and inside the quotes ", `, $ and \ take a backslash. A literal % doubles.
// The escapes of every string value then apply on top, so one backslash becomes four.
std::string execArgument(const std::string& path) {
    constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    constexpr std::string_view kEscapedInQuotes = "\"`$\\";
    std::string argument;
    if (path.find_first_of(kReserved) == std::string::npos) {
        argument = path;
    } else {
        argument = "\"";
        for (const char c : path) {
            if (kEscapedInQuotes.find(c) != std::string_view::npos)
                argument += '\\';
            argument += c;
        }
        argument += '"';
    }
    std::string value;
    for (const char c : argument) {
        switch (c) {
        case '%':
            value += "%%";
            break;
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

} // namespace

DesktopPlaces DesktopPlaces::fromEnvironment() {
    DesktopPlaces places;
    const std::string home = homeFolder();
    places.dataHome = absoluteVariable("XDG_DATA_HOME");
    if (places.dataHome.empty())
        places.dataHome = home + "/.local/share";
    places.configHome = absoluteVariable("XDG_CONFIG_HOME");
    if (places.configHome.empty())
        places.configHome = home + "/.config";
    const char* path = std::getenv("PATH");
    places.helperPath = path != nullptr && path[0] != '\0' ? path : "/usr/local/bin:/usr/bin:/bin";
    return places;
}

std::string desktopEntryFor(const std::string& program) {
    std::string entry(files::kDesktopEntry);
    const std::size_t start = entry.find("\nExec=") + std::strlen("\nExec=");
    const std::size_t end = entry.find('\n', start);
    return entry.replace(start, end - start, execArgument(program) + " %f");
}

void registerWithDesktop(const std::string& programDirectory, const DesktopPlaces& places,
                         const StatusSink& appendLine) {
    const fs::path programFolder = programDirectory;
    const fs::path dataHome = places.dataHome;
    Steps steps;
    steps.note(installIcon(programFolder, dataHome, kFileTypeIcon));
    steps.note(installIcon(programFolder, dataHome, kProgramIcon));
    steps.note(writeFile(dataHome / "mime/packages" / kMimePackageName, files::kMimePackage));
    steps.note(runHelper(places, "update-mime-database", {(dataHome / "mime").string()},
                         "shared-mime-info"));
    steps.note(writeFile(dataHome / "applications" / kDesktopEntryName,
                         desktopEntryFor((programFolder / "ravik").string())));
    steps.note(runHelper(places, "update-desktop-database", {(dataHome / "applications").string()},
                         "desktop-file-utils"));
    steps.note(runHelper(places, "xdg-mime",
                         {"default", std::string(kDesktopEntryName), std::string(kGapMimeType)},
                         "xdg-utils"));
    steps.report(appendLine);
}

} // namespace ravik::shell
