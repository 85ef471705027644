// SPDX-License-Identifier: GPL-3.0-or-later
// The registration against the real registry (Wine's, in the test run's own prefix): the stand-in
// Ravik.exe registers from a program folder, and the keys and values are read back through the
// registry's own enumeration, every one of them.
#include "shell/modRegistry.hpp"
#include "support/testfiles.hpp"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

namespace ravik::shell {
namespace {
namespace fs = std::filesystem;

struct Value {
    DWORD type = 0;
    std::string data; ///< the stored bytes, terminating null included
    bool operator==(const Value&) const = default;
};
using Values = std::map<std::string, Value>; ///< by value name; "" is the unnamed value
using Tree = std::map<std::string, Values>;  ///< by key path below HKEY_CLASSES_ROOT

void PrintTo(const Value& value, std::ostream* out) {
    *out << "type " << value.type << " \"";
    for (char c : value.data)
        *out << (c == '\0' ? std::string("\\0") : std::string(1, c));
    *out << "\"";
}

// The texts of the tests are ASCII, so each wide character narrows to one.
std::string narrow(const wchar_t* text, std::size_t length) {
    std::string narrowed;
    for (std::size_t i = 0; i < length; ++i)
        narrowed += static_cast<char>(text[i]);
    return narrowed;
}

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// Read through the wide calls: the registry keeps its texts in UTF-16, and these give the
// stored characters without a conversion. Key names come back with the case they were created
// with, so a wrong case shows.
void readKey(const std::string& path, Tree& tree) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, widen(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    Values& values = tree[path];
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        wchar_t data[1024];
        DWORD size = sizeof data;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &size) != ERROR_SUCCESS)
            break;
        values[narrow(name, nameLength)] = {type, narrow(data, size / sizeof(wchar_t))};
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.push_back(narrow(name, nameLength));
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        readKey(path + "\\" + child, tree);
}

Tree association() {
    Tree tree;
    readKey(".gap", tree);
    readKey("GAPfile", tree);
    return tree;
}

Value text(const std::string& data) {
    return {REG_SZ, data + '\0'};
}

Tree table(const std::string& folder) {
    return {
        {".gap", {{"", text("GAPfile")}, {"Content Type", text("GAP File")}}},
        {"GAPfile", {}},
        {"GAPfile\\defaulticon", {{"", text(folder + "\\GAP.ico")}}},
        {"GAPfile\\Shell", {}},
        {"GAPfile\\Shell\\Open", {}},
        {"GAPfile\\Shell\\Open\\command", {{"", text("\"" + folder + "\\Ravik.exe\" \"%1\"")}}},
    };
}

fs::path besideThisProgram(const std::string& name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path() / name;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Calls `start` (CreateProcess, ShellExecuteEx) until it starts the program; returns 0 once it
/// has, or the error that stopped it. Wine now and then refuses to start a program copied a moment
/// before (ERROR_INTERNAL_ERROR, once in a run of every test, with other tests busy): such a
/// refusal is tried again a few times. A program that started is never started twice.
template <typename Start>
DWORD startTryingWineRefusalsAgain(Start start) {
    for (int attempt = 1;; ++attempt) {
        if (start())
            return 0;
        const DWORD error = GetLastError();
        if (attempt == 5 || (error != ERROR_INTERNAL_ERROR && error != ERROR_BAD_EXE_FORMAT))
            return error;
        Sleep(200);
    }
}

/// Runs `program` with the raw `commandLine` and waits for it; returns its exit code.
DWORD runCommandLine(const std::string& program, std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (const DWORD error = startTryingWineRefusalsAgain([&] {
            return CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &process);
        }))
        return error;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

/// Runs `program` with `arguments` and waits for it; returns its exit code.
DWORD runAndWait(const std::string& program, const std::string& arguments = "") {
    return runCommandLine(program,
                          "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments));
}

class RealRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ".gap");
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "GAPfile");
        ASSERT_EQ(association(), Tree{});
    }

    /// A program folder holding the stand-in Ravik.exe and GAP.ico, as the build leaves them.
    std::string programFolder(const std::string& name) {
        const fs::path folder = dir.path() / name;
        fs::create_directories(folder);
        fs::copy_file(besideThisProgram("Ravik.exe"), folder / "Ravik.exe");
        fs::copy_file(besideThisProgram("GAP.ico"), folder / "GAP.ico");
        return folder.string();
    }

    /// Registers from `folder` as the program there does, and returns its status lines.
    static std::string registerFrom(const std::string& folder) {
        EXPECT_EQ(runAndWait(folder + "\\Ravik.exe"), 0U);
        return readText(folder + "\\status.txt");
    }

    test::TempDir dir;
};

