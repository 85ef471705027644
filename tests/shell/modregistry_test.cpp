// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/modRegistry.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace ravik::shell {
namespace {
using test::PrintTo;

constexpr long kAccessDenied = 5; // ERROR_ACCESS_DENIED

/// A registry call the recording registry refuses: the call's name and its key or value name,
/// or "*" for every call.
struct Refusal {
    std::string call;
    std::string name;
};

constexpr long kNotFound = 2;      // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kText = 1; // REG_SZ

/// A value as the registry keeps it: its type and its bytes.
struct Value {
    std::uint32_t type;
    std::string bytes;
    friend bool operator==(const Value&, const Value&) = default;
    friend void PrintTo(const Value& value, std::ostream* out) {
        *out << "type " << value.type << " \"";
        for (char c : value.bytes)
            *out << (c == 0 ? std::string("\\0") : std::string(1, c));
        *out << '"';
    }
};
/// Keys by their path below HKEY_CLASSES_ROOT ("" is the root), each with its values by name
/// ("" is the unnamed one).
using Tree = std::map<std::string, std::map<std::string, Value>>;

/// Stands in for advapi32: keeps a tree of keys and values as the registry would, hands out
/// handles h1, h2, ... in order, refuses the calls it is told to, and records every call by its
/// name and key so that the order of the steps can be checked where it matters.
class RecordingRegistry final : public Registry {
public:
    explicit RecordingRegistry(std::vector<Refusal> refusals = {})
        : refusals_(std::move(refusals)) {}

    Tree keys{{"", {}}};
    std::vector<std::string> calls;
    std::vector<std::string> faults; ///< handles misused, lengths that do not fit their text

    long RegOpenKeyA(Key key, const char* subKey, Key* result) override {
        return handOut("RegOpenKeyA", key, subKey, result, false);
    }
    long RegCreateKeyA(Key key, const char* subKey, Key* result) override {
        return handOut("RegCreateKeyA", key, subKey, result, true);
    }
    long RegSetValueA(Key key, const char* subKey, std::uint32_t type, const char* data,
                      std::uint32_t length) override {
        const std::string text = "RegSetValueA(" + name(key) + ", \"" + subKey + "\")";
        if (refused("RegSetValueA", subKey))
            return refuse(text);
        // Windows takes the text up to its null, whatever the length says; a length that
        // disagrees is the caller's fault all the same.
        if (length != std::strlen(data))
            faults.push_back(text + " given length " + std::to_string(length));
        calls.push_back(text);
        keys[join(pathOf(key), subKey)][""] = Value{type, data};
        return kRegistryOk;
    }
    long RegSetValueExA(Key key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
        const std::string text = "RegSetValueExA(" + name(key) + ", \"" + valueName + "\")";
        if (refused("RegSetValueExA", valueName))
            return refuse(text);
        if (reserved != 0)
            faults.push_back(text + " given reserved " + std::to_string(reserved));
        calls.push_back(text);
        keys[pathOf(key)][valueName] =
            Value{type, std::string(reinterpret_cast<const char*>(data), size)};
        return kRegistryOk;
    }
    long RegCloseKey(Key key) override {
        const std::string text = "RegCloseKey(" + name(key) + ")";
        if (refused("RegCloseKey", ""))
            return refuse(text);
        if (open_.erase(key) == 0)
            faults.push_back("closed " + name(key) + ", which is not open");
        calls.push_back(text);
        return kRegistryOk;
    }

