#include "profile/long_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "profile/random_text.h"
#include "profile/text_analyser.h"
#include "profile/utf8_count.h"
#include "reference/reference_text.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using testing::asSpan;
using testing::Bytes;
using testing::hexUnits;

// UTF-8 made of pieces that stress the boundaries of a well-formed check: the smallest and
// largest character of each length, the leads with a narrowed second byte (E0, ED, F0, F4)
// and their forbidden neighbours, overlong and out-of-range leads, lone continuation bytes,
// characters cut short, and runs of ASCII and of one repeated byte.
Bytes hostileUtf8(std::mt19937& rng, std::size_t n) {
    static const std::vector<Bytes> pieces = {
        {'a'},
        {'\r', '\n'},
        {' ', 'x', 'y', 'z', '.', ',', '\r'},
        {0xC2, 0x80},
        {0xDF, 0xBF},
        {0xD0, 0x96},
        {0xE0, 0xA0, 0x80},
        {0xE0, 0xBF, 0xBF},
        {0xE0, 0x9F, 0xBF},  // overlong
        {0xED, 0x9F, 0xBF},
        {0xED, 0xA0, 0x80},  // a surrogate
        {0xE6, 0x98, 0xA5},
        {0xEF, 0xBF, 0xBF},
        {0xF0, 0x90, 0x80, 0x80},
        {0xF0, 0x8F, 0xBF, 0xBF},  // overlong
        {0xF0, 0x9F, 0x98, 0x80},
        {0xF4, 0x8F, 0xBF, 0xBF},
        {0xF4, 0x90, 0x80, 0x80},  // above 10FFFF
        {0xF5, 0x80},
        {0xFF},
        {0xC0, 0xAF},
        {0xC1, 0xBF},
        {0x80},
        {0xBF, 0xBF, 0xBF, 0xBF, 0xBF},
        {0xE2, 0x82},        // cut short
        {0xF0, 0x9F, 0x98},  // cut short
        {0xC3},              // cut short
    };
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() + 5);
    std::uniform_int_distribution<int> run(1, 80);
    Bytes out;
    while (out.size() < n) {
        const std::size_t k = pick(rng);
        if (k >= pieces.size()) {
            // Plain text between the oddities, sometimes a long run of one character.
            const Bytes text = k == pieces.size() ? Bytes(static_cast<std::size_t>(run(rng)), 'e')
                                                  : testing::randomUtf8(rng, 24);
            out.insert(out.end(), text.begin(), text.end());
        } else {
            out.insert(out.end(), pieces[k].begin(), pieces[k].end());
        }
    }
    return out;
}

std::vector<Utf8Counting> availableWays() {
    std::vector<Utf8Counting> ways;
    for (const Utf8Counting way :
         {Utf8Counting::Scalar, Utf8Counting::Avx2, Utf8Counting::Avx512}) {
        if (utf8CountingAvailable(way)) {
            ways.push_back(way);
        }
    }
    return ways;
}

const char* wayName(Utf8Counting way) {
    switch (way) {
        case Utf8Counting::Best:
            return "best";
        case Utf8Counting::Scalar:
            return "scalar";
        case Utf8Counting::Avx2:
            return "avx2";
        case Utf8Counting::Avx512:
            return "avx512";
    }
    return "?";
}

// The counts the reference decoder gives, and those countUtf8Units gives (entry 0 dropped).
std::vector<std::int64_t> referenceCounts(const Bytes& bytes) {
    std::vector<std::int64_t> counts(65536, 0);
    for (const char16_t unit : reference::decodeUtf8(bytes)) {
        ++counts[unit];
    }
    return counts;
}

std::vector<std::int64_t> laneCounts(const Bytes& bytes, Utf8Counting way) {
    auto lanes = std::make_unique<LaneTables>();
    countUtf8Units(asSpan(bytes), *lanes, way);
    std::vector<std::int64_t> counts(65536, 0);
    for (std::size_t c = 1; c < counts.size(); ++c) {
        for (const auto& lane : *lanes) {
            counts[c] += lane[c];
        }
    }
    return counts;
}

