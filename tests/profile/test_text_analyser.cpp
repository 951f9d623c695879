#include "profile/text_analyser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "profile/random_text.h"
#include "reference/reference_text.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using testing::asSpan;
using testing::Bytes;
using testing::hexUnits;

// Records every message the analyser gives.
class RecordingObserver : public AnalysisObserver {
public:
    void fileIsEmpty(const fs::path& file) override { empty.push_back(file); }
    void failedToRead(const fs::path& file, const std::string& reason) override {
        failed.push_back(file);
        reasons.push_back(reason);
    }
    std::vector<fs::path> empty;
    std::vector<fs::path> failed;
    std::vector<std::string> reasons;
};

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "runemeter-analyser-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_path, ignored);
    }
    [[nodiscard]] const fs::path& path() const { return m_path; }

    fs::path write(const std::string& name, const Bytes& bytes) const {
        const fs::path file = m_path / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    fs::path m_path;
};

void expectSameState(const AnalysisState& state, const reference::State& expected,
                     const std::string& where) {
    EXPECT_EQ(state.SourceText, expected.sourceText)
        << where << ": got " << hexUnits(state.SourceText);
    EXPECT_EQ(state.Utf8FileCount, expected.utf8Files) << where;
    EXPECT_EQ(state.UnicodeFileCount, expected.unicodeFiles) << where;
    EXPECT_EQ(state.BigEndianFileCount, expected.bigEndianFiles) << where;
    EXPECT_EQ(state.CrLfCount, expected.crLf) << where;
    for (std::size_t u = 0; u < 65536; ++u) {
        if ((*state.CharCounts)[u] != expected.counts[u]) {
            ADD_FAILURE() << where << ": count of unit " << u << " is " << (*state.CharCounts)[u]
                          << ", expected " << expected.counts[u];
            return;
        }
    }
}

struct BufferCase {
    const char* name;
    Bytes data;
    std::u16string marker;
    std::u16string text;  // SourceText afterwards (it starts as u"previous")
    std::int64_t utf8;
    std::int64_t unicode;
    std::int64_t bigEndian;
    std::int64_t crLf;
};