    /// Called once the registration is over.
    void checkEveryHandleClosed() {
        for (const auto& [key, path] : open_)
            faults.push_back("never closed " + name(key));
        open_.clear();
    }

private:
    long handOut(const char* call, Key key, const char* subKey, Key* result, bool create) {
        const std::string text = std::string(call) + "(" + name(key) + ", \"" + subKey + "\")";
        if (refused(call, subKey))
            return refuse(text);
        const std::string path = join(pathOf(key), subKey);
        if (!keys.contains(path)) {
            if (!create) {
                calls.push_back(text + " -> missing");
                return kNotFound;
            }
            keys[path];
        }
        *result = ++handedOut_;
        open_[*result] = path;
        calls.push_back(text);
        return kRegistryOk;
    }
    long refuse(const std::string& text) {
        calls.push_back(text + " -> refused");
        return kAccessDenied;
    }
    bool refused(const std::string& call, const std::string& subject) const {
        return std::any_of(refusals_.begin(), refusals_.end(), [&](const Refusal& refusal) {
            return refusal.call == "*" || (refusal.call == call && refusal.name == subject);
        });
    }
    std::string pathOf(Key key) {
        if (key == kClassesRoot)
            return "";
        const auto found = open_.find(key);
        if (found != open_.end())
            return found->second;
        faults.push_back("used " + name(key) + ", which is not open");
        return "(not open)";
    }
    static std::string join(const std::string& path, const std::string& subKey) {
        return path.empty() || subKey.empty() ? path + subKey : path + "\\" + subKey;
    }
    std::string name(Key key) const {
        if (key == kClassesRoot)
            return "HKEY_CLASSES_ROOT";
        return key >= 1 && key <= handedOut_ ? "h" + std::to_string(key) : "unknown handle";
    }

