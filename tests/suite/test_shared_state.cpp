#include "suite/shared_state.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "support/allocation_probe.h"
#include "support/files.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScopedEnv;
using test::TempDir;

SuitePaths pathsIn(const TempDir& tmp) {
    return SuitePaths{tmp / "config", tmp / "data/Veltrane"};
}

// Bitwise CRC-32 (IEEE), independent of the table-driven one under test.
std::uint32_t referenceCrc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

std::string le(std::uint64_t value, int width) {
    std::string out;
    for (int i = 0; i < width; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string record(std::uint16_t tag, const std::string& data) {
    return le(tag, 2) + le(data.size(), 4) + data;
}

// A state file around a payload, written by hand with a correct header and checksum.
std::string stateFile(const std::string& payload) {
    return std::string("VTSTATE\0", 8) + le(1, 2) + le(0, 2) + le(payload.size(), 4) +
           le(referenceCrc32(payload), 4) + payload;
}

SuiteState sampleState() {
    SuiteState s = defaultSuiteState("/home/u/.local/share/Veltrane");
    s.logging = true;
    s.logFile = "/var/tmp/vt \xC3\xBC.log";
    s.userFolder = "/home/u/suite/";
    s.helpFile = "/home/u/suite/interfaces/veltrane_9.chm";
    s.chosenLanguage = 0x0804;
    s.textSettings.bytes[0] = 0x5A;
    EXPECT_TRUE(s.textSettings.setFontName("Tahoma"));
    for (std::size_t i = 0; i < kColourWords; ++i)
        s.colours[i] = static_cast<std::uint32_t>(0x01020304u * (i + 1));
    const auto self = static_cast<std::int32_t>(::getpid());
    s.windows = {{13, 0xFFFFFFFF00000001ull, self}, {3, 42, self}};
    s.shellInitialised = true;
    return s;
}

TEST(SharedState, EveryFieldSurvivesAWriteAndAReadInTheDocumentedLayout) {
    TempDir tmp;
    SharedStateStore store(pathsIn(tmp));
    EXPECT_EQ(store.load().status, StateFileStatus::Absent);
    EXPECT_FALSE(fs::exists(tmp / "config"));  // reading makes nothing
    SuiteState wanted = sampleState();
    ASSERT_TRUE(store.update([&](SuiteState& s) { s = wanted; }));
    EXPECT_EQ(store.load().status, StateFileStatus::Ok);
    EXPECT_EQ(store.load().state, wanted);
    std::vector<std::string> names;  // written by renaming a temporary file
    for (const auto& entry : fs::directory_iterator(tmp / "config"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"suite-state", "suite-state.lock"}));

    const std::string file = readFile(store.paths().stateFile());
    ASSERT_GE(file.size(), 20u);
    EXPECT_EQ(file.substr(0, 12), std::string("VTSTATE\0\1\0\0\0", 12));
    EXPECT_EQ(file.substr(12, 4), le(file.size() - 20, 4));
    EXPECT_EQ(file.substr(16, 4), le(referenceCrc32(file.substr(20)), 4));
    EXPECT_NE(file.find(record(5, le(0x0804, 4))), std::string::npos);

    // A path too long to store is dropped, not cut to another path.
    ASSERT_TRUE(store.update([](SuiteState& s) { s.helpFile = "/" + std::string(4096, 'h'); }));
    EXPECT_TRUE(store.load().state.helpFile.empty());
}

TEST(SharedState, UnknownRecordsAreSkippedAndMissingOnesDefault) {
    const std::string file =
        stateFile(record(77, "from a later version") + record(5, le(0x407, 4)));
    const ParsedState parsed = parseSuiteState(std::as_bytes(std::span(file)), "/u");
    ASSERT_EQ(parsed.status, StateFileStatus::Ok);
    SuiteState expected = defaultSuiteState("/u");
    expected.chosenLanguage = 0x407;
    EXPECT_EQ(parsed.state, expected);
}

// A damaged file reads as the defaults without taking memory for what it claims, is left as it
// is, and is kept aside when the state is next written.
TEST(SharedState, ADamagedFileReadsAsDefaultsAndIsKeptWhenReplaced) {
    const auto good = serialiseSuiteState(sampleState());
    const std::string whole(reinterpret_cast<const char*>(good.data()), good.size());
    std::string flipped = whole;
    flipped[30] ^= 0x10;
    std::string later = whole;
    later[8] = 2;
    std::string windows;
    for (std::size_t i = 0; i <= kMaxToolWindows; ++i)
        windows += record(8, le(13, 1) + le(i + 1, 8) + le(1, 4));
    const std::string header("VTSTATE\0\1\0\0\0", 12);
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"empty", ""},
        {"header cut short", whole.substr(0, 19)},
        {"wrong magic", "XTSTATE" + whole.substr(7)},
        {"later format version", later},
        {"one byte missing", whole.substr(0, whole.size() - 1)},
        {"one byte too many", whole + "x"},
        {"payload byte flipped", flipped},
        {"payload of 64 KiB + 1",
         header + le(kMaxStatePayload + 1, 4) + le(0, 4) + std::string(kMaxStatePayload + 1, '\0')},
        {"payload length of 4 GiB", header + le(0xFFFFFFFF, 4) + whole.substr(16)},
        {"10 MiB more", whole + std::string(10 << 20, '\n')},
        {"nothing but NULs", std::string(100000, '\0')},
        {"record header cut", stateFile(le(1, 2) + le(1, 2))},
        {"record longer than payload", stateFile(le(1, 2) + le(1, 4))},
        {"logging flag 2", stateFile(record(1, "\2"))},
        {"logging flag of two bytes", stateFile(record(1, std::string("\1\0", 2)))},
        {"path with NUL", stateFile(record(2, std::string("/a\0b", 4)))},
        {"path too long", stateFile(record(4, "/" + std::string(kMaxStatePath, 'p')))},
        {"empty user folder", stateFile(record(3, ""))},
        {"language of 3 bytes", stateFile(record(5, le(7, 3)))},
        {"text settings short", stateFile(record(6, std::string(63, 'x')))},
        {"colours short", stateFile(record(7, std::string(191, 'x')))},
        {"window record short", stateFile(record(8, std::string(12, 'w')))},
        {"too many windows", stateFile(windows)},
    };
    for (const auto& [name, content] : rows) {
        SCOPED_TRACE(name);
        TempDir tmp;
        SharedStateStore store(pathsIn(tmp));
        test::writeFile(store.paths().stateFile(), content);
        {
            test::AllocationProbe probe;
            const ParsedState parsed = store.load();
            EXPECT_EQ(parsed.status, StateFileStatus::Damaged);
            EXPECT_EQ(parsed.state, defaultSuiteState(store.paths().defaultUserFolder));
            EXPECT_LT(probe.largest(), std::size_t{1} << 20);
        }
        EXPECT_EQ(readFile(store.paths().stateFile()), content);
        ASSERT_TRUE(store.update([](SuiteState& s) { s.chosenLanguage = 0x409; }));
        EXPECT_EQ(readFile(tmp / "config/suite-state.damaged"), content);
        EXPECT_EQ(store.load().state.chosenLanguage, 0x409u);
    }
}

