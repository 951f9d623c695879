// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/text_analyser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "profile/random_text.h"
#include "profile/zip_member_source.h"
#include "reference/reference_units.h"
#include "support/files.h"
#include "support/run_recorder.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::asSpan;
using testing::Bytes;
using testing::bytesOf;

bool sameCounts(const AnalysisState& state, const reference::State& expected) {
    return std::equal(state.CharCounts->begin(), state.CharCounts->end(), expected.counts.begin());
}

// The analyser's state against the reference's: text, length, counters and every count.
void expectSame(const AnalysisState& state, const reference::State& expected) {
    EXPECT_EQ(state.SourceText, expected.sourceText);
    EXPECT_EQ(state.SourceTextLength, std::ssize(expected.sourceText));
    EXPECT_EQ(state.Utf8FileCount, expected.utf8Files);
    EXPECT_EQ(state.UnicodeFileCount, expected.unicodeFiles);
    EXPECT_EQ(state.BigEndianFileCount, expected.bigEndianFiles);
    EXPECT_EQ(state.CrLfCount, expected.crLf);
    EXPECT_TRUE(sameCounts(state, expected));
}

// An analyser with its own state and a recorder; analyse() reads from memory or the named file.
struct Analyser {
    AnalysisState state;
    test::RunRecorder observer;
    TextAnalyser analyser{state, observer};

    bool analyse(const Bytes& data, const fs::path& file = {}) {
        if (file.empty())
            return analyser.AnalyseBuffer(asSpan(data));
        if (file.extension() == ".txt") {
            test::writeFile(file, std::string(data.begin(), data.end()));
            return analyser.AnalyseFile(file);
        }
        if (file.extension() == ".pipe") {  // through a pipe, as standard input comes
            int fds[2];
            if (::pipe(fds) != 0)
                throw std::system_error(errno, std::generic_category());
            std::thread writer([&] {
                for (std::size_t at = 0; at < data.size();)
                    at += static_cast<std::size_t>(
                        std::max<ssize_t>(::write(fds[1], data.data() + at, data.size() - at), 0));
                ::close(fds[1]);
            });
            DescriptorSource input(fds[0]);
            std::exception_ptr failure;
            bool read = false;
            try {
                read = analyser.AnalyseSequential(input, 0);
            } catch (...) {  // after the writer ended (the texts that fail fit in the pipe)
                failure = std::current_exception();
            }
            writer.join();
            ::close(fds[0]);
            if (failure)
                std::rethrow_exception(failure);
            return read;
        }
        test::writeZip(file, {{"member.txt", std::string(data.begin(), data.end())}});
        TUnZipReader reader;
        ZipReadStatus status = ZipReadStatus::NoSuchMember;
        if (reader.open(file))
            status = reader.openMember(0);
        ZipMemberSource member(reader, status, 0);
        return status == ZipReadStatus::Ok && analyser.AnalyseSequential(member, data.size());
    }
};

// Short texts decoded whole: the text shown after worked out by hand (it was "previous"; fewer
// than 3 bytes are not read), the counters and counts as the reference has them.
TEST(AnalyseBuffer, EdgeCases) {
    struct Row {
        std::string data;
        std::u16string marker, text;
    };
    const std::vector<Row> rows = {
        {"ab", u"", u"previous"},
        {"\xEF\xBB\xBF\xF0\x9F\x98\x80\r\r\n\n\r\n", u"", u"\U0001F600\r\r\n\n\r\n"},
        {"headEND text", u"END", u"ND text"},  // all of the marker but its first unit stays
        {"aaab", u"aa", u"aab"},               // the first of overlapping markers
        {"h\r\n#\r\n", u"#", u"\r\n"},
        {"ab\0#c"s, u"#", u"ab"},
        {"\xFF\xFEx\0#\0y\0"s, u"#", u"y"},
        {"\xEF\xBB\xBFx\xF0\x9F\x98\x80y", u"\U0001F600", u"\xDE00y"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.data));
        Analyser a;
        a.state.SourceText = u"previous";
        a.state.SourceTextLength = 8;
        reference::State expected;
        expected.sourceText = u"previous";
        reference::analyseBuffer(bytesOf(row.data), row.marker, expected);
        EXPECT_EQ(expected.sourceText, row.text);
        a.analyser.setHeaderToCut(row.marker);
        EXPECT_TRUE(a.analyse(bytesOf(row.data)));
        expectSame(a.state, expected);
    }
}

