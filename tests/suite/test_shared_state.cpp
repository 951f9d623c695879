#include "suite/shared_state.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "suite/suite_test_support.h"

namespace runemeter {
namespace {

using test::readFile;
using test::ScopedEnv;
using test::TempFolder;
using test::writeFile;

SuitePaths pathsIn(const TempFolder& tmp) {
    return SuitePaths{tmp.path() / "config", tmp.path() / "data" / "Veltrane"};
}

// Bitwise CRC-32 (IEEE), independent of the table-driven one under test.
std::uint32_t referenceCrc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
        }
    }
    return ~crc;
}

std::string le(std::uint64_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string record(std::uint16_t tag, const std::string& data) {
    return le(tag, 2) + le(data.size(), 4) + data;
}

// A state file around a payload, with a correct header and checksum.
std::string stateFile(const std::string& payload) {
    return std::string("VTSTATE\0", 8) + le(1, 2) + le(0, 2) + le(payload.size(), 4) +
           le(referenceCrc32(payload), 4) + payload;
}

std::span<const std::byte> bytes(const std::string& s) {
    return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

std::string text(const std::vector<std::byte>& v) {
    return std::string(reinterpret_cast<const char*>(v.data()), v.size());
}

SuiteState sampleState() {
    SuiteState s = defaultSuiteState("/home/u/.local/share/Veltrane");
    s.logging = true;
    s.logFile = "/var/tmp/vt \xC3\xBC.log";
    s.userFolder = "/home/u/suite/";
    s.helpFile = "/home/u/suite/interfaces/veltrane_9.chm";
    s.chosenLanguage = 0x0804;
    s.textSettings.setFontCharset(134);
    s.textSettings.setFontSize(12);
    EXPECT_TRUE(s.textSettings.setFontName("Tahoma"));
    s.textSettings.bytes[0] = 0x5A;  // bytes the interface font does not use are kept too
    for (std::size_t i = 0; i < kColourWords; ++i) {
        s.colours[i] = static_cast<std::uint32_t>(0x01020304u * (i + 1));
    }
    s.windows = {{13, 0xFFFFFFFF00000001ull, static_cast<std::int32_t>(::getpid())},
                 {3, 42, static_cast<std::int32_t>(::getpid())}};
    s.shellInitialised = true;
    return s;
}

TEST(SharedStateDefaults, NoFileGivesTheDefaultsAndCreatesNothing) {
    TempFolder tmp;
    const SharedStateStore store(pathsIn(tmp));
    const ParsedState parsed = store.load();

    EXPECT_EQ(parsed.status, StateFileStatus::Absent);
    const SuiteState& s = parsed.state;
    EXPECT_FALSE(s.logging);
    EXPECT_EQ(s.userFolder, tmp.path() / "data" / "Veltrane/");
    EXPECT_EQ(s.logFile, tmp.path() / "data" / "Veltrane" / "veltrane.log");
    EXPECT_TRUE(s.helpFile.empty());
    EXPECT_EQ(s.chosenLanguage, 0u);
    EXPECT_EQ(s.textSettings.fontName(), "DejaVu Sans");
    EXPECT_EQ(s.textSettings.fontSize(), 9);
    EXPECT_EQ(s.textSettings.fontCharset(), 1);
    EXPECT_EQ(s.colours[kInterfaceFontColourWord], 0u);  // black interface text
    EXPECT_EQ(s.colours[0], 0x00FFFFFFu);                // white grid background
    EXPECT_TRUE(s.windows.empty());
    EXPECT_FALSE(s.shellInitialised);
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "config"));
}

TEST(SharedStateFile, EveryFieldSurvivesAWriteAndARead) {
    TempFolder tmp;
    SharedStateStore store(pathsIn(tmp));
    const SuiteState wanted = sampleState();
    ASSERT_TRUE(store.update([&](SuiteState& s) { s = wanted; }));

    const ParsedState parsed = store.load();
    EXPECT_EQ(parsed.status, StateFileStatus::Ok);
    EXPECT_EQ(parsed.state, wanted);
    // Written by renaming a temporary file: nothing else is left in the folder.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.path() / "config")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"suite-state", "suite-state.lock"}));
}

TEST(SharedStateFile, WrittenBytesFollowTheDocumentedLayout) {
    const std::string file = text(serialiseSuiteState(sampleState()));
    ASSERT_GE(file.size(), 20u);
    EXPECT_EQ(file.substr(0, 8), std::string("VTSTATE\0", 8));
    EXPECT_EQ(file.substr(12, 4), le(file.size() - 20, 4));
    EXPECT_EQ(file.substr(16, 4), le(referenceCrc32(file.substr(20)), 4));
    // The language record as the table gives it: tag 5, length 4, the identifier.
    EXPECT_NE(file.find(record(5, le(0x0804, 4))), std::string::npos);
}

