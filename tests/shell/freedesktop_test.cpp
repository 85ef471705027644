// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop association, checked with the desktop's own tools (xdg-mime, gio,
// desktop-file-validate) against a temporary data and config folder.
#include "shell/freedesktop.hpp"
#include "shell/process.hpp"
#include "support/testfiles.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ravik::shell {
namespace {
using test::PrintTo;
namespace fs = std::filesystem;

const std::vector<std::string> kSuccess{"Succesfully edited registry !!"};

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Every file below `folder` with its content, by its path relative to `folder`.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = readText(entry.path());
    return files;
}

/// Sets (or removes) environment variables for one test and restores them after it.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            apply(it->first, it->second);
    }

    void set(const std::string& name, const std::optional<std::string>& value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        apply(name, value);
    }

private:
    static void apply(const std::string& name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        // The helpers that registering runs inherit this process's environment: no desktop
        // session of the developer's may steer them, and nothing may reach the real home.
        for (const char* variable : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                     "GNOME_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY",
                                     "DBUS_SESSION_BUS_ADDRESS", "XDG_DATA_DIRS"})
            environment.set(variable, std::nullopt);
        fs::create_directories(dir.path() / "home");
        environment.set("HOME", dir.file("home"));
        // No blanks here: xdg-mime itself splits its data folders at blanks. The program
        // folders have them.
        places.dataHome = dir.file("data");
        places.configHome = dir.file("config");
        places.helperPath = systemPath();
    }

    static std::string systemPath() {
        const char* path = std::getenv("PATH");
        return path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    }

    /// A program folder as the build leaves one: the program `ravik`, here a script that notes
    /// how it was started in "ravik.launched" beside itself, and the icons beside it.
    std::string programFolder(const std::string& name) {
        const fs::path folder = dir.path() / name;
        fs::create_directories(folder);
        const fs::path program = folder / "ravik";
        std::ofstream(program) << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$0.launched\"\n";
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
        for (const char* icon : {"application-x-gap.svg", "ravik.svg"})
            fs::copy_file(fs::path(programDirectory()) / icon, folder / icon);
        return folder.string();
    }

    std::vector<std::string> registerFrom(const std::string& folder) const {
        std::vector<std::string> lines;
        registerWithDesktop(folder, places,
                            [&](std::string_view line) { lines.emplace_back(line); });
        return lines;
    }

    /// Runs a desktop tool as the user of `places`, in a session of `currentDesktop`, and
    /// returns what it printed; a tool that fails fails the test.
    std::string tool(std::vector<std::string> arguments,
                     std::optional<std::string> currentDesktop = std::nullopt) const {
        Command command;
        command.program = arguments.front();
        command.arguments.assign(arguments.begin() + 1, arguments.end());
        command.searchPath = systemPath();
        command.environment = {{"XDG_DATA_HOME", places.dataHome},
                               {"XDG_CONFIG_HOME", places.configHome},
                               {"XDG_CURRENT_DESKTOP", currentDesktop}};
        const Finished finished = run(command);
        EXPECT_FALSE(finished.failure) << finished.failure->sentence();
        return finished.output;
    }

    std::string gapFile() const {
        const std::string path = dir.file("silences of a speech.gap");
        test::writeBytes(path, test::records({{100, 200}}));
        return path;
    }

    std::string entry() const { return places.dataHome + "/applications/ravik.desktop"; }

    /// The user chose another program for GAP files before: registering must override that.
    void chooseAnotherProgramFirst() const {
        const fs::path applications = fs::path(places.dataHome) / "applications";
        fs::create_directories(applications);
        std::ofstream(applications / "other.desktop")
            << "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\n"
               "MimeType=application/x-gap;\n";
        fs::create_directories(places.configHome);
        std::ofstream(fs::path(places.configHome) / "mimeapps.list")
            << "[Default Applications]\napplication/x-gap=other.desktop\n";
        EXPECT_EQ(tool({"xdg-mime", "query", "default", "application/x-gap"}), "other.desktop\n");
    }

    /// The default application for GAP files as GLib, and so GNOME, sees it.
    std::string glibDefault(std::optional<std::string> currentDesktop = std::nullopt) const {
        const std::string view = tool({"gio", "mime", "application/x-gap"}, currentDesktop);
        return view.substr(0, view.find('\n'));
    }

    /// Opens `file` with the desktop entry as a file manager does, and returns how the program
    /// `ravik` in `folder` was started: its path and its arguments, one a line.
    std::string launch(const std::string& folder, const std::string& file) const {
        const fs::path launched = fs::path(folder) / "ravik.launched";
        fs::remove(launched);
        (void)tool({"gio", "launch", entry(), file});
        // gio returns once the program is started, not when it has finished.
        for (int waited = 0; waited < 100 && readText(launched).empty(); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return readText(launched);
    }

    test::TempDir dir;
    ScopedEnvironment environment;
    DesktopPlaces places;
};