// Text rich in CR and LF, and in units whose low byte is CR or LF.
std::u16string lineText(std::mt19937& rng, std::size_t n) {
    static const std::u16string alphabet = u"\r\n\r\n\ra\n\u0A0D\u0D0A\uFFFF";
    std::u16string text(n, u' ');
    for (char16_t& unit : text)
        unit = alphabet[rng() % alphabet.size()];
    return text;
}

// CR LF pairs among units and bytes at every length (every place in the steps and blocks), and in
// a text long enough for the 16-bit sums of the steps to be emptied on the way.
TEST(CountCrLf, MatchesReferenceAtEveryLength) {
    std::mt19937 rng(13);
    for (std::size_t n = 0; n < 70; ++n) {
        for (int round = 0; round < 40; ++round) {
            const std::u16string text = lineText(rng, n);
            const Bytes bytes(text.begin(), text.end());  // the low byte of each unit
            ASSERT_EQ(countCrLf(text), reference::crLfPairs(text))
                << ::testing::PrintToString(text);
            ASSERT_EQ(countCrLfBytes(asSpan(bytes)),
                      reference::crLfPairs(std::u16string(bytes.begin(), bytes.end())));
        }
    }
    std::u16string pairs;
    for (int i = 0; i < 300000; ++i)
        pairs += u"\r\n";
    EXPECT_EQ(countCrLf(pairs), 300000);
    EXPECT_EQ(countCrLf(std::u16string_view(pairs).substr(1)), 299999);
}

// Lanes and flushes with lowered limits; two texts through one counter, added to counts already
// there. A placed pair is the only one; a lone CR ends the text.
TEST(CodeUnitCounter, LanesAndFlushesMatchReference) {
    constexpr std::size_t kBig = CodeUnitCounter::kDefaultFlushEvery;
    constexpr std::size_t kAny = std::u16string::npos;  // pairs anywhere
    struct Row {
        const char* name;
        std::size_t flushEvery, interleaveFrom, length, crAt;
    };
    const std::vector<Row> rows = {
        {"direct below the threshold", kBig, 100, 99, kAny},
        {"flush every 7, with a tail", 7, 1, 1003, kAny},
        {"flush every 8, pair across a flush", 8, 1, 1003, 503},
    };
    std::mt19937 rng(91);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CodeUnitCounter counter(row.flushEvery, row.interleaveFrom);
        AnalysisState state;
        (*state.CharCounts)[u'\n'] = 3;
        reference::State expected;
        expected.counts[u'\n'] = 3;
        for (int pass = 0; pass < 2; ++pass) {
            std::u16string text = lineText(rng, row.length);
            if (row.crAt != kAny) {
                std::replace(text.begin(), text.end(), u'\r', u'x');
                if (row.crAt < text.size())
                    text.replace(row.crAt, 2, u"\r\n").back() = u'\r';
            }
            const std::int64_t before = expected.crLf;
            reference::count(text, expected);
            EXPECT_EQ(counter.count(text, *state.CharCounts), expected.crLf - before);
        }
        EXPECT_TRUE(sameCounts(state, expected));
    }
}