TEST(AnalyseBuffer, EdgeCases) {
    const std::vector<BufferCase> cases = {
        {"empty data keeps text", {}, u"", u"previous", 0, 0, 0, 0},
        {"one byte keeps text", {'a'}, u"", u"previous", 0, 0, 0, 0},
        {"two bytes keep text", {'a', 'b'}, u"", u"previous", 0, 0, 0, 0},
        {"only le mark is too short", {0xFF, 0xFE}, u"", u"previous", 0, 0, 0, 0},
        {"three ansi bytes", {'a', 'b', 'c'}, u"", u"abc", 0, 0, 0, 0},
        {"only utf8 signature", {0xEF, 0xBB, 0xBF}, u"", u"", 1, 0, 0, 0},
        {"le mark and odd byte", {0xFF, 0xFE, 'a'}, u"", u"", 0, 1, 0, 0},
        {"be AB", {0xFE, 0xFF, 0x00, 0x41, 0x00, 0x42}, u"", u"AB", 0, 1, 1, 0},
        {"le AB", {0xFF, 0xFE, 0x41, 0x00, 0x42, 0x00}, u"", u"AB", 0, 1, 0, 0},
        {"le odd size", {0xFF, 0xFE, 0x41, 0x00, 0x42}, u"", u"A", 0, 1, 0, 0},
        {"ansi zero byte", {'a', 'b', 0, 'c'}, u"", u"ab", 0, 0, 0, 0},
        {"le zero unit", {0xFF, 0xFE, 'a', 0, 0, 0, 'c', 0}, u"", u"a", 0, 1, 0, 0},
        {"crlf cases", {'a', '\r', '\n', 'b', '\r', 'c', '\n'}, u"", u"a\r\nb\rc\n", 0, 0, 0, 1},
        {"lf cr is no pair", {'a', '\n', '\r', 'b'}, u"", u"a\n\rb", 0, 0, 0, 0},
        {"crlf at very end", {'a', 'b', '\r', '\n'}, u"", u"ab\r\n", 0, 0, 0, 1},
        {"cr at very end", {'a', 'b', '\r'}, u"", u"ab\r", 0, 0, 0, 0},
        {"marker hash",
         {'t', 'i', 't', 'l', 'e', '#', 'b', 'o', 'd', 'y'},
         u"#",
         u"body",
         0,
         0,
         0,
         0},
        {"marker END keeps its rest",
         {'h', 'e', 'a', 'd', 'E', 'N', 'D', ' ', 't', 'e', 'x', 't'},
         u"END",
         u"ND text",
         0,
         0,
         0,
         0},
        {"marker ### keeps ##",
         {'h', 'e', 'a', 'd', '#', '#', '#', 'b', 'o', 'd', 'y'},
         u"###",
         u"##body",
         0,
         0,
         0,
         0},
        {"marker twice cuts at first", {'a', '#', 'b', '#', 'c'}, u"#", u"b#c", 0, 0, 0, 0},
        {"marker in other case not found",
         {'h', 'e', 'a', 'd', 'E', 'N', 'D', 'x'},
         u"end",
         u"headENDx",
         0,
         0,
         0,
         0},
        {"marker at start", {'#', 'a', 'b'}, u"#", u"ab", 0, 0, 0, 0},
        {"marker is whole text", {'E', 'N', 'D'}, u"END", u"ND", 0, 0, 0, 0},
        {"cut removes header crlf", {'h', '\r', '\n', '#', '\r', '\n'}, u"#", u"\r\n", 0, 0, 0, 1},
        {"marker after zero byte not seen", {'a', 'b', 0, '#', 'c'}, u"#", u"ab", 0, 0, 0, 0},
        {"marker in decoded utf16", {0xFF, 0xFE, 'x', 0, '#', 0, 'y', 0}, u"#", u"y", 0, 1, 0, 0},
    };
    for (const BufferCase& c : cases) {
        AnalysisState state;
        state.SourceText = u"previous";
        RecordingObserver observer;
        TextAnalyser analyser(state, observer);
        analyser.setHeaderToCut(c.marker);
        EXPECT_TRUE(analyser.AnalyseBuffer(asSpan(c.data))) << c.name;
        EXPECT_EQ(state.SourceText, c.text) << c.name << ": got " << hexUnits(state.SourceText);
        EXPECT_EQ(state.Utf8FileCount, c.utf8) << c.name;
        EXPECT_EQ(state.UnicodeFileCount, c.unicode) << c.name;
        EXPECT_EQ(state.BigEndianFileCount, c.bigEndian) << c.name;
        EXPECT_EQ(state.CrLfCount, c.crLf) << c.name;

        // The counts are exactly the units of the text that is kept (none for too-short data).
        reference::State expected;
        if (c.data.size() >= 3) {
            reference::count(c.text, expected);
        }
        for (std::size_t u = 0; u < 65536; ++u) {
            ASSERT_EQ((*state.CharCounts)[u], expected.counts[u]) << c.name << " unit " << u;
        }
        EXPECT_TRUE(observer.empty.empty() && observer.failed.empty()) << c.name;
    }
}

TEST(AnalyseBuffer, CountsCodeUnitsNotCodePoints) {
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    const Bytes data = {0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98, 0x80, 'a', '\r', 'b', '\r', 'c', '\n'};
    ASSERT_TRUE(analyser.AnalyseBuffer(asSpan(data)));
    const CharCountTable& counts = *state.CharCounts;
    EXPECT_EQ(counts[0xD83D], 1);
    EXPECT_EQ(counts[0xDE00], 1);
    EXPECT_EQ(counts[13], 2);
    EXPECT_EQ(counts[10], 1);
    EXPECT_EQ(state.CrLfCount, 0);
}

TEST(AnalyseBuffer, AccumulatesOverManyBuffersLikeReference) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<std::size_t> size(0, 400);
    const std::vector<Bytes> signatures = {{0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}, {0xFE, 0xFF}, {}};
    const std::vector<std::u16string> markers = {u"", u"#", u"\r\n", u"\u00E9", u"ab"};
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    reference::State expected;
    for (int round = 0; round < 1500; ++round) {
        const std::u16string& marker = markers[static_cast<std::size_t>(round) % markers.size()];
        analyser.setHeaderToCut(marker);
        Bytes data = signatures[static_cast<std::size_t>(round / 5) % signatures.size()];
        const Bytes body = round % 3 == 0 ? testing::randomBytes(rng, size(rng), 300)
                                          : testing::randomUtf8(rng, size(rng), 100);
        data.insert(data.end(), body.begin(), body.end());
        if (round % 50 == 0) {
            data.resize(data.size() % 3);  // too short from time to time
        }
        ASSERT_TRUE(analyser.AnalyseBuffer(asSpan(data)));
        reference::analyseBuffer(data, marker, expected);
    }
    expectSameState(state, expected, "after all rounds");
}

