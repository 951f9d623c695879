#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "frame/settings_file.h"
#include "suite/shared_state.h"
#include "support/allocation_probe.h"
#include "support/run_recorder.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using test::AllocationProbe;
using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Seeded random bytes; every byte value, NULs and line breaks included.
std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(byte(random));
    return out;
}

// Seeded printable text without a line break: one huge line.
std::string oneHugeLine(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0x21, 0x7E);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(byte(random));
    return out;
}

std::string withNuls(std::size_t size) {
    std::string out = std::string(kSettingsFileHeader) + "[A]\n";
    while (out.size() < size)
        out += std::string("v:str=x\0y\n", 10);
    return out;
}

// --- The settings file ---------------------------------------------------------------------

struct SettingsCase {
    const char* name;
    std::function<std::string()> content;
    std::string message;  ///< the exact message; empty: only its form is checked
};

void PrintTo(const SettingsCase& row, std::ostream* os) {
    *os << row.name;
}

// Contents are made when a row runs, not when the table is built: every test process would
// otherwise build all of them first.
std::vector<SettingsCase> settingsCases() {
    static const auto head = [] { return std::string(kSettingsFileHeader) + "[Form]\n"; };
    return {
        {"random_1_byte", [] { return randomBytes(1, 1); }, ""},
        {"random_64_bytes", [] { return randomBytes(64, 2); }, ""},
        {"random_4_KiB", [] { return randomBytes(4096, 3); }, ""},
        {"random_1_MiB", [] { return randomBytes(kMiB, 4); }, ""},
        {"one_line_of_3_MiB", [] { return oneHugeLine(3 * kMiB, 5); },
         "line 1: a value before the first section"},
        {"nuls", [] { return withNuls(64 * 1024); }, "line 5: control character in the line"},
        {"huge_unknown_type", [] { return head() + "v:" + std::string(2 * kMiB, 't') + "=1\n"; },
         "line 5: unknown type \"tttttttttttttttttttttttttttttttt\"..."},
        {"unknown_type_not_utf8", [] { return head() + "v:\xFF\xFE\t\"=1\n"; },
         "line 5: unknown type \"\\xFF\\xFE\\x09\\x22\""},
        {"huge_section_name_unclosed",
         [] { return std::string(kSettingsFileHeader) + "[" + std::string(2 * kMiB, 's'); },
         "line 4: a section name must end with ]"},
        {"good_file_then_garbage",
         [] { return head() + "Checked:bool=true\n" + randomBytes(300, 6); }, ""},
    };
}

class HostileSettingsTable : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(HostileSettingsTable, LoadsAsNothingWithOneShortLineAndLeavesTheFileAlone) {
    TempDir dir;
    const auto file = dir / "Runemeter.ini";
    const std::string content = GetParam().content();
    writeFile(file, content);
    SettingsFile ini;
    ini.WriteBool(u"Old", u"x", true);
    const auto error = ini.Load(file);
    ASSERT_TRUE(error);
    EXPECT_TRUE(ini.empty());
    const std::string message = describeSettingsError(*error);
    if (!GetParam().message.empty()) {
        EXPECT_EQ(message, GetParam().message);
    }
    EXPECT_TRUE(test::isOneReadableLine(message)) << message;
    EXPECT_LT(message.size(), 120u) << message;
    EXPECT_EQ(readFile(file), content);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileSettingsTable, ::testing::ValuesIn(settingsCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostileSettings, SavingOverAFileThatDoesNotLoadKeepsItAside) {
    TempDir dir;
    const auto file = dir / "Runemeter.ini";
    const std::string damaged =
        std::string(kSettingsFileHeader) + "[ElEditHeaderToCut]\ntext:wstr=###\n[A]\nv:oops\n";
    writeFile(file, damaged);
    SettingsFile fresh;
    fresh.WriteBool(u"CheckBoxZips", u"checked", true);
    ASSERT_FALSE(fresh.Save(file));
    EXPECT_EQ(readFile(dir / "Runemeter.ini.damaged"), damaged);
    SettingsFile back;
    ASSERT_FALSE(back.Load(file));
    bool checked = false;
    EXPECT_EQ(back.ReadBool(u"CheckBoxZips", u"checked", checked), ReadStatus::Found);
    EXPECT_TRUE(checked);

    // A later good save keeps the kept copy as it is and makes no other.
    std::filesystem::permissions(dir / "Runemeter.ini.damaged", std::filesystem::perms::owner_read);
    ASSERT_FALSE(fresh.Save(file));
    EXPECT_EQ(readFile(dir / "Runemeter.ini.damaged"), damaged);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 2u);
}

