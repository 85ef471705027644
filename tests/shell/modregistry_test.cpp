#include "shell/modRegistry.hpp"
#include "support/testfiles.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
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

/// Stands in for advapi32: records every call with its arguments as text, hands out handles
/// h1, h2, ... in order, and refuses the calls it is told to.
class RecordingRegistry final : public Registry {
public:
    explicit RecordingRegistry(std::vector<Refusal> refusals = {})
        : refusals_(std::move(refusals)) {}

    std::vector<std::string> calls;
    std::vector<std::string> faults; ///< handles closed twice, never handed out, or never closed

    long RegOpenKeyA(Key key, const char* subKey, Key* result) override {
        return handOut("RegOpenKeyA", key, subKey, result);
    }
    long RegCreateKeyA(Key key, const char* subKey, Key* result) override {
        return handOut("RegCreateKeyA", key, subKey, result);
    }
    long RegSetValueA(Key key, const char* subKey, std::uint32_t type, const char* data,
                      std::uint32_t length) override {
        return record("RegSetValueA", subKey,
                      "RegSetValueA(" + name(key) + ", \"" + subKey + "\", " + typeName(type) +
                          ", \"" + data + "\", " + std::to_string(length) + ")");
    }
    long RegSetValueExA(Key key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) override {
        // Exactly the bytes the size covers, so a missing or extra null shows.
        std::string bytes;
        for (std::uint32_t i = 0; i < size; ++i)
            bytes += data[i] == 0 ? std::string("\\0") : std::string(1, static_cast<char>(data[i]));
        return record("RegSetValueExA", valueName,
                      "RegSetValueExA(" + name(key) + ", \"" + valueName + "\", " +
                          std::to_string(reserved) + ", " + typeName(type) + ", \"" + bytes +
                          "\", " + std::to_string(size) + ")");
    }
    long RegCloseKey(Key key) override {
        if (open_.erase(key) == 0)
            faults.push_back("closed " + name(key) + ", which is not open");
        return record("RegCloseKey", "", "RegCloseKey(" + name(key) + ")");
    }

    /// Called once the registration is over.
    void checkEveryHandleClosed() {
        for (Key key : open_)
            faults.push_back("never closed " + name(key));
        open_.clear();
    }

private:
    long handOut(const char* call, Key key, const char* subKey, Key* result) {
        const std::string text = std::string(call) + "(" + name(key) + ", \"" + subKey + "\")";
        if (refused(call, subKey)) {
            calls.push_back(text + " -> refused");
            return kAccessDenied;
        }
        *result = ++handedOut_;
        open_.insert(*result);
        calls.push_back(text + " -> " + name(*result));
        return kRegistryOk;
    }
    long record(const char* call, const std::string& subject, const std::string& text) {
        if (refused(call, subject)) {
            calls.push_back(text + " -> refused");
            return kAccessDenied;
        }
        calls.push_back(text);
        return kRegistryOk;
    }
    bool refused(const std::string& call, const std::string& subject) const {
        return std::any_of(refusals_.begin(), refusals_.end(), [&](const Refusal& refusal) {
            return refusal.call == "*" || (refusal.call == call && refusal.name == subject);
        });
    }
    std::string name(Key key) const {
        if (key == kClassesRoot)
            return "HKEY_CLASSES_ROOT";
        return key >= 1 && key <= handedOut_ ? "h" + std::to_string(key) : "unknown handle";
    }
    static std::string typeName(std::uint32_t type) {
        return type == 1 ? "REG_SZ" : "type " + std::to_string(type);
    }

    std::vector<Refusal> refusals_;
    Key handedOut_ = 0;
    std::set<Key> open_;
};

const std::string kProgramFolder = "C:\\Program Files\\Ravik";

std::vector<std::string> registerInto(RecordingRegistry& registry,
                                      const std::string& folder = kProgramFolder) {
    std::vector<std::string> lines;
    RegisterGAP(registry, folder, [&](std::string_view line) { lines.emplace_back(line); });
    registry.checkEveryHandleClosed();
    return lines;
}

TEST(RegisterGapCalls, AreTheTableInOrderWithTheirSizes) {
    RecordingRegistry registry;
    EXPECT_EQ(registerInto(registry), std::vector<std::string>{"Succesfully edited registry !!"});

    // Text lengths: "GAPfile" 7; the program folder (22) with "\GAP.ico" 30 and with
    // the command, the program's path and the placeholder each quoted, 1 + 22 + 10 + 1 + 1 + 4 =
    // 39. RegSetValueExA's size counts the null: "GAP File" 8 + 1.
    const std::vector<std::string> expected{
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, "") -> h1)",
        R"(RegCreateKeyA(h1, ".gap") -> h2)",
        R"(RegCloseKey(h1))",
        R"(RegCloseKey(h2))",
        R"(RegSetValueA(HKEY_CLASSES_ROOT, ".gap", REG_SZ, "GAPfile", 7))",
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, ".gap") -> h3)",
        R"(RegSetValueExA(h3, "Content Type", 0, REG_SZ, "GAP File\0", 9))",
        R"(RegCloseKey(h3))",
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, "") -> h4)",
        R"(RegCreateKeyA(h4, "GAPfile") -> h5)",
        R"(RegCloseKey(h4))",
        R"(RegCloseKey(h5))",
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, "GAPfile") -> h6)",
        R"(RegCreateKeyA(h6, "defaulticon") -> h7)",
        R"(RegCloseKey(h6))",
        R"(RegCloseKey(h7))",
        R"(RegSetValueA(HKEY_CLASSES_ROOT, "GAPfile\defaulticon", REG_SZ, )"
        R"("C:\Program Files\Ravik\GAP.ico", 30))",
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, "GAPfile") -> h8)",
        R"(RegCreateKeyA(h8, "Shell") -> h9)",
        R"(RegCloseKey(h8))",
        R"(RegCloseKey(h9))",
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, "GAPfile\Shell") -> h10)",
        R"(RegCreateKeyA(h10, "Open") -> h11)",
        R"(RegCloseKey(h10))",
        R"(RegCloseKey(h11))",
        R"(RegOpenKeyA(HKEY_CLASSES_ROOT, "GAPfile\Shell\Open") -> h12)",
        R"(RegCreateKeyA(h12, "command") -> h13)",
        R"(RegCloseKey(h12))",
        R"(RegCloseKey(h13))",
        R"(RegSetValueA(HKEY_CLASSES_ROOT, "GAPfile\Shell\Open\command", REG_SZ, )"
        R"(""C:\Program Files\Ravik\Ravik.exe" "%1"", 39))",
    };
    EXPECT_EQ(registry.calls, expected);
    EXPECT_EQ(registry.faults, std::vector<std::string>{});
}

TEST(RegisterGapCalls, ValuesFollowTheProgramFolderAsGiven) {
    RecordingRegistry registry;
    (void)registerInto(registry, "D:\\Moved Elsewhere");
    const std::vector<std::string>& calls = registry.calls;
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        R"(RegSetValueA(HKEY_CLASSES_ROOT, "GAPfile\defaulticon", REG_SZ, )"
                        R"("D:\Moved Elsewhere\GAP.ico", 26))"),
              calls.end());
    EXPECT_EQ(calls.back(), R"(RegSetValueA(HKEY_CLASSES_ROOT, "GAPfile\Shell\Open\command", )"
                            R"(REG_SZ, ""D:\Moved Elsewhere\Ravik.exe" "%1"", 35))");
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