TEST(SharedState, WhatCannotBeReadOrWrittenIsReportedWithoutBlocking) {
    TempDir tmp;
    SharedStateStore store(pathsIn(tmp));
    test::writeFile(tmp / "config", "a file where the folder should be");
    StateIoResult result = store.update([](SuiteState& s) { s.logging = true; });
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("config"), std::string::npos) << result.error;

    fs::remove(tmp / "config");
    fs::create_directories(tmp / "config");
    ASSERT_EQ(::mkfifo(store.paths().stateFile().c_str(), 0600), 0);
    const ParsedState parsed = store.load();
    EXPECT_EQ(parsed.status, StateFileStatus::Unreadable);
    EXPECT_EQ(parsed.state, defaultSuiteState(store.paths().defaultUserFolder));
    result = store.update([](SuiteState& s) { s.logging = true; });
    EXPECT_EQ(result.error, "cannot read " + store.paths().stateFile().string());
}

TEST(SharedState, TwoProcessesUpdatingAtOnceLoseNothing) {
    TempDir tmp;
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SharedStateStore store(pathsIn(tmp));
            bool ok = true;
            for (int i = 0; i < 100; ++i)
                ok = store.update([](SuiteState& s) { ++s.chosenLanguage; }).ok && ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(SharedStateStore(pathsIn(tmp)).load().state.chosenLanguage, 200u);
}