struct CutCase {
    const char* name;
    std::u16string text;
    std::u16string marker;
    std::u16string expected;
};

TEST(CutHeader, CutsFromSecondUnitOfFirstOccurrence) {
    const std::vector<CutCase> cases = {
        {"empty marker", u"a#b", u"", u"a#b"},
        {"not found", u"abc", u"#", u"abc"},
        {"marker longer than text", u"ab", u"abc", u"ab"},
        {"partial marker at end", u"xxEN", u"END", u"xxEN"},
        {"one unit", u"title#body", u"#", u"body"},
        {"three units", u"headEND text", u"END", u"ND text"},
        {"first of overlapping", u"aaab", u"aa", u"aab"},
        {"surrogate pair marker", u"x\U0001F600y", u"\U0001F600", u"\xDE00y"},
        {"empty text", u"", u"#", u""},
    };
    for (const CutCase& c : cases) {
        std::u16string text = c.text;
        cutHeader(text, c.marker);
        EXPECT_EQ(text, c.expected) << c.name;
        EXPECT_EQ(reference::cutHeader(c.text, c.marker), c.expected) << "reference: " << c.name;
    }
}

// Texts rich in CR and LF, so pairs fall at every position of the four-unit steps.
std::u16string randomLineText(std::mt19937& rng, std::size_t n) {
    static const std::u16string alphabet = u"\r\n\r\n\ra\n\u000D\u0A0D\u0D0A\uFFFF\u0000";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::u16string text(n, u' ');
    for (auto& u : text) {
        u = alphabet[pick(rng)];
    }
    return text;
}

TEST(CountCrLf, MatchesReferenceAtEveryLength) {
    std::mt19937 rng(13);
    for (std::size_t n = 0; n < 70; ++n) {
        for (int round = 0; round < 40; ++round) {
            const std::u16string text = randomLineText(rng, n);
            ASSERT_EQ(countCrLf(text), reference::crLfPairs(text))
                << "length " << n << ": " << hexUnits(text);
        }
    }
}

// Long enough for the eight-unit sums to be emptied several times on the way.
TEST(CountCrLf, LongTextMatchesReference) {
    std::mt19937 rng(14);
    const std::u16string text = randomLineText(rng, 600001);
    EXPECT_EQ(countCrLf(text), reference::crLfPairs(text));
    const std::u16string pairs = [] {
        std::u16string t;
        for (int i = 0; i < 300000; ++i) {
            t += u"\r\n";
        }
        return t;
    }();
    EXPECT_EQ(countCrLf(pairs), 300000);
    EXPECT_EQ(countCrLf(pairs.substr(1)), 299999);
}

TEST(CountCodeUnits, AddsToExistingCountsLikeReference) {
    std::mt19937 rng(1);
    CharCountTable counts{};
    reference::State expected;
    for (int round = 0; round < 200; ++round) {
        std::u16string text = randomLineText(rng, static_cast<std::size_t>(round));
        std::mt19937 unitRng(static_cast<unsigned>(round));
        std::uniform_int_distribution<unsigned> unit(0, 0xFFFF);
        for (std::size_t i = 0; i < text.size(); i += 3) {
            text[i] = static_cast<char16_t>(unit(unitRng));
        }
        const std::int64_t before = expected.crLf;
        reference::count(text, expected);
        ASSERT_EQ(countCodeUnits(text, counts), expected.crLf - before) << "round " << round;
    }
    for (std::size_t u = 0; u < 65536; ++u) {
        ASSERT_EQ(counts[u], expected.counts[u]) << "unit " << u;
    }
}

struct CounterCase {
    const char* name;
    std::size_t flushEvery;
    std::size_t interleaveFrom;
    std::size_t length;
    bool oneCharacter;
};