struct DesktopKind {
    std::string name;
    std::optional<std::string> currentDesktop; ///< $XDG_CURRENT_DESKTOP of the session
};

class RegisteredType : public Desktop, public ::testing::WithParamInterface<DesktopKind> {};

// xdg-mime finds a file's type with File::MimeInfo in a plain session and with gio in GNOME's.
// Its own reading of the default cannot take a quoted Exec, so this program folder has no
// blanks; the folders with blanks are checked through GLib below.
TEST_P(RegisteredType, IsTheTypeOfGapFilesWithTheProgramAsDefault) {
    chooseAnotherProgramFirst();
    EXPECT_EQ(registerFrom(programFolder("ravik")), kSuccess);
    const auto desktop = GetParam().currentDesktop;

    EXPECT_EQ(tool({"xdg-mime", "query", "filetype", gapFile()}, desktop), "application/x-gap\n");
    EXPECT_EQ(tool({"xdg-mime", "query", "default", "application/x-gap"}, desktop),
              "ravik.desktop\n");
    EXPECT_EQ(glibDefault(desktop), "Default application for “application/x-gap”: ravik.desktop");
}

INSTANTIATE_TEST_SUITE_P(Sessions, RegisteredType,
                         ::testing::Values(DesktopKind{"PlainSession", std::nullopt},
                                           DesktopKind{"GnomeSession", "GNOME"}),
                         test::RowName{});

struct FolderRow {
    std::string name;
    std::string folder; ///< the program folder, below the test's folder
};

class ProgramFolder : public Desktop, public ::testing::WithParamInterface<FolderRow> {};

