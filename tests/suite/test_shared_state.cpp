// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/shared_state.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/allocation_probe.h"
#include "support/files.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using Windows = std::vector<ToolWindow>;

SuitePaths pathsIn(const TempDir& tmp) {
    return SuitePaths{tmp / "config", tmp / "data/Veltrane"};
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

// A state file around a payload, written by hand, with a bitwise CRC-32 independent of the
// table-driven one under test.
std::string stateFile(const std::string& payload) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : payload) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return std::string("VTSTATE\0\1\0\0\0", 12) + le(payload.size(), 4) + le(~crc, 4) + payload;
}

// (Every field's round trip through the parser is checked by the fuzz replay.)
TEST(SharedState, IsWrittenAsDocumentedAndReadBack) {
    TempDir tmp;
    SetupSuiteSharingAt(13, pathsIn(tmp));
    EXPECT_EQ(GetUserReadWriteDir(), tmp / "data/Veltrane/");
    EXPECT_TRUE(fs::is_directory(tmp / "data/Veltrane"));  // made on first use
    SharedStateStore store(pathsIn(tmp));
    EXPECT_EQ(store.load().status, StateFileStatus::Absent);
    EXPECT_FALSE(fs::exists(tmp / "config"));  // reading makes nothing
    SuiteState wanted = defaultSuiteState(store.paths().defaultUserFolder);
    wanted.helpFile = "/home/j\xC3\xBCrgen/help.chm";
    wanted.chosenLanguage = 0x0804;
    wanted.windows = {{13, 0xFFFFFFFF00000001ull, ::getpid()}};
    ASSERT_TRUE(store.update([&](SuiteState& s) { s = wanted; }));
    EXPECT_EQ(store.load().status, StateFileStatus::Ok);
    EXPECT_EQ(store.load().state, wanted);
    // Written through a temporary file that is renamed: nothing else is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "config"), {}), 2);
    const std::string file = readFile(store.paths().stateFile());
    EXPECT_EQ(file, stateFile(file.substr(20)));
    EXPECT_NE(file.find(record(5, le(0x0804, 4))), std::string::npos);
    // Records of a later version are skipped; a missing record takes its default.
    test::writeFile(store.paths().stateFile(), stateFile(record(77, "new") + record(5, le(7, 4))));
    wanted = defaultSuiteState(store.paths().defaultUserFolder);
    wanted.chosenLanguage = 7;
    EXPECT_EQ(store.load().state, wanted);
    // A path too long to store is dropped, not cut to another path.
    ASSERT_TRUE(store.update([](SuiteState& s) { s.helpFile = "/" + std::string(4096, 'h'); }));
    EXPECT_TRUE(store.load().state.helpFile.empty());
}

// A damaged file reads as the defaults without taking memory for what it claims, is left as it
// is, and is kept aside when the state is next written.
TEST(SharedState, ADamagedFileReadsAsDefaultsAndIsKeptWhenReplaced) {
    const std::string whole = stateFile(record(1, "\1") + record(5, le(0x409, 4)));
    std::string flipped = whole, later = whole, windows;
    flipped[33] ^= 0x10;  // a language byte: only the checksum tells
    later[8] = 2;
    for (std::size_t i = 0; i <= kMaxToolWindows; ++i)
        windows += record(8, le(13, 1) + le(i + 1, 8) + le(1, 4));
    const std::string header = whole.substr(0, 12);
    const std::pair<const char*, std::string> rows[] = {
        {"empty", ""},
        {"header cut short", whole.substr(0, 19)},
        {"wrong magic", std::string("X").append(whole, 1)},
        {"later format version", later},
        {"one byte too many", whole + "x"},
        {"payload byte flipped", flipped},
        {"payload of 64 KiB + 1",
         header + le(kMaxStatePayload + 1, 4) + le(0, 4) + std::string(kMaxStatePayload + 1, '\0')},
        {"payload length of 4 GiB", header + le(0xFFFFFFFF, 4) + whole.substr(16)},
        {"10 MiB more", whole + std::string(10 << 20, '\n')},
        {"record header cut", stateFile(le(1, 2) + le(1, 2))},
        {"record longer than payload", stateFile(le(1, 2) + le(1, 4))},
        {"logging flag 2", stateFile(record(1, "\2"))},
        {"path with NUL", stateFile(record(2, std::string("/a\0b", 4)))},
        {"path too long", stateFile(record(4, std::string("/").append(kMaxStatePath, 'p')))},
        {"language of 3 bytes", stateFile(record(5, le(7, 3)))},
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

// Not the defaults written over it: the file may hold the user's state behind a pipe.
TEST(SharedState, APipeInPlaceOfTheFileIsNeitherReadNorReplaced) {
    TempDir tmp;
    SharedStateStore store(pathsIn(tmp));
    fs::create_directories(tmp / "config");
    ASSERT_EQ(::mkfifo(store.paths().stateFile().c_str(), 0600), 0);
    EXPECT_EQ(store.load().status, StateFileStatus::Unreadable);
    const StateIoResult result = store.update([](SuiteState& s) { s.logging = true; });
    EXPECT_EQ(result.error, "cannot read " + store.paths().stateFile().string());
}

// Two programs each add 1 to the language 100 times, registering a shell's window each time, and
// end: no update is lost, and the windows of ended programs (a crashed shell among them) count
// for nothing, not even as an initialised shell.
TEST(SharedState, TwoProgramsUpdatingAtOnceLoseNothingAndTheirWindowsEndWithThem) {
    TempDir tmp;
    SharedStateStore store(pathsIn(tmp));
    const ToolWindow mine{13, 600, ::getpid()};
    ASSERT_TRUE(store.update([&](SuiteState& s) { s.windows = {mine}; }));
    const auto change = [](SuiteState& s) {
        ++s.chosenLanguage;
        s.windows.push_back({3, 500, ::getpid()});
        s.shellInitialised = true;
    };
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        children.push_back(::fork());
        if (children.back() == 0) {
            bool ok = true;
            for (int i = 0; i < 100; ++i)
                ok = store.update(change).ok && ok;
            ::_exit(ok ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0);
    }
    const SuiteState s = store.load().state;
    EXPECT_EQ(s.chosenLanguage, 200u);
    EXPECT_EQ(s.windows, Windows{mine});
    EXPECT_FALSE(s.shellInitialised);
}

// A length byte beyond the record, as a damaged file may hold, is cut to what the record holds.
TEST(SharedState, FontNameNeverReadsBeyondItsRecord) {
    TextSettings t;
    t.bytes.fill('a');
    t.bytes[10] = 250;
    EXPECT_EQ(t.fontName(), std::string(kMaxFontNameBytes, 'a'));
    EXPECT_FALSE(t.setFontName(std::string(kMaxFontNameBytes + 1, 'n')));
    EXPECT_EQ(t.fontName(), std::string(kMaxFontNameBytes, 'a'));
}

}  // namespace
}  // namespace runemeter