// The lane tables and their flushes, made to happen on small texts by lowering the limits.
TEST(CodeUnitCounter, LanesAndFlushesMatchReference) {
    const std::vector<CounterCase> cases = {
        {"direct below threshold", CodeUnitCounter::kDefaultFlushEvery, 100, 99, false},
        {"lanes at threshold", CodeUnitCounter::kDefaultFlushEvery, 100, 100, false},
        {"lanes with tail", CodeUnitCounter::kDefaultFlushEvery, 10, 1003, false},
        {"flush every 4", 4, 1, 1001, false},
        {"flush every 7", 7, 1, 1000, false},
        {"flush every 1000 one character", 1000, 1, 100001, true},
        {"default limits one character", CodeUnitCounter::kDefaultFlushEvery,
         CodeUnitCounter::kInterleaveFrom, CodeUnitCounter::kInterleaveFrom + 3, true},
        {"default limits mixed", CodeUnitCounter::kDefaultFlushEvery,
         CodeUnitCounter::kInterleaveFrom, CodeUnitCounter::kInterleaveFrom + 5, false},
    };
    std::mt19937 rng(77);
    for (const CounterCase& c : cases) {
        CodeUnitCounter counter(c.flushEvery, c.interleaveFrom);
        CharCountTable counts{};
        counts[u'a'] = 5;  // counts already there stay and are added to
        reference::State expected;
        expected.counts[u'a'] = 5;
        // Two texts through the same counter: the lanes must be clean for the second.
        for (int pass = 0; pass < 2; ++pass) {
            const std::u16string text =
                c.oneCharacter ? std::u16string(c.length, u'\r') : randomLineText(rng, c.length);
            const std::int64_t before = expected.crLf;
            reference::count(text, expected);
            EXPECT_EQ(counter.count(text, counts), expected.crLf - before) << c.name;
        }
        for (std::size_t u = 0; u < 65536; ++u) {
            if (counts[u] != expected.counts[u]) {
                ADD_FAILURE() << c.name << ": unit " << u << " counted " << counts[u]
                              << ", expected " << expected.counts[u];
                break;
            }
        }
    }
}

// Two threads each count one half; a CR LF pair lying across the middle counts once.
TEST(CodeUnitCounter, TwoThreadSplitMatchesReference) {
    struct SplitCase {
        const char* name;
        std::size_t flushEvery;
        std::size_t length;
        std::size_t crAt;  // a CR here and an LF after it (npos: none placed)
    };
    constexpr std::size_t kNone = std::u16string::npos;
    const std::vector<SplitCase> cases = {
        {"CR LF across the middle, even length", CodeUnitCounter::kDefaultFlushEvery, 1000, 499},
        {"CR LF across the middle, odd length", CodeUnitCounter::kDefaultFlushEvery, 1001, 499},
        {"CR at the middle", CodeUnitCounter::kDefaultFlushEvery, 1000, 500},
        {"CR LF just before the middle", CodeUnitCounter::kDefaultFlushEvery, 1000, 498},
        {"no CR at all", CodeUnitCounter::kDefaultFlushEvery, 1000, kNone},
        {"halves flushed several times", 8, 1003, 500},
        {"shortest split", CodeUnitCounter::kDefaultFlushEvery, 2, 0},
    };
    std::mt19937 rng(91);
    for (const SplitCase& c : cases) {
        CodeUnitCounter counter(c.flushEvery, 1, 2);
        CharCountTable counts{};
        counts[u'\n'] = 3;  // counts already there stay and are added to
        reference::State expected;
        expected.counts[u'\n'] = 3;
        for (int pass = 0; pass < 2; ++pass) {
            std::u16string text = randomLineText(rng, c.length);
            // Only the placed pair may be a CR LF: the other CRs are kept away from LFs.
            std::replace(text.begin(), text.end(), u'\r', u'x');
            if (c.crAt != kNone) {
                text[c.crAt] = u'\r';
                text[c.crAt + 1] = u'\n';
                if (text.size() - 1 > c.crAt + 1) {
                    text[text.size() - 1] = u'\r';  // a lone CR at the end
                }
            }
            const std::int64_t before = expected.crLf;
            reference::count(text, expected);
            EXPECT_EQ(counter.count(text, counts), expected.crLf - before) << c.name;
            if (c.crAt != kNone) {
                EXPECT_EQ(expected.crLf - before, 1) << c.name;
            }
        }
        for (std::size_t u = 0; u < 65536; ++u) {
            if (counts[u] != expected.counts[u]) {
                ADD_FAILURE() << c.name << ": unit " << u << " counted " << counts[u]
                              << ", expected " << expected.counts[u];
                break;
            }
        }
    }
}