// Long texts read piece by piece, on one thread and on two, from memory, from a file, from a zip
// member and through a pipe (those two on one thread: read in order), by one analyser: texts of
// every encoding, well-formed and not, moved along 39 units of 'z' so that every byte meets a piece
// border and the middle where the halves meet. The markers of the header cut (each found twice or
// not at all) then lie inside a piece, across a piece border, across the middle and across a
// surrogate pair or UTF-8 sequence cut by a border; some are looked for as bytes, some (U+FFFD, a
// lone surrogate) in decoded units, some can never occur. The last four rows put a CR LF pair
// exactly across the middle (after 19 of 41 units: the CR the last unit of the first half, the LF
// the first of the second), for a byte split (ANSI, UTF-8) and a unit split (UTF-16), and one unit
// before and after it.
TEST(LongText, PiecesAndTheMiddleAtEveryPosition) {
    const std::string utf8 = "\xEF\xBB\xBF", le = "\xFF\xFE", be = "\xFE\xFF";
    const std::string mixed =
        "a\xC3\xA9z\xE2\x82\xAC\x63\xF0\x9F\x98\x80\r\n\xE6\x98\xA5\x64\xCE\xB1\r\nef";
    const std::string broken =
        "\xE0\xA0x\xF0\x90\x80y\x80\xBF\xED\xA0\x80\xF4\x90\x80\x80\xC0\xC2\r\xF5\xF0\x9F";
    const std::string pairs16 = "a\0\0b\x3D\xD8\x00\xDE\r\0\n\0\xAC\x20\r\0\x3D\xD8\x00\xDE"s;
    const struct {
        std::string signature, z, body;
        std::u16string marker = {};
    } rows[] = {
        {utf8, "z", mixed},
        {utf8, "z", mixed + mixed, u"\u20AC"},
        {utf8, "z", mixed + mixed, u"\U0001F600\r"},
        {utf8, "z", mixed + mixed, u"\xDE00"},
        {utf8, "z", mixed, u"\u20ACd"},
        {utf8, "z", broken},
        {utf8, "z", broken + broken, u"\uFFFDy"},
        {utf8, "z", "a\xE2\x82\0\xC3\xA9"s},
        {utf8, "z", "a\xE2\x82\0\xC3\xA9#"s, u"#"},
        {le, "z\0"s, "a\0\0b\x3D\xD8\x00\xDE\r\0\n\0\xAC\x20\r"s},
        {le, "z\0"s, pairs16, u"\U0001F600"},
        {le, "z\0"s, pairs16, u"\xDE00\r"},
        {be, "\0z"s, "\xD8\x3D\xDE\x00\0\r\0\n\0\0\0b"s},
        {be, "\0z"s, "\xD8\x3D\xDE\x00\0\r\0\n\0#\0\n\0\0\0b"s, u"\n"},
        {"", "z", "a\x80\x81\x9F\xE9\r\nb\xFF\r\0d"s},
        {"", "z", "ab#c\x80\r\n#fgh", u"#"},
        {"", "z",
         "ab\x80"
         "c\x80",
         u"\u20AC"
         "c"},
        {"", "z",
         "ab\x80"
         "c\x80",
         u"\u0100"},
        {"", "z", "\r\n"},
        {utf8, "z", "\r\n"},
        {le, "z\0"s, "\r\0\n\0"s},
        {be, "\0z"s, "\0\r\0\n"s},
    };
    test::TempDir dir;
    Analyser a;
    reference::State expected;
    for (const fs::path& file :
         {fs::path(), dir / "long.txt", dir / "long.zip", dir / "long.pipe"}) {
        for (const std::uint64_t splitFrom : {2ULL, 1ULL << 40}) {
            for (std::size_t r = 0; r < std::size(rows); ++r) {
                // One thread without a cut is the first half of two; a member or a pipe has one.
                if (splitFrom != 2 && (rows[r].marker.empty() || file.extension() == ".zip" ||
                                       file.extension() == ".pipe"))
                    continue;
                a.analyser.setHeaderToCut(rows[r].marker);
                a.analyser.setLongTextCounting(8 + r % 13, splitFrom);
                // Read in order, there is no middle: every third place, each with its own piece
                // size.
                const std::size_t step =
                    file.extension() == ".zip" || file.extension() == ".pipe" ? 3 : 1;
                for (std::size_t k = 0; k < 40; k += step) {
                    SCOPED_TRACE("row " + std::to_string(r) + ", after " + std::to_string(k) +
                                 " z, from " +
                                 (file.empty() ? "memory" : file.filename().string()) +
                                 (splitFrom == 2 ? ", two threads" : ", one thread"));
                    std::string text = rows[r].signature;
                    for (std::size_t i = 0; i < 40; ++i)
                        text += i == k ? rows[r].body : rows[r].z;
                    a.analyser.setReadPieceSize(4 + k % 20);
                    ASSERT_TRUE(a.analyse(bytesOf(text), file));
                    reference::analyseBuffer(bytesOf(text), rows[r].marker, expected);
                    expectSame(a.state, expected);
                    if (HasFailure())
                        return;
                }
            }
        }
    }
}