TEST(SharedStateFile, PathsTooLongToStoreAreDroppedNotCut) {
    SuiteState s = defaultSuiteState("/u");
    s.helpFile = "/" + std::string(kMaxStatePath, 'h');
    const ParsedState back = parseSuiteState(serialiseSuiteState(s), "/u");
    ASSERT_EQ(back.status, StateFileStatus::Ok);
    EXPECT_TRUE(back.state.helpFile.empty());
}

struct DamagedCase {
    const char* name;
    std::string file;
};

std::vector<DamagedCase> damagedCases() {
    const std::string good = text(serialiseSuiteState(sampleState()));
    std::string flipped = good;
    flipped[30] = static_cast<char>(flipped[30] ^ 0x10);
    std::string badVersion = good;
    badVersion[8] = 2;
    return {
        {"empty", ""},
        {"header cut short", good.substr(0, 19)},
        {"wrong magic", "XTSTATE" + good.substr(7)},
        {"later format version", badVersion},
        {"one byte missing", good.substr(0, good.size() - 1)},
        {"one byte too many", good + "x"},
        {"payload byte flipped", flipped},
        {"payload length beyond limit", std::string("VTSTATE\0", 8) + le(1, 2) + le(0, 2) +
                                            le(kMaxStatePayload + 1, 4) + le(0, 4) +
                                            std::string(kMaxStatePayload + 1, '\0')},
        {"record header cut", stateFile(le(1, 2) + le(1, 2))},
        {"record longer than payload", stateFile(record(1, "\1").substr(0, 6) + "")},
        {"logging flag 2", stateFile(record(1, "\2"))},
        {"logging flag two bytes", stateFile(record(1, std::string("\1\0", 2)))},
        {"path with NUL", stateFile(record(2, std::string("/a\0b", 4)))},
        {"path too long", stateFile(record(4, "/" + std::string(kMaxStatePath, 'p')))},
        {"empty user folder", stateFile(record(3, ""))},
        {"language of 3 bytes", stateFile(record(5, le(7, 3)))},
        {"text settings short", stateFile(record(6, std::string(63, 'x')))},
        {"colours short", stateFile(record(7, std::string(191, 'x')))},
        {"window record short", stateFile(record(8, std::string(12, 'w')))},
        {"too many windows",
         [] {
             std::string p;
             for (std::size_t i = 0; i <= kMaxToolWindows; ++i) {
                 p += record(8, le(13, 1) + le(i + 1, 8) + le(1, 4));
             }
             return stateFile(p);
         }()},
    };
}

TEST(SharedStateParser, DamagedFilesGiveTheDefaults) {
    const SuiteState defaults = defaultSuiteState("/u");
    for (const DamagedCase& c : damagedCases()) {
        SCOPED_TRACE(c.name);
        const ParsedState parsed = parseSuiteState(bytes(c.file), "/u");
        EXPECT_EQ(parsed.status, StateFileStatus::Damaged);
        EXPECT_EQ(parsed.state, defaults);
    }
}

TEST(SharedStateParser, UnknownRecordsAreSkippedAndMissingOnesDefault) {
    const std::string file =
        stateFile(record(77, "from a later version") + record(5, le(0x407, 4)));
    const ParsedState parsed = parseSuiteState(bytes(file), "/u");
    ASSERT_EQ(parsed.status, StateFileStatus::Ok);
    SuiteState expected = defaultSuiteState("/u");
    expected.chosenLanguage = 0x407;
    EXPECT_EQ(parsed.state, expected);
}

TEST(SharedStateParser, RandomBytesNeverPassAsAState) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> size(0, 600);
    const std::string good = text(serialiseSuiteState(sampleState()));
    for (int round = 0; round < 500; ++round) {
        std::string data(size(random), '\0');
        for (char& c : data) {
            c = static_cast<char>(byte(random));
        }
        // Half the inputs start like a real file, so the parser gets past the magic.
        if (round % 2 == 1) {
            data = good.substr(0, 12) + data;
        }
        SCOPED_TRACE(round);
        EXPECT_EQ(parseSuiteState(bytes(data), "/u").status, StateFileStatus::Damaged);
    }
}