// The default limits: a text long enough to be split, mostly CR LF.
TEST(CodeUnitCounter, DefaultSplitOfALongTextMatchesReference) {
    std::u16string text;
    text.reserve(CodeUnitCounter::kSplitFrom + 1);
    while (text.size() < CodeUnitCounter::kSplitFrom + 1) {
        text += u"ab\r\n\u00e9\r";
    }
    text.resize(CodeUnitCounter::kSplitFrom + 1);
    CodeUnitCounter counter;
    CharCountTable counts{};
    reference::State expected;
    reference::count(text, expected);
    EXPECT_EQ(counter.count(text, counts), expected.crLf);
    for (std::size_t u = 0; u < 65536; ++u) {
        ASSERT_EQ(counts[u], expected.counts[u]) << "unit " << u;
    }
}

// ---- files ----

TEST(AnalyseFile, ReadsAFileAndCountsIt) {
    TempDir dir;
    const fs::path file = dir.write("a.txt", {0xEF, 0xBB, 0xBF, 'h', 'i', '\r', '\n'});
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    EXPECT_TRUE(analyser.AnalyseFile(file));
    EXPECT_EQ(state.SourceText, u"hi\r\n");
    EXPECT_EQ(state.Utf8FileCount, 1);
    EXPECT_EQ(state.CrLfCount, 1);
    EXPECT_EQ((*state.CharCounts)[u'h'], 1);
    EXPECT_TRUE(observer.failed.empty());
}

struct FileCase {
    const char* name;
    bool expectedResult;
    std::size_t emptyMessages;
    std::size_t failedMessages;
};

TEST(AnalyseFile, FilesThatCannotBeRead) {
    TempDir dir;
    const fs::path missing = dir.path() / "missing.txt";
    const fs::path missingInFile = dir.write("plain.txt", {'a', 'b', 'c'}) / "x.txt";
    const fs::path empty = dir.write("empty.txt", {});
    const fs::path folder = dir.path() / "folder.txt";
    fs::create_directory(folder);
    const fs::path fifo = dir.path() / "fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path dangling = dir.path() / "dangling.txt";
    fs::create_symlink(dir.path() / "nowhere", dangling);

    const std::vector<std::pair<fs::path, FileCase>> cases = {
        {missing, {"missing file", false, 0, 0}},
        {missingInFile, {"path through a file", false, 0, 0}},
        {dangling, {"dangling link", false, 0, 0}},
        {empty, {"empty file", false, 1, 0}},
        {folder, {"folder", false, 0, 1}},
        {fifo, {"fifo without writer", false, 0, 1}},
        {"/dev/null", {"character device", false, 0, 1}},
    };
    for (const auto& [path, c] : cases) {
        AnalysisState state;
        RecordingObserver observer;
        TextAnalyser analyser(state, observer);
        EXPECT_EQ(analyser.AnalyseFile(path), c.expectedResult) << c.name;
        EXPECT_EQ(observer.empty.size(), c.emptyMessages) << c.name;
        EXPECT_EQ(observer.failed.size(), c.failedMessages) << c.name;
        if (!observer.failed.empty()) {
            EXPECT_EQ(observer.failed.front(), path) << c.name;
            EXPECT_FALSE(observer.reasons.front().empty()) << c.name;
        }
        EXPECT_TRUE(state.SourceText.empty()) << c.name;
        EXPECT_TRUE(std::all_of(state.CharCounts->begin(), state.CharCounts->end(),
                                [](std::int64_t n) { return n == 0; }))
            << c.name;
    }
}

TEST(AnalyseFile, UnreadableFileIsReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root: permissions do not stop root from reading";
    }
    TempDir dir;
    const fs::path file = dir.write("locked.txt", {'a', 'b', 'c'});
    fs::permissions(file, fs::perms::none);
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    EXPECT_FALSE(analyser.AnalyseFile(file));
    ASSERT_EQ(observer.failed.size(), 1u);
    EXPECT_EQ(observer.failed.front(), file);
}