    std::vector<Refusal> refusals_;
    Key handedOut_ = 0;
    std::map<Key, std::string> open_;
};

const std::string kProgramFolder = "C:\\Program Files\\Ravik";

std::vector<std::string> registerInto(RecordingRegistry& registry,
                                      const std::string& folder = kProgramFolder) {
    std::vector<std::string> lines;
    RegisterGAP(registry, folder, [&](std::string_view line) { lines.emplace_back(line); });
    registry.checkEveryHandleClosed();
    return lines;
}

/// What registering from `folder` leaves in an empty registry.
Tree fileTypeKeys(const std::string& folder) {
    return {
        {"", {}},
        {".gap",
         {{"", {kText, "GAPfile"}}, {"Content Type", {kText, std::string("GAP File\0", 9)}}}},
        {"GAPfile", {}},
        {"GAPfile\\defaulticon", {{"", {kText, folder + "\\GAP.ico"}}}},
        {"GAPfile\\Shell", {}},
        {"GAPfile\\Shell\\Open", {}},
        {"GAPfile\\Shell\\Open\\command", {{"", {kText, "\"" + folder + "\\Ravik.exe\" \"%1\""}}}}};
}

class RegisterGapInto : public ::testing::TestWithParam<std::string> {};

// The file type, its icon and its open command, from any program folder: a named value keeps its
// null (Windows' REG_SZ), every length given fits its text, every handle is closed once.
TEST_P(RegisterGapInto, AnEmptyRegistryLeavesTheFileTypeAndClosesEveryKey) {
    RecordingRegistry registry;
    EXPECT_EQ(registerInto(registry, GetParam()),
              std::vector<std::string>{"Succesfully edited registry !!"});
    EXPECT_EQ(registry.keys, fileTypeKeys(GetParam()));
    EXPECT_EQ(registry.faults, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Folders, RegisterGapInto,
                         ::testing::Values(kProgramFolder, "D:\\Moved Elsewhere", "E:\\x"),
                         [](const auto& row) { return "folder_" + std::to_string(row.index); });

TEST(RegisterGapAgain, ARegistryThatHasTheKeysAlreadyIsLeftWithTheNewValues) {
    RecordingRegistry registry;
    (void)registerInto(registry, "D:\\Old Place");
    EXPECT_EQ(registerInto(registry), std::vector<std::string>{"Succesfully edited registry !!"});
    EXPECT_EQ(registry.keys, fileTypeKeys(kProgramFolder));
}

TEST(RegisterGapCalls, RefusedCloseIsNotAFailure) {
    RecordingRegistry registry(std::vector<Refusal>{{"RegCloseKey", ""}});
    EXPECT_EQ(registerInto(registry), std::vector<std::string>{"Succesfully edited registry !!"});
}

struct RefusalRow {
    std::string name;
    std::vector<Refusal> refusals;
    std::string line;                      ///< the one status line, up to the reason
    std::vector<std::string> callsSkipped; ///< calls that must not follow the refusal
};

class RegisterGapRefusal : public ::testing::TestWithParam<RefusalRow> {};

// Every step runs whatever failed before it: each of the six keys is still opened for, and the
// command, the last value, is still set.
TEST_P(RegisterGapRefusal, NamesTheFirstRefusedKeyOnceAndRunsEveryStep) {
    RecordingRegistry registry(GetParam().refusals);
    const std::vector<std::string> lines = registerInto(registry);

    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0].substr(0, GetParam().line.size()), GetParam().line);
    EXPECT_NE(lines[0].find("error 5"), std::string::npos) << lines[0];
    const auto count = [&](const std::string& part) {
        return std::count_if(
            registry.calls.begin(), registry.calls.end(),
            [&](const std::string& call) { return call.find(part) != std::string::npos; });
    };
    EXPECT_EQ(count("RegOpenKeyA("), 7);
    EXPECT_EQ(count("RegSetValueA("), 3);
    EXPECT_TRUE(registry.calls.back().starts_with(
        R"(RegSetValueA(HKEY_CLASSES_ROOT, "GAPfile\Shell\Open\command")"));
    for (const std::string& skipped : GetParam().callsSkipped)
        EXPECT_EQ(count(skipped), 0) << skipped;
    EXPECT_EQ(registry.faults, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RegisterGapRefusal,
    ::testing::Values(
        RefusalRow{
            "RefusedCreateIsNamedWithItsFullPath",
            {{"RegCreateKeyA", "defaulticon"}},
            R"(>> Could not create the registry key "HKEY_CLASSES_ROOT\GAPfile\defaulticon": )",
            {}},
        RefusalRow{"RefusedOpenCreatesNothingBelowIt",
                   {{"RegOpenKeyA", "GAPfile\\Shell"}},
                   R"(>> Could not open the registry key "HKEY_CLASSES_ROOT\GAPfile\Shell": )",
                   {", \"Open\")"}},
        RefusalRow{"RefusedOpenOfNamedValueWritesNothing",
                   {{"RegOpenKeyA", ".gap"}},
                   R"(>> Could not open the registry key "HKEY_CLASSES_ROOT\.gap": )",
                   {"RegSetValueExA("}},
        RefusalRow{"RefusedNamedValueIsNamedWithItsKey",
                   {{"RegSetValueExA", "Content Type"}},
                   R"(>> Could not set the value "Content Type" of the registry key )"
                   R"("HKEY_CLASSES_ROOT\.gap": )",
                   {}},
        RefusalRow{"RefusedLastValueIsStillReported",
                   {{"RegSetValueA", "GAPfile\\Shell\\Open\\command"}},
                   R"(>> Could not set the default value of the registry key )"
                   R"("HKEY_CLASSES_ROOT\GAPfile\Shell\Open\command": )",
                   {}},
        RefusalRow{"EveryCallRefusedNamesTheFirstStep",
                   {{"*", ""}},
                   R"(>> Could not open the registry key "HKEY_CLASSES_ROOT": )",
                   {"RegCreateKeyA(", "RegSetValueExA(", "RegCloseKey("}},
        RefusalRow{"LaterRefusalsDoNotReplaceTheFirst",
                   {{"RegSetValueA", ".gap"}, {"RegCreateKeyA", "command"}},
                   R"(>> Could not set the default value of the registry key )"
                   R"("HKEY_CLASSES_ROOT\.gap": )",
                   {}}),
    test::RowName{});

} // namespace
} // namespace ravik::shell