TEST(SharedStateFile, ADamagedFileReadsAsDefaultsAndIsKeptWhenReplaced) {
    TempFolder tmp;
    SharedStateStore store(pathsIn(tmp));
    std::filesystem::create_directories(store.paths().configFolder);
    const std::string garbage = "not a state file at all";
    writeFile(store.paths().stateFile(), garbage);

    const ParsedState parsed = store.load();
    EXPECT_EQ(parsed.status, StateFileStatus::Damaged);
    EXPECT_EQ(parsed.state, defaultSuiteState(store.paths().defaultUserFolder));

    ASSERT_TRUE(store.update([](SuiteState& s) { s.chosenLanguage = 0x409; }));
    EXPECT_EQ(readFile(store.paths().configFolder / "suite-state.damaged"), garbage);
    EXPECT_EQ(store.load().status, StateFileStatus::Ok);
    EXPECT_EQ(store.load().state.chosenLanguage, 0x409u);
}

TEST(SharedStateFile, AWriteThatCannotHappenIsReportedNotThrown) {
    TempFolder tmp;
    writeFile(tmp.path() / "config", "a file where the folder should be");
    SharedStateStore store(pathsIn(tmp));
    const StateIoResult result = store.update([](SuiteState& s) { s.logging = true; });
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("config"), std::string::npos) << result.error;
    EXPECT_FALSE(store.load().state.logging);
}

TEST(SharedStateFile, TwoProcessesUpdatingAtOnceLoseNothing) {
    TempFolder tmp;
    const SuitePaths paths = pathsIn(tmp);
    constexpr int kProcesses = 2;
    constexpr int kUpdates = 100;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SharedStateStore store(paths);
            bool ok = true;
            for (int i = 0; i < kUpdates; ++i) {
                ok = store.update([](SuiteState& s) { ++s.chosenLanguage; }).ok && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const SharedStateStore store(paths);
    EXPECT_EQ(store.load().state.chosenLanguage, static_cast<std::uint32_t>(kProcesses * kUpdates));
}

TEST(SharedStateFile, WindowsOfEndedProcessesAreLeftOut) {
    TempFolder tmp;
    const pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) {
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(ended, &status, 0), ended);

    SharedStateStore store(pathsIn(tmp));
    const auto self = static_cast<std::int32_t>(::getpid());
    ASSERT_TRUE(store.update([&](SuiteState& s) {
        s.windows = {{3, 500, static_cast<std::int32_t>(ended)}, {13, 600, self}};
        s.shellInitialised = true;
    }));
    const SuiteState s = store.load().state;
    EXPECT_EQ(s.windows, (std::vector<ToolWindow>{{13, 600, self}}));
    EXPECT_EQ(s.activeWindow(3), 0u);
    EXPECT_FALSE(s.shellInitialised);  // a crashed shell is not a running one
}

struct FontNameCase {
    const char* name;
    std::string fontName;
    bool fits;
};

TEST(TextSettingsRecord, FontNameIsLengthPrefixedFromByteTen) {
    const std::vector<FontNameCase> cases = {
        {"empty", "", true},
        {"short", "Tahoma", true},
        {"longest", std::string(kMaxFontNameBytes, 'n'), true},
        {"one too long", std::string(kMaxFontNameBytes + 1, 'n'), false},
        {"UTF-8", "Noto Sans \xE4\xB8\xAD", true},
    };
    for (const FontNameCase& c : cases) {
        SCOPED_TRACE(c.name);
        TextSettings t = defaultTextSettings();
        const TextSettings before = t;
        EXPECT_EQ(t.setFontName(c.fontName), c.fits);
        if (!c.fits) {
            EXPECT_EQ(t, before);
            continue;
        }
        EXPECT_EQ(t.fontName(), c.fontName);
        EXPECT_EQ(t.bytes[10], c.fontName.size());
        EXPECT_EQ(std::memcmp(t.bytes.data() + 11, c.fontName.data(), c.fontName.size()), 0);
        EXPECT_EQ(t.fontCharset(), 1);  // the neighbouring fields are untouched
        EXPECT_EQ(t.fontSize(), 9);
    }
}

TEST(TextSettingsRecord, ALengthByteBeyondTheRecordIsCut) {
    TextSettings t;
    t.bytes.fill('a');
    t.bytes[10] = 250;
    EXPECT_EQ(t.fontName(), std::string(kMaxFontNameBytes, 'a'));
}

struct EnvCase {
    const char* name;
    std::optional<std::string> config;
    std::optional<std::string> data;
    std::string wantConfig;  // below the temporary folder
    std::string wantData;
};