// A regular file whose read fails: the process's own memory file cannot be read at offset 0.
TEST(AnalyseFile, ReadErrorIsReported) {
    const fs::path file = "/proc/self/mem";
    if (!fs::exists(file)) {
        GTEST_SKIP() << "no /proc";
    }
    AnalysisState state;
    state.SourceText = u"previous";
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    EXPECT_FALSE(analyser.AnalyseFile(file));
    ASSERT_EQ(observer.failed.size(), 1u);
    EXPECT_EQ(observer.reasons.front(), std::generic_category().message(EIO));
    EXPECT_EQ(state.SourceText, u"previous");
    EXPECT_TRUE(observer.empty.empty());
}

// Sparse files far larger than memory, in each encoding: the text ends at the first zero byte
// (or unit) of the hole, so only that much is read and the counts are exact. Reading on to the
// end, or taking a buffer for the whole file, would never finish.
TEST(AnalyseFile, SparseFileOfTerabytesEndsAtItsHole) {
    constexpr std::uintmax_t kHuge = std::uintmax_t{8} << 40;
    struct Case {
        const char* name;
        Bytes bytes;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {"ansi", {'a', 'b', '\r', '\n'}, u"ab\r\n"},
        {"utf8", {0xEF, 0xBB, 0xBF, 'x', 0xC3, 0xA9}, u"x\u00E9"},
        {"utf16le", {0xFF, 0xFE, 'q', 0, 0x3D, 0xD8, 0x00, 0xDE}, u"q\U0001F600"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.write(std::string(c.name) + ".txt", c.bytes);
        std::error_code error;
        fs::resize_file(file, kHuge, error);
        if (error) {
            GTEST_SKIP() << "the file system has no room for a sparse 8 TiB file: "
                         << error.message();
        }
        AnalysisState state;
        RecordingObserver observer;
        TextAnalyser analyser(state, observer);
        ASSERT_TRUE(analyser.AnalyseFile(file));
        EXPECT_TRUE(observer.failed.empty());
        EXPECT_EQ(state.SourceText, c.text);
        EXPECT_EQ(state.SourceTextLength, static_cast<std::int64_t>(c.text.size()));
        std::int64_t total = 0;
        for (const std::int64_t n : *state.CharCounts) {
            total += n;
        }
        EXPECT_EQ(total, static_cast<std::int64_t>(c.text.size()));
        for (const char16_t unit : c.text) {
            EXPECT_GE((*state.CharCounts)[unit], 1) << hexUnits(std::u16string(1, unit));
        }
        EXPECT_EQ(state.CrLfCount, c.text.find(u"\r\n") == std::u16string::npos ? 0 : 1);
    }
}

// A FIFO with a writer still must not be read: it could block the run for ever.
TEST(AnalyseFile, FifoWithWriterIsRefused) {
    TempDir dir;
    const fs::path fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "abc", 3), 3);
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    EXPECT_FALSE(analyser.AnalyseFile(fifo));
    EXPECT_EQ(observer.failed.size(), 1u);
    ::close(writer);
    ::close(reader);
}

// The read buffer is reused: a short file after a long one must not see the long one's bytes,
// and a file bigger than the buffer must be read whole.
TEST(AnalyseFile, SequenceOfFilesMatchesReference) {
    TempDir dir;
    std::mt19937 rng(5);
    const std::vector<std::size_t> sizes = {5000, 3, 100000, 17, 4, 70000, 1, 250000, 6};
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    analyser.setHeaderToCut(u"#");
    reference::State expected;
    int index = 0;
    for (const std::size_t size : sizes) {
        Bytes data = {0xEF, 0xBB, 0xBF};
        const Bytes body = testing::randomUtf8(rng, size, 1000);
        data.insert(data.end(), body.begin(), body.end());
        data.resize(size);
        const fs::path file = dir.write("f" + std::to_string(index++) + ".txt", data);
        EXPECT_TRUE(analyser.AnalyseFile(file)) << file;
        reference::analyseBuffer(data, u"#", expected);
        expectSameState(state, expected, file.filename().string());
    }
    EXPECT_TRUE(observer.failed.empty());
}