// A crashed shell must not count as a running one, or it would never be started again.
TEST(SharedState, WindowsOfEndedProcessesAreLeftOut) {
    const pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    TempDir tmp;
    SharedStateStore store(pathsIn(tmp));
    const auto self = static_cast<std::int32_t>(::getpid());
    ASSERT_TRUE(store.update([&](SuiteState& s) {
        s.windows = {{3, 500, static_cast<std::int32_t>(ended)}, {13, 600, self}};
        s.shellInitialised = true;
    }));
    const SuiteState s = store.load().state;
    EXPECT_EQ(s.windows, (std::vector<ToolWindow>{{13, 600, self}}));
    EXPECT_FALSE(s.shellInitialised);
}

TEST(SharedState, TheCallsRegisterActivateAndUnregisterWindows) {
    TempDir tmp;
    SetupSuiteSharingAt(13, pathsIn(tmp));
    EXPECT_TRUE(SetNewWnd(13, 101));
    EXPECT_TRUE(SetNewWnd(13, 102));
    EXPECT_TRUE(SetNewWnd(13, 102));  // twice: one entry
    const auto self = static_cast<std::int32_t>(::getpid());
    EXPECT_EQ(GetRegisteredWindows(), (std::vector<ToolWindow>{{13, 101, self}, {13, 102, self}}));
    EXPECT_TRUE(SetActiveMainToolWindow(13, 101));
    EXPECT_EQ(suiteStore()->load().state.activeWindow(13), 101u);
    EXPECT_TRUE(UnSetWnd(13, 101));
    EXPECT_EQ(suiteStore()->load().state.activeWindow(13), 102u);
    EXPECT_EQ(GetShellWnd(), 0u);  // a tool's window is never the shell's
    ASSERT_TRUE(SetNewWnd(3, 77));
    ASSERT_TRUE(SetWShellInitialised(true));
    EXPECT_EQ(GetShellWnd(), 77u);
    ASSERT_TRUE(UnSetWnd(3, 77));
    EXPECT_FALSE(GetWShellInitialised());  // goes with the shell's window
    EXPECT_EQ(GetRegisteredWindows(), (std::vector<ToolWindow>{{13, 102, self}}));
    EXPECT_EQ(GetUserReadWriteDir(), tmp / "data/Veltrane/");
    EXPECT_TRUE(fs::is_directory(tmp / "data/Veltrane"));  // made on first use
}

TEST(SharedState, FontNameFitsTheRecordOrIsRefused) {
    TextSettings t = defaultTextSettings();
    ASSERT_TRUE(t.setFontName(std::string(kMaxFontNameBytes, 'n')));
    EXPECT_EQ(t.fontName(), std::string(kMaxFontNameBytes, 'n'));
    const TextSettings before = t;
    EXPECT_FALSE(t.setFontName(std::string(kMaxFontNameBytes + 1, 'n')));
    EXPECT_EQ(t, before);
    t.bytes.fill('a');
    t.bytes[10] = 250;  // a length beyond the record
    EXPECT_EQ(t.fontName(), std::string(kMaxFontNameBytes, 'a'));
}

TEST(SharedState, PathsFollowTheXdgVariablesAndHome) {
    TempDir tmp;
    const std::string t = tmp.path().string();
    const std::string home = t + "/home/.config/Veltrane",
                      homeData = t + "/home/.local/share/Veltrane/";
    const std::vector<std::tuple<std::optional<std::string>, std::string, std::string>> rows = {
        {std::nullopt, home, homeData},
        {t + "/x", t + "/x/Veltrane", t + "/x/Veltrane/"},
        {"relative", home, homeData},
        {"", home, homeData}};
    const ScopedEnv homeVariable("HOME", t + "/home");
    for (const auto& [value, config, data] : rows) {
        SCOPED_TRACE(value.value_or("unset"));
        const ScopedEnv configHome("XDG_CONFIG_HOME", value);
        const ScopedEnv dataHome("XDG_DATA_HOME", value);
        EXPECT_EQ(suitePathsFromEnvironment().configFolder.string(), config);
        EXPECT_EQ(suitePathsFromEnvironment().defaultUserFolder.string(), data);
    }
}

}  // namespace
}  // namespace runemeter