std::string firstDifference(const std::vector<std::int64_t>& got,
                            const std::vector<std::int64_t>& expected) {
    for (std::size_t c = 0; c < got.size(); ++c) {
        if (got[c] != expected[c]) {
            return "U+" + std::to_string(c) + ": " + std::to_string(got[c]) + " instead of " +
                   std::to_string(expected[c]);
        }
    }
    return "none";
}

// Every way of counting agrees with the reference decoder on text that is well-formed, on text
// full of ill-formed sequences, and on every start and end offset of the block loop.
TEST(CountUtf8Units, MatchesTheReferenceDecoder) {
    std::mt19937 rng(8080);
    std::uniform_int_distribution<std::size_t> length(0, 700);
    for (int round = 0; round < 600; ++round) {
        Bytes bytes = round % 3 == 0   ? testing::randomUtf8(rng, length(rng))
                      : round % 3 == 1 ? testing::randomUtf8(rng, length(rng), 40)
                                       : hostileUtf8(rng, length(rng));
        std::replace(bytes.begin(), bytes.end(), std::uint8_t{0}, std::uint8_t{'0'});
        const std::vector<std::int64_t> expected = referenceCounts(bytes);
        for (const Utf8Counting way : availableWays()) {
            const std::vector<std::int64_t> got = laneCounts(bytes, way);
            ASSERT_TRUE(got == expected) << wayName(way) << ", round " << round
                                         << ", first difference " << firstDifference(got, expected);
        }
    }
}

// Whatever follows a text in memory is never read into it: the block loop looks a little ahead,
// but only within the bytes it was given.
TEST(CountUtf8Units, NeverLooksPastTheEnd) {
    for (const Utf8Counting way : availableWays()) {
        for (std::size_t n = 0; n <= 80; ++n) {
            Bytes bytes(n, 'b');
            if (n > 0) {
                bytes[n - 1] = 0xE2;  // a character begun in the last byte
            }
            // The vector holds exactly n bytes: the address sanitizer catches a look past them.
            const std::vector<std::int64_t> got = laneCounts(bytes, way);
            EXPECT_EQ(got[u'b'], n == 0 ? 0 : static_cast<std::int64_t>(n - 1)) << n;
            EXPECT_EQ(got[0xFFFD], n == 0 ? 0 : 1) << n;
        }
    }
}

TEST(CountCrLfBytes, CountsPairsAnywhere) {
    struct Row {
        const char* name;
        std::string text;
        std::int64_t pairs;
    };
    const std::vector<Row> rows = {
        {"empty", "", 0},
        {"lone CR and LF", "\r \n \n\r", 0},
        {"pair at the start and end", "\r\nabc\r\n", 2},
        {"CR CR LF", "\r\r\n", 1},
        {"across a 16-byte block", std::string(15, 'x') + "\r\n" + std::string(20, 'y'), 1},
        {"many",
         [] {
             std::string s;
             for (int i = 0; i < 100; ++i) {
                 s += "ab\r\n";
             }
             return s;
         }(),
         100},
    };
    for (const Row& row : rows) {
        const Bytes bytes(row.text.begin(), row.text.end());
        EXPECT_EQ(countCrLfBytes(asSpan(bytes)), row.pairs) << row.name;
    }
}

// ---- long texts through the analyser ----

struct LongSetting {
    std::size_t piece;
    std::uint64_t splitFrom;
};

// Analyses data through the long-text path with the given setting, from memory.
void analyseLong(const Bytes& data, const LongSetting& setting, Utf8Counting way,
                 AnalysisState& state) {
    struct Quiet : AnalysisObserver {
        void fileIsEmpty(const std::filesystem::path&) override {}
        void failedToRead(const std::filesystem::path&, const std::string&) override {}
    } observer;
    TextAnalyser analyser(state, observer);
    analyser.setReadPieceSize(4);  // every buffer of 4 bytes or more is long
    analyser.setLongTextCounting(setting.piece, setting.splitFrom, way);
    ASSERT_TRUE(analyser.AnalyseBuffer(asSpan(data)));
}

Bytes withSignature(std::initializer_list<std::uint8_t> signature, const Bytes& body) {
    Bytes data(signature);
    data.insert(data.end(), body.begin(), body.end());
    return data;
}