// Files whose size is not known in advance (reported as 0) are read to their end.
TEST(AnalyseFile, FileLongerThanItsReportedSize) {
    const fs::path file = "/proc/self/status";
    if (!fs::exists(file)) {
        GTEST_SKIP() << "no /proc";
    }
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    EXPECT_TRUE(analyser.AnalyseFile(file));
    EXPECT_NE(state.SourceText.find(u"Name:"), std::u16string::npos);
    EXPECT_GT((*state.CharCounts)[u'\n'], 3);
}

TEST(AnalyseFile, NameThatIsNotUtf8) {
    TempDir dir;
    const fs::path file = dir.write(std::string("caf\xE9.txt"), {'a', 'b', 'c'});
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    EXPECT_TRUE(analyser.AnalyseFile(file));
    EXPECT_EQ(state.SourceText, u"abc");
}

// ---- files read piece by piece ----

// A file read in small pieces must give exactly what the whole file gives as one buffer.
void expectPiecesMatchWholeBuffer(const Bytes& data, std::size_t pieceSize,
                                  const std::u16string& marker, const std::string& name) {
    TempDir dir;
    const fs::path file = dir.write("piece.txt", data);

    AnalysisState whole;
    RecordingObserver wholeObserver;
    TextAnalyser wholeAnalyser(whole, wholeObserver);
    wholeAnalyser.setHeaderToCut(marker);
    ASSERT_TRUE(wholeAnalyser.AnalyseBuffer(asSpan(data))) << name;

    AnalysisState pieces;
    RecordingObserver observer;
    TextAnalyser analyser(pieces, observer);
    analyser.setHeaderToCut(marker);
    analyser.setReadPieceSize(pieceSize);
    ASSERT_TRUE(analyser.AnalyseFile(file)) << name;

    EXPECT_TRUE(observer.failed.empty()) << name;
    ASSERT_EQ(hexUnits(pieces.SourceText), hexUnits(whole.SourceText))
        << name << ", piece size " << pieceSize;
    EXPECT_EQ(pieces.CrLfCount, whole.CrLfCount) << name;
    EXPECT_EQ(pieces.Utf8FileCount, whole.Utf8FileCount) << name;
    EXPECT_EQ(pieces.UnicodeFileCount, whole.UnicodeFileCount) << name;
    EXPECT_EQ(pieces.BigEndianFileCount, whole.BigEndianFileCount) << name;
    EXPECT_TRUE(*pieces.CharCounts == *whole.CharCounts) << name;

    // And both agree with the reference.
    reference::State expected;
    reference::analyseBuffer(data, marker, expected);
    EXPECT_EQ(hexUnits(pieces.SourceText), hexUnits(expected.sourceText)) << name;
}

Bytes withPrefix(std::initializer_list<std::uint8_t> prefix, const Bytes& body) {
    Bytes data(prefix);
    data.insert(data.end(), body.begin(), body.end());
    return data;
}

struct PieceCase {
    const char* name;
    Bytes data;
    std::u16string marker;
};

// Every piece size from 4 to 23 puts each interesting byte of these texts on a piece border
// (the signature counts as part of the first piece).
TEST(AnalyseFileInPieces, SameAsWholeBufferAtEveryBorder) {
    const Bytes mixed = {'a',  0xC3, 0xA9, 'b',  0xE2, 0x82, 0xAC, 'c',  0xF0, 0x9F, 0x98,
                         0x80, '\r', '\n', 0xE6, 0x98, 0xA5, 'd',  0xCE, 0xB1, 'e',  'f'};
    const Bytes malformed = {'a',  0xE0, 0xA0, 'b',  0xF0, 0x90, 0x80, 'c',  0x80, 0xBF,
                             0xED, 0xA0, 0x80, 'd',  0xF4, 0x90, 0x80, 0x80, 0xC0, 0xAF,
                             0xC2, 'e',  0xE2, 0x82, 0xF5, 'f',  0xFF, 0xF0, 0x9F, 0x98};
    const std::vector<PieceCase> cases = {
        {"UTF-8 multi-byte", withPrefix({0xEF, 0xBB, 0xBF}, mixed), u""},
        {"UTF-8 malformed", withPrefix({0xEF, 0xBB, 0xBF}, malformed), u""},
        {"UTF-8 truncated lead at the end", withPrefix({0xEF, 0xBB, 0xBF, 'x', 'y'}, {0xF0, 0x9F}),
         u""},
        {"UTF-8 zero byte inside", withPrefix({0xEF, 0xBB, 0xBF, 'a', 0xE2, 0x82, 0}, mixed), u""},
        {"UTF-8 header cut", withPrefix({0xEF, 0xBB, 0xBF}, mixed), u"\u20ACc"},
        {"UTF-16 LE odd length",
         {0xFF, 0xFE, 'a', 0, 0x3D, 0xD8, 0x00, 0xDE, '\r', 0, '\n', 0, 0xAC, 0x20, 'b', 0, 'c'},
         u""},
        {"UTF-16 BE zero unit",
         {0xFE, 0xFF, 0, 'a', 0xD8, 0x3D, 0xDE, 0x00, 0x20, 0xAC, 0, 0, 0, 'b', 0, 'c'},
         u""},
        {"UTF-16 LE zero byte pairs across units",
         {0xFF, 0xFE, 'a', 0, 0, 'b', 'c', 0, 0, 0x20},
         u""},
        {"ANSI", {'a', 0x80, 0x81, 0x9F, 0xE9, '\r', '\n', 'b', 0xFF, 'c', 0, 'd'}, u""},
        {"ANSI header cut", {'a', 'b', '#', 'c', 0x80, 'd', 'e', '#', 'f', 'g', 'h'}, u"#"},
    };
    for (const PieceCase& c : cases) {
        for (std::size_t piece = 4; piece <= 23; ++piece) {
            expectPiecesMatchWholeBuffer(c.data, piece, c.marker, c.name);
        }
    }
}