TEST(HostileSettings, SavingOverAGoodFileKeepsNoCopy) {
    TempDir dir;
    const auto file = dir / "Runemeter.ini";
    SettingsFile ini;
    ini.WriteInteger(u"Spin", u"value", 7);
    ASSERT_FALSE(ini.Save(file));
    ini.WriteInteger(u"Spin", u"value", 8);
    ASSERT_FALSE(ini.Save(file));
    EXPECT_FALSE(std::filesystem::exists(dir / "Runemeter.ini.damaged"));
}

// --- The suite's shared-state file ---------------------------------------------------------

struct StateCase {
    const char* name;
    std::function<std::string()> content;
};

void PrintTo(const StateCase& row, std::ostream* os) {
    *os << row.name;
}

std::string goodStateFile() {
    const auto bytes = serialiseSuiteState(defaultSuiteState("/u/"));
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<StateCase> stateCases() {
    return {
        {"empty", [] { return std::string(); }},
        {"random_19_bytes", [] { return randomBytes(19, 8); }},
        {"random_4_KiB", [] { return randomBytes(4096, 9); }},
        {"random_10_MiB", [] { return randomBytes(10 * kMiB, 10); }},
        {"one_line_of_2_MiB", [] { return oneHugeLine(2 * kMiB, 11); }},
        {"nuls_only", [] { return std::string(100000, '\0'); }},
        {"payload_length_of_4_GiB",
         [] {
             std::string lyingLength = goodStateFile();
             for (int i = 0; i < 4; ++i)
                 lyingLength[12 + i] = '\xFF';  // payload length of 4 GiB
             return lyingLength;
         }},
        {"good_file_with_70_KiB_more", [] { return goodStateFile() + randomBytes(70 * 1024, 7); }},
    };
}

class HostileStateTable : public ::testing::TestWithParam<StateCase> {};

TEST_P(HostileStateTable, ReadsAsDefaultsAndIsKeptWhenReplaced) {
    TempDir dir;
    SuitePaths paths;
    paths.configFolder = dir / "config";
    paths.defaultUserFolder = dir / "data/";
    SharedStateStore store(paths);
    const std::string content = GetParam().content();
    writeFile(paths.stateFile(), content);
    {
        AllocationProbe probe;
        const ParsedState parsed = store.load();
        EXPECT_EQ(parsed.status, StateFileStatus::Damaged);
        EXPECT_EQ(parsed.state, defaultSuiteState(paths.defaultUserFolder));
        EXPECT_LT(probe.largest(), kMiB);
    }
    EXPECT_EQ(readFile(paths.stateFile()), content);

    ASSERT_TRUE(store.update([](SuiteState& s) { s.logging = true; }));
    EXPECT_EQ(readFile(dir / "config/suite-state.damaged"), content);
    EXPECT_EQ(store.load().status, StateFileStatus::Ok);
    EXPECT_TRUE(store.load().state.logging);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileStateTable, ::testing::ValuesIn(stateCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostileState, APipeInThePlaceOfTheFileNeverBlocks) {
    TempDir dir;
    SuitePaths paths;
    paths.configFolder = dir / "config";
    paths.defaultUserFolder = dir / "data/";
    std::filesystem::create_directories(paths.configFolder);
    ASSERT_EQ(::mkfifo(paths.stateFile().c_str(), 0600), 0);
    SharedStateStore store(paths);
    const ParsedState parsed = store.load();
    EXPECT_EQ(parsed.status, StateFileStatus::Unreadable);
    EXPECT_EQ(parsed.state, defaultSuiteState(paths.defaultUserFolder));
    const StateIoResult result = store.update([](SuiteState& s) { s.logging = true; });
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "cannot read " + paths.stateFile().string());
}

}  // namespace
}  // namespace runemeter