// Counted piece by piece, in one stream or two halves, a text gives exactly the counts, CR LF
// pairs, length and beginning that decoding it whole gives.
TEST(LongText, MatchesDecodingTheWholeText) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<std::size_t> length(3, 900);
    const std::vector<LongSetting> settings = {
        {8, 1'000'000}, {8, 2}, {13, 3}, {64, 50}, {1024, 2}};
    for (int round = 0; round < 160; ++round) {
        Bytes data;
        switch (round % 5) {
            case 0:
                data = withSignature({0xEF, 0xBB, 0xBF}, hostileUtf8(rng, length(rng)));
                break;
            case 1:
                data = withSignature({0xEF, 0xBB, 0xBF}, testing::randomUtf8(rng, length(rng), 9));
                break;
            case 2:
                data = withSignature({0xFF, 0xFE}, testing::randomBytes(rng, length(rng), 500));
                break;
            case 3:
                data = withSignature({0xFE, 0xFF}, testing::randomBytes(rng, length(rng), 500));
                break;
            default:
                data = testing::randomBytes(rng, length(rng), 600);
                break;
        }
        reference::State expected;
        reference::analyseBuffer(data, u"", expected);
        for (const LongSetting& setting : settings) {
            for (const Utf8Counting way : availableWays()) {
                AnalysisState state;
                analyseLong(data, setting, way, state);
                const std::string where = "round " + std::to_string(round) + ", piece " +
                                          std::to_string(setting.piece) + ", split from " +
                                          std::to_string(setting.splitFrom) + ", " + wayName(way);
                ASSERT_EQ(hexUnits(state.SourceText), hexUnits(expected.sourceText)) << where;
                EXPECT_EQ(state.SourceTextLength,
                          static_cast<std::int64_t>(expected.sourceText.size()))
                    << where;
                EXPECT_EQ(state.CrLfCount, expected.crLf) << where;
                EXPECT_TRUE(std::equal(state.CharCounts->begin(), state.CharCounts->end(),
                                       expected.counts.begin()))
                    << where;
            }
        }
    }
}