TEST(SuitePathsFromEnvironment, FollowTheXdgVariablesAndHome) {
    TempFolder tmp;
    const std::string t = tmp.path().string();
    const std::vector<EnvCase> cases = {
        {"nothing set", std::nullopt, std::nullopt, "/home/.config/Veltrane",
         "/home/.local/share/Veltrane/"},
        {"both set", t + "/cfg", t + "/dat", "/cfg/Veltrane", "/dat/Veltrane/"},
        {"relative values ignored", std::string("cfg"), std::string("dat"),
         "/home/.config/Veltrane", "/home/.local/share/Veltrane/"},
        {"empty values ignored", std::string(), std::string(), "/home/.config/Veltrane",
         "/home/.local/share/Veltrane/"},
    };
    for (const EnvCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedEnv home("HOME", t + "/home");
        const ScopedEnv config("XDG_CONFIG_HOME", c.config);
        const ScopedEnv data("XDG_DATA_HOME", c.data);
        const SuitePaths p = suitePathsFromEnvironment();
        EXPECT_EQ(p.configFolder.string(), t + c.wantConfig);
        EXPECT_EQ(p.defaultUserFolder.string(), t + c.wantData);
    }
}

// The shared library's calls, against a suite in a temporary folder.
class SuiteCalls : public ::testing::Test {
protected:
    SuiteCalls()
        : m_home("HOME", m_tmp.path().string()),
          m_config("XDG_CONFIG_HOME", std::nullopt),
          m_data("XDG_DATA_HOME", std::nullopt) {
        SetupSuiteSharing(13);
    }

    TempFolder m_tmp;
    ScopedEnv m_home;
    ScopedEnv m_config;
    ScopedEnv m_data;
    const std::int32_t m_pid = static_cast<std::int32_t>(::getpid());
};

TEST_F(SuiteCalls, UserFolderIsMadeOnFirstUse) {
    const std::filesystem::path expected = m_tmp.path() / ".local/share/Veltrane/";
    EXPECT_FALSE(std::filesystem::exists(expected));
    EXPECT_EQ(GetUserReadWriteDir(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected));
    EXPECT_EQ(GetLogFilename(), expected / "veltrane.log");
    EXPECT_FALSE(GetLogging());
}

TEST_F(SuiteCalls, WindowsAreRegisteredActivatedAndUnregistered) {
    EXPECT_TRUE(SetNewWnd(13, 101));
    EXPECT_TRUE(SetNewWnd(13, 102));
    EXPECT_TRUE(SetNewWnd(13, 102));  // registering twice keeps one entry
    EXPECT_EQ(GetRegisteredWindows(),
              (std::vector<ToolWindow>{{13, 101, m_pid}, {13, 102, m_pid}}));
    EXPECT_TRUE(SetActiveMainToolWindow(13, 101));
    EXPECT_EQ(suiteStore()->load().state.activeWindow(13), 101u);

    EXPECT_TRUE(UnSetWnd(13, 101));
    EXPECT_EQ(suiteStore()->load().state.activeWindow(13), 102u);
    EXPECT_TRUE(UnSetWnd(13, 999));  // not registered: nothing changes
    EXPECT_EQ(GetRegisteredWindows(), (std::vector<ToolWindow>{{13, 102, m_pid}}));
    EXPECT_TRUE(UnSetWnd(13, 102));
    EXPECT_TRUE(GetRegisteredWindows().empty());
    EXPECT_EQ(GetShellWnd(), 0u);  // a tool's window is never taken for the shell's
}

TEST_F(SuiteCalls, ShellWindowAndInitialisedFlagGoTogether) {
    EXPECT_EQ(GetShellWnd(), 0u);
    EXPECT_FALSE(GetWShellInitialised());
    ASSERT_TRUE(SetNewWnd(3, 77));
    EXPECT_EQ(GetShellWnd(), 77u);
    EXPECT_FALSE(GetWShellInitialised());
    ASSERT_TRUE(SetWShellInitialised(true));
    EXPECT_TRUE(GetWShellInitialised());
    ASSERT_TRUE(UnSetWnd(3, 77));
    EXPECT_EQ(GetShellWnd(), 0u);
    EXPECT_FALSE(GetWShellInitialised());
}

TEST_F(SuiteCalls, HelpFileAndTextSettingsAreWrittenBack) {
    ASSERT_TRUE(SetHelpfilename("/x/interfaces/veltrane_4.chm"));
    EXPECT_EQ(GetHelpfilename(), "/x/interfaces/veltrane_4.chm");

    TextSettings t = GetTextSettings();
    ASSERT_TRUE(t.setFontName("Tahoma"));
    t.setFontCharset(1);
    ASSERT_TRUE(SetTextSettings(t));
    EXPECT_EQ(GetTextSettings().fontName(), "Tahoma");
    EXPECT_EQ(GetTextSettings().fontSize(), 9);
    EXPECT_EQ(GetChosenLanguageInterface(), 0u);
    EXPECT_EQ(GetDefaultColoursAndTypefaces(), defaultColoursAndTypefaces());
}

}  // namespace
}  // namespace runemeter