// A text longer than what is kept, decoded whole (a header to cut) and as a long text on one
// thread and two: all is counted (past the kept part CR LF pairs cross 8-byte pieces); the kept
// beginning never ends inside a surrogate pair.
TEST(LongText, KeepsOnlyTheBeginningOfAVeryLongText) {
    const std::size_t limit = kSourceTextKept;
    for (const std::size_t before : {limit - 2, limit - 1}) {  // units before an emoji
        std::u16string whole = std::u16string(before, u'a') + u"\U0001F600";
        for (int i = 0; i < 10000; ++i)
            whole += u"zzzzzzz\r\n";
        reference::State expected;
        reference::count(whole, expected);
        for (const std::uint64_t splitFrom : {0ULL, 2ULL, 1ULL << 40}) {  // 0: a header to cut
            SCOPED_TRACE(std::to_string(before) + " before, split " + std::to_string(splitFrom));
            Analyser a;
            a.analyser.setReadPieceSize(4);
            a.analyser.setLongTextCounting(8, splitFrom);
            a.analyser.setHeaderToCut(splitFrom == 0 ? u"#" : u"");
            ASSERT_TRUE(a.analyse(
                bytesOf((splitFrom == 0 ? "\xEF\xBB\xBF#" : "\xEF\xBB\xBF") + utf16ToUtf8(whole))));
            EXPECT_EQ(a.state.SourceTextLength, std::ssize(whole));
            EXPECT_EQ(a.state.CrLfCount, expected.crLf);
            EXPECT_TRUE(a.state.SourceText == whole.substr(0, before == limit - 1 ? before : limit))
                << a.state.SourceText.size() << " units kept";
            EXPECT_TRUE(sameCounts(a.state, expected));
        }
    }
}

// A file read through a hook that runs before every read: it may fail the read or change the file.
class HookedSource final : public ByteSource {
public:
    HookedSource(int fd, std::function<void(std::uint64_t)> hook)
        : m_file(fd), m_hook(std::move(hook)) {}
    std::span<const std::byte> read(std::uint64_t offset, std::span<std::byte> buffer) override {
        m_hook(offset);
        return m_file.read(offset, buffer);
    }

private:
    FileSource m_file;
    std::function<void(std::uint64_t)> m_hook;
};