// Random, partly corrupt texts of every encoding through random piece sizes.
TEST(AnalyseFileInPieces, RandomTextsMatchWholeBuffer) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<std::size_t> pieceSize(4, 64);
    std::uniform_int_distribution<std::size_t> length(0, 600);
    for (int round = 0; round < 120; ++round) {
        Bytes data;
        switch (round % 4) {
            case 0:
                data = withPrefix({0xEF, 0xBB, 0xBF}, testing::randomUtf8(rng, length(rng), 7));
                break;
            case 1:
                data = withPrefix({0xFF, 0xFE}, testing::randomBytes(rng, length(rng), 300));
                break;
            case 2:
                data = withPrefix({0xFE, 0xFF}, testing::randomBytes(rng, length(rng), 300));
                break;
            default:
                data = testing::randomBytes(rng, length(rng), 400);
                break;
        }
        expectPiecesMatchWholeBuffer(data, pieceSize(rng), u"", "round " + std::to_string(round));
    }
}

// A file whose length is a whole number of pieces ends with an empty read.
TEST(AnalyseFileInPieces, FileOfExactlyWholePieces) {
    for (std::size_t pieces = 1; pieces <= 3; ++pieces) {
        Bytes data = {0xEF, 0xBB, 0xBF};
        while (data.size() < 8 * pieces - 1) {
            data.push_back('a');
        }
        data.push_back(0xC3);  // a lead byte as the very last byte of the file
        expectPiecesMatchWholeBuffer(data, 8, u"", std::to_string(pieces) + " pieces");
    }
}

// The piece buffer is reused: a second, shorter file after a long one is not mixed with it.
TEST(AnalyseFileInPieces, SecondFileReplacesTheFirstText) {
    TempDir dir;
    const fs::path longFile = dir.write("long.txt", {0xEF, 0xBB, 0xBF, 'a', 'b', 'c', 'd', 'e', 'f',
                                                     'g', 'h', 'i', 0xE2, 0x82, 0xAC});
    const fs::path shortFile = dir.write("short.txt", {0xEF, 0xBB, 0xBF, 'x', 'y'});
    AnalysisState state;
    RecordingObserver observer;
    TextAnalyser analyser(state, observer);
    analyser.setReadPieceSize(4);
    ASSERT_TRUE(analyser.AnalyseFile(longFile));
    EXPECT_EQ(state.SourceText, u"abcdefghi\u20AC");
    ASSERT_TRUE(analyser.AnalyseFile(shortFile));
    EXPECT_EQ(state.SourceText, u"xy");
    EXPECT_EQ((*state.CharCounts)[u'a'], 1);
    EXPECT_EQ((*state.CharCounts)[u'x'], 1);
    EXPECT_EQ((*state.CharCounts)[0x20AC], 1);
    EXPECT_EQ(state.Utf8FileCount, 2);
}

}  // namespace
}  // namespace runemeter