constexpr const char* kSuccess = "Succesfully edited registry !!\n";

TEST_F(RealRegistry, HoldsExactlyTheTableAfterRegistering) {
    const std::string folder = programFolder("Ravik Programs\\first folder");
    EXPECT_EQ(registerFrom(folder), kSuccess);
    EXPECT_EQ(association(), table(folder));
}

TEST_F(RealRegistry, HoldsTheSameKeysAndValuesAfterASecondRun) {
    const std::string folder = programFolder("Ravik Programs\\first folder");
    EXPECT_EQ(registerFrom(folder), kSuccess);
    const Tree first = association();
    EXPECT_EQ(registerFrom(folder), kSuccess);
    EXPECT_EQ(association(), first);
    EXPECT_EQ(association(), table(folder));
}

TEST_F(RealRegistry, FollowsTheProgramMovedToAnotherFolder) {
    const std::string first = programFolder("Ravik Programs\\first folder");
    EXPECT_EQ(registerFrom(first), kSuccess);
    const std::string moved = (dir.path() / "moved here").string();
    ASSERT_TRUE(MoveFileExA(first.c_str(), moved.c_str(), 0));

    EXPECT_EQ(registerFrom(moved), kSuccess);
    EXPECT_EQ(association(), table(moved));
}

// The whole path of the file, blanks included, reaches the program through the registered
// command, whose placeholder is quoted, and the program takes the quotes off.
TEST_F(RealRegistry, OpensAGapFileInTheRegisteredProgramWithItsWholePath) {
    const std::string folder = programFolder("Ravik Programs\\program folder");
    EXPECT_EQ(registerFrom(folder), kSuccess);
    const std::string gapFile = dir.file("silences of a speech.gap");
    test::writeBytes(gapFile, test::records({{100, 200}}));

    SHELLEXECUTEINFOA open{};
    open.cbSize = sizeof open;
    open.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    open.lpVerb = "open";
    open.lpFile = gapFile.c_str();
    open.nShow = SW_HIDE;
    ASSERT_EQ(startTryingWineRefusalsAgain([&] { return ShellExecuteExA(&open); }), 0U);
    ASSERT_NE(open.hProcess, nullptr);
    WaitForSingleObject(open.hProcess, INFINITE);
    CloseHandle(open.hProcess);

    EXPECT_EQ(readText(folder + "\\opened.txt"), gapFile);
}

struct StartRow {
    std::string name;
    std::string program;  ///< how the command line names the program; {} for its path
    std::string argument; ///< what follows it; {} for the file's path
};

class StartedWith : public RealRegistry, public ::testing::WithParamInterface<StartRow> {};

// However cmd, a shortcut or another program passes the path, the program gets the file's path.
TEST_P(StartedWith, ThePathArrivesWhole) {
    const std::string folder = programFolder("Ravik Programs\\program folder");
    const std::string program = folder + "\\Ravik.exe";
    const std::string gapFile = dir.file("data dir\\speech of a line.gap");
    const auto fill = [&](const std::string& text, const std::string& path) {
        std::string filled = text;
        for (std::size_t at; (at = filled.find("{}")) != std::string::npos;)
            filled.replace(at, 2, path);
        return filled;
    };
    const std::string line =
        fill(GetParam().program, program) + " " + fill(GetParam().argument, gapFile);
    EXPECT_EQ(runCommandLine(program, line), 0U) << line;
    EXPECT_EQ(readText(folder + "\\opened.txt"), gapFile) << line;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, StartedWith,
    ::testing::Values(StartRow{"QuotedProgramQuotedPath", "\"{}\"", "\"{}\""},
                      StartRow{"QuotedProgramUnquotedPathWithBlanks", "\"{}\"", "{}"},
                      StartRow{"UnquotedProgramWithBlanksQuotedPath", "{}", "\"{}\""},
                      StartRow{"UnquotedProgramWithBlanksUnquotedPath", "{}", "{}"},
                      StartRow{"QuotedPathAndBlanksAfterIt", "\"{}\"", "\"{}\"   "}),
    test::RowName{});

class GapIco : public ::testing::TestWithParam<int> {};

// The icon the registry names is an icon that Windows loads, at each size it draws it.
TEST_P(GapIco, BesideTheProgramLoadsAtItsSize) {
    const int size = GetParam();
    const std::string path = besideThisProgram("GAP.ico").string();
    HANDLE icon = LoadImageA(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE);
    ASSERT_NE(icon, nullptr) << GetLastError();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &info));
    BITMAP colour{};
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(static_cast<HICON>(icon));
}

INSTANTIATE_TEST_SUITE_P(Sizes, GapIco, ::testing::Values(16, 32, 48));

} // namespace
} // namespace ravik::shell