// A long file that fails to be read part-way (one thread and two), or is shortened or deleted
// after its first piece: a failure counts and keeps nothing, a change counts what was read (a
// deleted file is read whole through its descriptor); the counter then counts the next text alone.
TEST(LongText, FileFailingOrChangingWhileItIsRead) {
    constexpr std::uint64_t kPiece = 4096, kLength = 64 * kPiece, kOneThread = 1ULL << 40;
    enum Act { Fail, Shorten, Remove };
    struct Row {
        const char* name;
        std::uint64_t splitFrom;
        Act act;
        std::uint64_t at;      // the offset whose read fails, or the new length
        std::int64_t counted;  // -1: the count fails
    };
    const std::vector<Row> rows = {
        {"fails in the first half", 2, Fail, kPiece, -1},
        {"fails in the second half", 2, Fail, kLength - kPiece, -1},
        {"shortened to three pieces", kOneThread, Shorten, 3 * kPiece, 3 * kPiece},
        {"deleted", kOneThread, Remove, 0, kLength},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const fs::path path = dir / "long.txt";
        test::writeFile(path, std::string(kLength, 'a'));
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        bool changed = false;
        HookedSource source(fd, [&](std::uint64_t offset) {
            if (row.act == Fail && offset >= row.at)
                throw std::system_error(EIO, std::generic_category());
            if (row.act != Fail && offset > 0 && !std::exchange(changed, true))
                row.act == Remove ? (void)fs::remove(path) : fs::resize_file(path, row.at);
        });
        LongTextCounter counter(kPiece, row.splitFrom);
        AnalysisState state;
        std::u16string head = u"old";
        const auto count = [&](ByteSource& from, std::uint64_t end) {
            return counter.count(from, TextEncoding::Ansi, 0, end, *state.CharCounts, head).units;
        };
        if (row.counted < 0)
            EXPECT_THROW((void)count(source, kLength), std::system_error);
        else
            EXPECT_EQ(count(source, kLength), row.counted);
        ::close(fd);
        const std::u16string read(static_cast<std::size_t>(std::max(row.counted, 0L)), u'a');
        EXPECT_EQ(head, read);
        const Bytes next = bytesOf("ab");
        MemorySource memory(asSpan(next));
        EXPECT_EQ(count(memory, 2), 2);
        reference::State expected;
        reference::count(read + u"ab", expected);
        EXPECT_TRUE(sameCounts(state, expected));
    }
}

// Files not read: one gone since it was found silently, others (/proc/self/mem fails at offset 0)
// with a message and a reason, the state kept. A /proc file's size is 0: read to its end; a
// sparse file of terabytes ends at the first zero of its hole: only that is read (reading on, or
// a buffer for the whole file, would never end).
TEST(AnalyseFile, WhatIsReadAndWhatIsNot) {
    test::TempDir dir;
    test::writeFile(dir / "plain.txt", "abc");
    test::writeFile(dir / "empty.txt", "");
    fs::create_directory(dir / "folder.txt");
    ASSERT_EQ(::mkfifo((dir / "fifo.txt").c_str(), 0600), 0);
    fs::create_symlink(dir / "loop.txt", dir / "loop.txt");
    const std::pair<fs::path, std::string> rows[] = {
        {dir / "missing.txt", ""},      {dir / "plain.txt/x.txt", ""}, {dir / "empty.txt", "empty"},
        {dir / "folder.txt", "failed"}, {dir / "fifo.txt", "failed"},  {"/dev/null", "failed"},
        {dir / "loop.txt", "failed"},   {"/proc/self/mem", "failed"}};
    for (const auto& [path, message] : rows) {
        SCOPED_TRACE(path.string());
        Analyser a;
        a.state.SourceText = u"previous";
        EXPECT_FALSE(a.analyser.AnalyseFile(path));
        EXPECT_EQ(a.observer.log, message.empty() ? std::vector<std::string>()
                                                  : std::vector{message + " " + path.string()});
        EXPECT_EQ(std::count(a.observer.reasons.begin(), a.observer.reasons.end(), ""), 0);
        EXPECT_EQ(a.state.SourceText, u"previous");
        EXPECT_EQ(std::count(a.state.CharCounts->begin(), a.state.CharCounts->end(), 0), 65536);
    }
    Analyser proc;
    EXPECT_TRUE(proc.analyser.AnalyseFile("/proc/self/status"));
    EXPECT_NE(proc.state.SourceText.find(u"Name:"), std::u16string::npos);
    for (const std::string& text : {"ab\r\n"s, "\xFF\xFEq\0\x3D\xD8\x00\xDE"s}) {
        test::writeFile(dir / "sparse.txt", text);
        fs::resize_file(dir / "sparse.txt", std::uintmax_t{8} << 40);
        Analyser a;
        ASSERT_TRUE(a.analyser.AnalyseFile(dir / "sparse.txt"));
        reference::State expected;
        reference::analyseBuffer(bytesOf(text), u"", expected);
        expectSame(a.state, expected);
    }
}

}  // namespace
}  // namespace runemeter