// A text longer than what is kept: the counts cover all of it, the kept beginning is its first
// units and never ends between the halves of a surrogate pair.
TEST(LongText, KeepsOnlyTheBeginningOfAVeryLongText) {
    struct Row {
        const char* name;
        std::size_t padding;  // ASCII units before the emoji
        std::size_t kept;     // units expected in SourceText
    };
    const std::size_t k = kSourceTextKept;
    const std::vector<Row> rows = {
        {"pair well inside", k - 10, k},
        {"pair across the limit", k - 1, k - 1},
        {"pair ends at the limit", k - 2, k},
    };
    for (const Row& row : rows) {
        Bytes body(row.padding, 'a');
        testing::appendUtf8(body, 0x1F600);
        body.insert(body.end(), 100000, 'z');
        const Bytes data = withSignature({0xEF, 0xBB, 0xBF}, body);
        for (const LongSetting setting : {LongSetting{4096, 1'000'000'000}, LongSetting{4096, 2}}) {
            AnalysisState state;
            analyseLong(data, setting, Utf8Counting::Best, state);
            EXPECT_EQ(state.SourceText.size(), row.kept) << row.name;
            EXPECT_EQ(state.SourceTextLength, static_cast<std::int64_t>(row.padding + 2 + 100000))
                << row.name;
            EXPECT_EQ((*state.CharCounts)[u'a'], static_cast<std::int64_t>(row.padding));
            EXPECT_EQ((*state.CharCounts)[u'z'], 100000);
            EXPECT_EQ((*state.CharCounts)[0xD83D], 1);
            EXPECT_EQ((*state.CharCounts)[0xDE00], 1);
        }
    }
}

// A source that fails part-way: the run's counts stay as they were and the analyser can go on.
TEST(LongText, ReadFailureLeavesTheCountsAlone) {
    class FailingSource : public ByteSource {
    public:
        explicit FailingSource(std::uint64_t failAt) : m_failAt(failAt) {}
        std::span<const std::byte> read(std::uint64_t offset,
                                        std::span<std::byte> buffer) override {
            if (offset >= m_failAt) {
                throw std::system_error(EIO, std::generic_category());
            }
            std::fill(buffer.begin(), buffer.end(), std::byte{'k'});
            return buffer;
        }

    private:
        std::uint64_t m_failAt;
    };
    for (const std::uint64_t splitFrom : {std::uint64_t{2}, std::uint64_t{1} << 40}) {
        for (const std::uint64_t failAt :
             {std::uint64_t{0}, std::uint64_t{100}, std::uint64_t{900}}) {
            LongTextCounter counter(64, splitFrom);
            auto table = std::make_unique<CharCountTable>();
            table->fill(0);
            CharCountTable& counts = *table;
            std::u16string head = u"old";
            FailingSource source(failAt);
            EXPECT_THROW((void)counter.count(source, TextEncoding::Ansi, 0, 1000, counts, head),
                         std::system_error);
            EXPECT_EQ(counts[u'k'], 0) << failAt;
            EXPECT_TRUE(head.empty());

            // The same counter, a good text: nothing of the failed one comes back.
            const Bytes good = {'a', 'b'};
            MemorySource memory(asSpan(good));
            const LongTextResult result =
                counter.count(memory, TextEncoding::Ansi, 0, good.size(), counts, head);
            EXPECT_EQ(result.units, 2);
            EXPECT_EQ(counts[u'k'], 0);
            EXPECT_EQ(counts[u'a'], 1);
            EXPECT_EQ(head, u"ab");
        }
    }
}

// A file that another program shortens or deletes while it is being read: what was read before
// is counted, exactly, and nothing after; a deleted file is still read whole through the open
// descriptor, as the system keeps it.
TEST(LongText, FileChangedWhileItIsRead) {
    struct Row {
        const char* name;
        bool remove;                 // delete instead of shortening
        std::uint64_t shortenTo;     // new length after the first read
        std::int64_t expectedUnits;  // 'a' counted
    };
    constexpr std::size_t kPiece = 4096;
    constexpr std::size_t kLength = 64 * kPiece;
    const std::vector<Row> rows = {
        {"shortened to nothing", false, 0, static_cast<std::int64_t>(kPiece)},
        {"shortened to three pieces", false, 3 * kPiece, static_cast<std::int64_t>(3 * kPiece)},
        {"deleted", true, 0, static_cast<std::int64_t>(kLength)},
    };
    // Changes the file right after the first piece was read.
    class ChangingSource final : public ByteSource {
    public:
        ChangingSource(int fd, std::filesystem::path path, const Row& row)
            : m_file(fd), m_path(std::move(path)), m_row(row) {}
        std::span<const std::byte> read(std::uint64_t offset,
                                        std::span<std::byte> buffer) override {
            const std::span<const std::byte> got = m_file.read(offset, buffer);
            if (!m_changed) {
                m_changed = true;
                if (m_row.remove) {
                    std::filesystem::remove(m_path);
                } else {
                    std::filesystem::resize_file(m_path, m_row.shortenTo);
                }
            }
            return got;
        }

    private:
        FileSource m_file;
        std::filesystem::path m_path;
        const Row& m_row;
        bool m_changed = false;
    };
    for (const Row& row : rows) {
        test::TempDir dir;
        const std::filesystem::path file = dir / "changing.txt";
        test::writeFile(file, std::string(kLength, 'a'));
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ChangingSource source(fd, file, row);
        LongTextCounter counter(kPiece, std::uint64_t{1} << 40);  // one thread: a known order
        auto counts = std::make_unique<CharCountTable>();
        counts->fill(0);
        std::u16string head;
        const LongTextResult result =
            counter.count(source, TextEncoding::Ansi, 0, kLength, *counts, head);
        ::close(fd);
        EXPECT_EQ(result.units, row.expectedUnits) << row.name;
        EXPECT_EQ((*counts)[u'a'], row.expectedUnits) << row.name;
        EXPECT_EQ(head.size(), static_cast<std::size_t>(row.expectedUnits)) << row.name;
    }
}

}  // namespace
}  // namespace runemeter