// The Exec line's quoting holds for any folder: the entry is valid, it is the default, and
// opening a file starts this folder's program with the file's whole path as its one argument.
TEST_P(ProgramFolder, EntryIsValidAndOpensTheFileWholeInThisProgram) {
    chooseAnotherProgramFirst();
    const std::string folder = programFolder(GetParam().folder);
    EXPECT_EQ(registerFrom(folder), kSuccess);

    EXPECT_EQ(tool({"desktop-file-validate", entry()}), "");
    EXPECT_EQ(glibDefault(), "Default application for “application/x-gap”: ravik.desktop");
    const std::string file = gapFile();
    EXPECT_EQ(launch(folder, file), folder + "/ravik\n" + file + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProgramFolder,
    ::testing::Values(FolderRow{"Plain", "ravik"}, FolderRow{"Blanks", "Ravik Programs/ravik 1.0"},
                      // No "%": GLib looks for the program before it undoes the "%%".
                      FolderRow{"ShellCharacters", R"(it's "ravik" $HOME `id` (a;b) & c\d ~e)"}),
    test::RowName{});

TEST_F(Desktop, SecondRunLeavesEveryFileAsTheFirstLeftIt) {
    const std::string folder = programFolder("ravik");
    EXPECT_EQ(registerFrom(folder), kSuccess);
    const auto data = snapshot(places.dataHome);
    const auto config = snapshot(places.configHome);

    EXPECT_EQ(registerFrom(folder), kSuccess);
    EXPECT_EQ(snapshot(places.dataHome), data);
    EXPECT_EQ(snapshot(places.configHome), config);
}

TEST_F(Desktop, MovedProgramFolderIsFollowedByEveryEntry) {
    const std::string first = programFolder("Ravik Programs/first");
    EXPECT_EQ(registerFrom(first), kSuccess);
    const std::string moved = dir.file("moved here/ravik");
    fs::create_directories(fs::path(moved).parent_path());
    fs::rename(first, moved);

    EXPECT_EQ(registerFrom(moved), kSuccess);
    for (const auto& home : {places.dataHome, places.configHome})
        for (const auto& [name, content] : snapshot(home))
            EXPECT_EQ(content.find(first), std::string::npos) << name << " still names " << first;
    const std::string file = gapFile();
    EXPECT_EQ(launch(moved, file), moved + "/ravik\n" + file + "\n");
    EXPECT_EQ(tool({"xdg-mime", "query", "default", "application/x-gap"}), "ravik.desktop\n");
}

struct MissingHelperRow {
    std::string name;
    std::string helper;
    std::string package;
    bool typeKnown; ///< whether GAP files still get their type without the helper
};

class MissingHelper : public Desktop, public ::testing::WithParamInterface<MissingHelperRow> {};

// The line names the helper and where it was looked for; the steps around it still ran, so the
// desktop entry is in place and the program is the type's default application.
TEST_P(MissingHelper, IsNamedAndTheOtherStepsStillRun) {
    const fs::path helpers = dir.path() / "helpers";
    fs::create_directories(helpers);
    for (const char* helper : {"update-mime-database", "update-desktop-database", "xdg-mime"})
        if (helper != GetParam().helper)
            fs::create_symlink(findProgram(helper, systemPath()), helpers / helper);
    places.helperPath = helpers.string();

    EXPECT_EQ(registerFrom(programFolder("ravik")),
              std::vector<std::string>{">> Could not run \"" + GetParam().helper +
                                       "\": It was not found in " + helpers.string() +
                                       "; it comes with the package " + GetParam().package + "."});
    EXPECT_EQ(tool({"desktop-file-validate", entry()}), "");
    EXPECT_EQ(tool({"xdg-mime", "query", "default", "application/x-gap"}), "ravik.desktop\n");
    EXPECT_EQ(tool({"xdg-mime", "query", "filetype", gapFile()}) == "application/x-gap\n",
              GetParam().typeKnown);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MissingHelper,
    ::testing::Values(MissingHelperRow{"UpdateMimeDatabase", "update-mime-database",
                                       "shared-mime-info", false},
                      MissingHelperRow{"UpdateDesktopDatabase", "update-desktop-database",
                                       "desktop-file-utils", true},
                      MissingHelperRow{"XdgMime", "xdg-mime", "xdg-utils", true}),
    test::RowName{});

TEST_F(Desktop, MissingIconBesideTheProgramIsNamed) {
    const std::string folder = programFolder("ravik");
    fs::remove(fs::path(folder) / "application-x-gap.svg");

    EXPECT_EQ(registerFrom(folder),
              std::vector<std::string>{">> Could not read \"" + folder +
                                       "/application-x-gap.svg\": No such file or directory."});
    EXPECT_EQ(tool({"xdg-mime", "query", "default", "application/x-gap"}), "ravik.desktop\n");
}

// Root writes anywhere, so the registration runs as the unprivileged user "nobody" in a data
// folder that only root may write to, and a config folder that anybody may.
TEST_F(Desktop, UnwritableDataFolderIsNamedAndTheConfigStillWritten_AsUnprivilegedUser) {
    if (!test::canDropPrivileges())
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    const std::string folder = programFolder("ravik");
    fs::create_directories(places.dataHome);
    fs::permissions(places.dataHome, fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    fs::create_directories(places.configHome);
    fs::permissions(places.configHome, fs::perms::all);

    const std::string lines = test::runUnprivileged([&] {
        std::string text;
        for (const std::string& line : registerFrom(folder))
            text += line + "\n";
        return text;
    });

    EXPECT_EQ(lines, ">> Could not create the folder \"" + places.dataHome +
                         "/icons/hicolor/scalable/mimetypes\": Permission denied.\n");
    EXPECT_NE(
        readText(places.configHome + "/mimeapps.list").find("\napplication/x-gap=ravik.desktop\n"),
        std::string::npos);
}

} // namespace
} // namespace ravik::shell