namespace runemeter {
namespace {

// Code points of damaged UTF-8 (with a signature: read as UTF-8 whatever it holds) through the
// long-text pipeline, in pieces long enough for the block kernels and past the beginning kept as
// the source text (which is decoded, not counted by the kernels): bytes F0 and above that begin
// no well-formed four-byte sequence are no pair.
TEST(LongText, CodePointsOfDamagedUtf8AsTheReferenceCounts) {
    const char* const pieces[] = {"\xF0\x9F\x98\x80", "\xF4\x90\x80\x80",     "\xF0\x80\x80\x80",
                                  "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80", "\xF0\x9F\x98",
                                  "\xF4\x8F\xBF\xBF", "\xED\xA0\x80",         "a\xF0",
                                  "\xF0\x90\x80\x80"};
    std::mt19937 rng(77);
    std::string text = "\xEF\xBB\xBF";
    while (text.size() < kSourceTextKept + 300000) {
        text += std::string(rng() % 70, 'x') + pieces[rng() % std::size(pieces)];
    }
    const Bytes bytes = bytesOf(text);
    const reference::UnitCounts expected =
        reference::counted(reference::decode(bytes), CountingUnit::CodePoint);
    for (const std::uint64_t splitFrom : {2ULL, 1ULL << 40}) {
        SCOPED_TRACE(splitFrom == 2 ? "two threads" : "one thread");
        Analyser a;
        a.analyser.setChoices({UnsignedMode::Ansi, CountingUnit::CodePoint, Normalisation::None});
        a.analyser.setReadPieceSize(4);
        a.analyser.setLongTextCounting(4093, splitFrom);
        ASSERT_TRUE(a.analyse(bytes));
        ASSERT_TRUE(a.state.Units);
        EXPECT_EQ(reference::countsOf(*a.state.Units), expected);
    }
}

// Every unit and normalisation through the long-text pipeline (pieces of 8 to 20 bytes, one
// thread and two), against the whole-text reference: piece and thread borders fall inside
// surrogate pairs, clusters and normalisation segments. The text has no signature and is read
// automatically; a second text, not UTF-8 at its end, is read again from its start as ANSI.
TEST(LongText, UnitsAndNormalisationStreamAsTheReferenceCounts) {
    const std::u16string piece =
        u"Gru\u0308\u00DFe \U0001F600\r\ne\u0301\u0323 \U0001F468\u200D\U0001F469\u200D\U0001F467"
        u" \u1100\u1161\u11A8 \uAC00 \u00C5\u212B \uFB01 \u0915\u094D\u0937 \U00020000\r";
    std::u16string whole;
    for (int i = 0; i < 7; ++i) {
        whole += piece;
        whole += std::u16string(static_cast<std::size_t>(i), u'x');
    }
    const std::string bytes = utf16ToUtf8(whole);
    for (const CountingUnit unit :
         {CountingUnit::Utf16, CountingUnit::CodePoint, CountingUnit::Grapheme}) {
        for (const Normalisation form :
             {Normalisation::None, Normalisation::Nfc, Normalisation::Nfd, Normalisation::Nfkc}) {
            const reference::UnitCounts expected =
                reference::counted(reference::normalised(whole, form), unit);
            for (const std::uint64_t splitFrom : {2ULL, 1ULL << 40}) {
                for (std::size_t pieceSize = 8; pieceSize <= 20; pieceSize += 3) {
                    SCOPED_TRACE(std::string(choiceName(unit)) + " " +
                                 std::string(choiceName(form)) + ", pieces of " +
                                 std::to_string(pieceSize) +
                                 (splitFrom == 2 ? ", two threads" : ", one thread"));
                    Analyser a;
                    a.analyser.setChoices({UnsignedMode::Auto, unit, form});
                    a.analyser.setReadPieceSize(4);
                    a.analyser.setLongTextCounting(pieceSize, splitFrom);
                    ASSERT_TRUE(a.analyse(bytesOf(bytes)));
                    EXPECT_EQ(a.state.Utf8FileCount, 1);
                    EXPECT_EQ(a.state.CrLfCount, 7);
                    EXPECT_EQ(a.state.SourceTextLength, std::ssize(whole));
                    if (unit == CountingUnit::Utf16 && form == Normalisation::None) {
                        EXPECT_FALSE(a.state.Units);  // the classic counts
                        continue;
                    }
                    ASSERT_TRUE(a.state.Units);
                    EXPECT_EQ(reference::countsOf(*a.state.Units), expected);
                }
            }
        }
    }
    // Valid UTF-8 until a lone byte near the end: counted as ANSI from the start, as ANSI
    // counts it. A member is opened again; a pipe is read again from the temporary file that
    // kept it, then on from the pipe (the lone byte comes pieces after the first).
    const std::string ansi = bytes + "\xE9" + bytes;
    test::TempDir dir;
    for (const fs::path& file :
         {fs::path(), dir / "ansi.txt", dir / "ansi.zip", dir / "ansi.pipe"}) {
        for (const std::uint64_t splitFrom : {2ULL, 1ULL << 40}) {
            SCOPED_TRACE(file.filename().string() +
                         (splitFrom == 2 ? " two threads" : " one thread"));
            Analyser a;
            Analyser asAnsi;
            for (Analyser* x : {&a, &asAnsi}) {
                x->analyser.setChoices({x == &a ? UnsignedMode::Auto : UnsignedMode::Ansi,
                                        CountingUnit::CodePoint, Normalisation::None});
                x->analyser.setReadPieceSize(4);
                x->analyser.setLongTextCounting(11, splitFrom);
                ASSERT_TRUE(x->analyse(bytesOf(ansi), file));
            }
            EXPECT_EQ(a.state.Utf8FileCount, 0);
            EXPECT_EQ(a.state.SourceText, asAnsi.state.SourceText);
            EXPECT_EQ(a.state.CrLfCount, asAnsi.state.CrLfCount);
            ASSERT_TRUE(a.state.Units && asAnsi.state.Units);
            EXPECT_EQ(reference::countsOf(*a.state.Units),
                      reference::countsOf(*asAnsi.state.Units));
        }
    }
    // No temporary file to be had: a pipe that proves not to be UTF-8 is a clear failure, one
    // that is UTF-8 throughout is counted.
    const test::ScopedEnv noTemp("TMPDIR", (dir / "missing").string());
    for (const bool utf8 : {true, false}) {
        SCOPED_TRACE(utf8 ? "UTF-8" : "not UTF-8");
        Analyser a;
        a.analyser.setChoices({UnsignedMode::Auto, CountingUnit::Utf16, Normalisation::None});
        a.analyser.setReadPieceSize(4);
        a.analyser.setLongTextCounting(11, 2);
        if (utf8) {
            ASSERT_TRUE(a.analyse(bytesOf(bytes), dir / "utf8.pipe"));
            EXPECT_EQ(a.state.Utf8FileCount, 1);
            continue;
        }
        try {
            (void)a.analyse(bytesOf(ansi), dir / "ansi.pipe");
            ADD_FAILURE() << "no failure";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("temporary file"), std::string::npos) << e.what();
        }
        EXPECT_EQ(a.state.CharCounts->at(u'x'), 0);  // nothing counted
    }
}

}  // namespace
}  // namespace runemeter
