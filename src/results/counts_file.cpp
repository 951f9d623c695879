// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/counts_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <span>

#include "profile/text_choices.h"

namespace runemeter {

namespace {

// 'text', for messages. Built by appending: GCC 12 at -O3 misreads "..." + std::string&&.
std::string quoted(std::string_view text) {
    std::string out(1, '\'');
    out.append(text).push_back('\'');
    return out;
}

constexpr std::string_view kMagic = "runemeter-counts";

// The known values of each choice; version 1 knows the first unit and normalisation only.
constexpr std::array<std::string_view, 3> kUnits{"utf16", "codepoint", "grapheme"};
constexpr std::array<std::string_view, 5> kNormalisations{"none", "nfc", "nfd", "nfkc", "nfkd"};
constexpr std::array<std::string_view, 3> kUnsignedTexts{"ansi", "utf8", "auto"};

// The code points of a UTF-16 text: a valid surrogate pair is one, a lone surrogate its unit.
std::u32string codePointsOf(std::u16string_view text) {
    std::u32string codes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            codes +=
                static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            codes += unit;
        }
    }
    return codes;
}

std::u16string utf16Of(std::u32string_view codes) {
    std::u16string text;
    for (const char32_t code : codes) {
        if (code >= 0x10000) {
            text += static_cast<char16_t>(0xD7C0 + (code >> 10));
            text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            text += static_cast<char16_t>(code);
        }
    }
    return text;
}

// A row's code in version 2: each code point as U+ and four to six upper-case hexadecimal
// digits (no leading zero past four), joined by "+": U+0065+U+0301.
void appendRowCode(std::string& out, std::u32string_view codes) {
    char buffer[16];
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int n = std::snprintf(buffer, sizeof buffer, "%sU+%04X", i == 0 ? "" : "+",
                                    static_cast<unsigned>(codes[i]));
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

// The code points of a version 2 row code, or why it is not one.
std::optional<std::string> parseRowCode(std::string_view text, std::u32string& codes) {
    codes.clear();
    std::size_t at = 0;
    for (;;) {
        if (text.substr(at, 2) != "U+") {
            return quoted(text).append(" is not a code (U+ and hexadecimal digits, joined by +)");
        }
        at += 2;
        const std::size_t end = std::min(text.find('+', at), text.size());
        const std::string_view digits = text.substr(at, end - at);
        if (digits.size() < 4 || digits.size() > 6 ||
            digits.find_first_not_of("0123456789ABCDEF") != std::string_view::npos ||
            (digits.size() > 4 && digits[0] == '0')) {
            return quoted(text).append(
                " is not a code (U+ and four to six upper-case hexadecimal digits)");
        }
        unsigned value = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (value > 0x10FFFF) {
            return "code " + quoted(text) + " is beyond U+10FFFF";
        }
        if (!codes.empty() && codes.back() >= 0xD800 && codes.back() < 0xDC00 && value >= 0xDC00 &&
            value < 0xE000) {
            return "code " + quoted(text) + " joins two surrogates (write their code point)";
        }
        codes += static_cast<char32_t>(value);
        if (end == text.size()) {
            return std::nullopt;
        }
        at = end + 1;
    }
}

// The index of the first row whose text is not one grapheme cluster, or rows.size().
std::size_t firstNonCluster(const std::vector<std::u32string>& rows) {
    if (rows.empty()) {
        return 0;
    }
    GraphemeCounter counter;
    for (const std::u32string& row : rows) {
        counter.add(utf16Of(row));
        counter.finish();
    }
    std::map<std::u32string, std::int64_t> found;
    for (const ClusterCount& cluster : counter.counts()) {
        found.emplace(codePointsOf(cluster.text), cluster.count);
    }
    std::size_t twice = rows.size();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto it = found.find(rows[i]);
        if (it == found.end()) {
            return i;
        }
        if (it->second != 1 && twice == rows.size()) {
            twice = i;
        }
    }
    return twice;
}

// A field as one token of a line: '%', control characters and DEL as %XX.
void appendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || byte == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// Reads the lines of a counts file one by one, knowing each one's number.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    // The next line without its LF; false at the end of the text.
    bool next(std::string_view& line) {
        if (m_at >= m_text.size()) {
            return false;
        }
        const std::size_t end = std::min(m_text.find('\n', m_at), m_text.size());
        line = m_text.substr(m_at, end - m_at);
        m_at = end + 1;
        ++m_number;
        return true;
    }
    [[nodiscard]] std::size_t number() const { return m_number; }
    [[nodiscard]] bool endsWithLineFeed() const { return !m_text.empty() && m_text.back() == '\n'; }

private:
    std::string_view m_text;
    std::size_t m_at = 0;
    std::size_t m_number = 0;
};

// A count: decimal digits only, at most 2^63 - 1.
std::optional<std::string> parseCount(std::string_view text, std::int64_t& value) {
    if (text.starts_with('-')) {
        return std::string("negative number ").append(quoted(text));
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return quoted(text).append(" is not a number");
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        return quoted(text).append(" does not fit in 64 bits");
    }
    (void)end;
    return std::nullopt;
}

bool add(std::int64_t& total, std::int64_t part) {
    return !__builtin_add_overflow(total, part, &total);
}

// Adds counts of code units (none negative), refusing a sum beyond 2^63 - 1. A run over a list
// of files adds a table per file: the loop has no branch, and an overflow, which shows as a
// sum with its top bit set, is looked for once at the end.
std::optional<std::string> addUnitCounts(CharCountTable& counts, const CharCountTable& more) {
    std::uint64_t topBits = 0;
    for (std::size_t code = 0; code < counts.size(); ++code) {
        const std::uint64_t sum =
            static_cast<std::uint64_t>(counts[code]) + static_cast<std::uint64_t>(more[code]);
        counts[code] = static_cast<std::int64_t>(sum);
        topBits |= sum;
    }
    if ((topBits >> 63) == 0) {
        return std::nullopt;
    }
    const auto code = std::find_if(counts.begin(), counts.end(), [](auto c) { return c < 0; });
    return "the count of code " + std::to_string(code - counts.begin()) + " passes 2^63 - 1";
}

std::optional<std::string> addRowCount(std::map<std::u32string, std::int64_t>& rows,
                                       const std::u32string& codes, std::int64_t count) {
    if (!add(rows[codes], count)) {
        std::string code;
        appendRowCode(code, codes);
        return "the count of " + code + " passes 2^63 - 1";
    }
    return std::nullopt;
}

}  // namespace

CountChoices countChoicesOf(const TextChoices& text, std::string header) {
    return {std::string(choiceName(text.unit)), std::string(choiceName(text.normalisation)),
            std::string(choiceName(text.unsignedText)), std::move(header)};
}

std::string describeChoices(const CountChoices& c) {
    std::string header;
    appendEscaped(header, c.header);
    return "unit " + c.unit + ", normalisation " + c.normalisation + ", unsigned text " +
           c.unsignedText + ", header " + quoted(header);
}

std::optional<std::string> addRunCounts(RunCounts& total, const RunCounts& part) {
    AnalysisState& to = total.state;
    const AnalysisState& from = part.state;
    const std::pair<std::int64_t*, std::int64_t> counters[] = {
        {&total.filesFound, part.filesFound},
        {&to.FilesRead, from.FilesRead},
        {&to.UnicodeFileCount, from.UnicodeFileCount},
        {&to.BigEndianFileCount, from.BigEndianFileCount},
        {&to.Utf8FileCount, from.Utf8FileCount},
        {&to.CrLfCount, from.CrLfCount}};
    for (const auto& [counter, value] : counters) {
        if (!add(*counter, value)) {
            return std::string("a file counter passes 2^63 - 1");
        }
    }
    if (auto overflow = addUnitCounts(*to.CharCounts, *from.CharCounts)) {
        return overflow;
    }
    if (const auto* units = dynamic_cast<const Utf16UnitCounter*>(from.Units.get())) {
        if (auto overflow = addUnitCounts(*to.CharCounts, units->counts())) {
            return overflow;
        }
    } else if (const auto* points = dynamic_cast<const CodePointCounter*>(from.Units.get())) {
        for (const CodePointCount& c : points->counts()) {
            if (auto overflow =
                    addRowCount(total.unitCounts, std::u32string(1, c.codePoint), c.count)) {
                return overflow;
            }
        }
    } else if (const auto* clusters = dynamic_cast<const GraphemeCounter*>(from.Units.get())) {
        for (const ClusterCount& c : clusters->counts()) {
            if (auto overflow = addRowCount(total.unitCounts, codePointsOf(c.text), c.count)) {
                return overflow;
            }
        }
    }
    for (const auto& [codes, count] : part.unitCounts) {
        if (auto overflow = addRowCount(total.unitCounts, codes, count)) {
            return overflow;
        }
    }
    total.problems.insert(total.problems.end(), part.problems.begin(), part.problems.end());
    if (from.FilesRead > 0) {
        to.SourceTextLength = from.SourceTextLength;
        total.onePath = part.onePath;
    }
    if (to.FilesRead != 1) {
        total.onePath.clear();
    }
    return std::nullopt;
}

void restoreUnitCounter(RunCounts& counts) {
    AnalysisState& state = counts.state;
    state.Units.reset();
    if (counts.choices.unit == "codepoint") {
        auto points = std::make_unique<CodePointCounter>();
        for (const auto& [codes, count] : counts.unitCounts) {
            points->addCount(codes.front(), count);  // one row per code: no sum
        }
        points->finish();
        state.Units = std::move(points);
    } else if (counts.choices.unit == "grapheme") {
        // Each cluster is counted once per bit of its count, from the highest bit down, the
        // counts so far doubled before each bit: count n costs log2(n) passes, not n.
        std::int64_t largest = 0;
        for (const auto& [codes, count] : counts.unitCounts) {
            largest = std::max(largest, count);
        }
        auto clusters = std::make_unique<GraphemeCounter>();
        for (int bit = largest > 0 ? 63 - __builtin_clzll(static_cast<unsigned long long>(largest))
                                   : -1;
             bit >= 0; --bit) {
            auto next = std::make_unique<GraphemeCounter>();
            next->addCountsOf(*clusters);
            next->addCountsOf(*clusters);
            for (const auto& [codes, count] : counts.unitCounts) {
                if ((count >> bit) & 1) {
                    next->add(utf16Of(codes));
                    next->finish();
                }
            }
            clusters = std::move(next);
        }
        state.Units = std::move(clusters);
    }
}

std::string writeCountsFile(const RunCounts& counts) {
    const AnalysisState& state = counts.state;
    const CountChoices& choices = counts.choices;
    const bool version1 =
        choices.unit == "utf16" && choices.normalisation == "none" && choices.header.empty();
    std::string out = std::string(kMagic) + (version1 ? " 1\n" : " 2\n");
    out += "unit " + choices.unit + '\n';
    out += "normalisation " + choices.normalisation + '\n';
    out += "unsigned-text " + choices.unsignedText + '\n';
    if (!version1) {
        out += "header";
        if (!choices.header.empty()) {
            out += ' ';
            appendEscaped(out, choices.header);
        }
        out += '\n';
    }
    const std::pair<std::string_view, std::int64_t> counters[] = {
        {"files-found", counts.filesFound},          {"files-read", state.FilesRead},
        {"utf16-files", state.UnicodeFileCount},     {"big-endian-files", state.BigEndianFileCount},
        {"utf8-files", state.Utf8FileCount},         {"line-breaks", state.CrLfCount},
        {"last-text-length", state.SourceTextLength}};
    for (const auto& [name, value] : counters) {
        out += std::string(name) + ' ' + std::to_string(value) + '\n';
    }
    if (state.FilesRead == 1) {
        out += "path ";
        appendEscaped(out, counts.onePath);
        out += '\n';
    }
    for (const RunProblem& problem : counts.problems) {
        out += "problem ";
        appendEscaped(out, problem.path);
        out += '\t';
        appendEscaped(out, problem.member);
        out += '\t';
        appendEscaped(out, problem.reason);
        out += '\n';
    }
    if (choices.unit != "utf16") {
        std::size_t codes = 0;
        for (const auto& [code, count] : counts.unitCounts) {
            codes += count != 0 ? 1 : 0;
        }
        out += "codes " + std::to_string(codes) + '\n';
        for (const auto& [code, count] : counts.unitCounts) {
            if (count != 0) {
                appendRowCode(out, code);
                out += ' ' + std::to_string(count) + '\n';
            }
        }
        out += "end\n";
        return out;
    }
    const CharCountTable& table = *state.CharCounts;
    std::size_t codes = 0;
    for (const std::int64_t count : table) {
        codes += count != 0 ? 1 : 0;
    }
    out += "codes " + std::to_string(codes) + '\n';
    for (std::size_t code = 0; code < table.size(); ++code) {
        if (table[code] != 0) {
            if (version1) {
                out += std::to_string(code);
            } else {
                appendRowCode(out, std::u32string(1, static_cast<char32_t>(code)));
            }
            out += ' ' + std::to_string(table[code]) + '\n';
        }
    }
    out += "end\n";
    return out;
}

std::optional<InputError> readCountsFile(std::string_view text, RunCounts& counts) {
    counts.state.clear();
    counts.filesFound = 0;
    counts.problems.clear();
    counts.onePath.clear();
    counts.unitCounts.clear();
    counts.choices = {};
    LineReader reader(text);
    std::string_view line;
    const auto fail = [&](std::string message) {
        return InputError{InputErrorCode::Malformed, reader.number(), std::move(message)};
    };
    // The next line, which must begin with "key " (a missing line is a truncated file).
    std::string_view value;
    const auto expect = [&](std::string_view key) -> std::optional<InputError> {
        if (!reader.next(line)) {
            return InputError{InputErrorCode::Malformed, reader.number() + 1,
                              "the file ends early: '" + std::string(key) + "' expected"};
        }
        if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != ' ') {
            return fail(quoted(key).append(" expected"));
        }
        value = line.substr(key.size() + 1);
        return std::nullopt;
    };

    if (!reader.next(line) || !line.starts_with(kMagic) ||
        (line.size() > kMagic.size() && line[kMagic.size()] != ' ')) {
        return InputError{InputErrorCode::Malformed, 1,
                          "not a counts file (it does not begin with '" + std::string(kMagic) +
                              " " + std::to_string(kCountsFormatVersion) + "')"};
    }
    std::int64_t version = 0;
    if (line.size() <= kMagic.size() || parseCount(line.substr(kMagic.size() + 1), version) ||
        version < 1) {
        return fail("the format version is missing or not a number");
    }
    if (version > kCountsFormatVersion) {
        return fail("made with a newer version of the format (" + std::to_string(version) +
                    "; this program reads up to " + std::to_string(kCountsFormatVersion) + ")");
    }

    const auto choice = [&](std::string_view key, std::span<const std::string_view> known,
                            std::string& into) -> std::optional<InputError> {
        if (auto error = expect(key)) {
            return error;
        }
        if (version == 1 && key != "unsigned-text") {
            known = known.first(1);
        }
        for (const std::string_view name : known) {
            if (value == name) {
                into = std::string(value);
                return std::nullopt;
            }
        }
        return fail("unknown " + std::string(key) + " '" + std::string(value) + "'");
    };
    if (auto e = choice("unit", kUnits, counts.choices.unit)) {
        return e;
    }
    if (auto e = choice("normalisation", kNormalisations, counts.choices.normalisation)) {
        return e;
    }
    if (auto e = choice("unsigned-text", kUnsignedTexts, counts.choices.unsignedText)) {
        return e;
    }
    if (version >= 2) {
        if (!reader.next(line)) {
            return InputError{InputErrorCode::Malformed, reader.number() + 1,
                              "the file ends early: 'header' expected"};
        }
        if (line != "header" && !line.starts_with("header ")) {
            return fail("'header' expected");
        }
        auto header = unescape(line.substr(std::min<std::size_t>(line.size(), 7)));
        if (!header) {
            return fail("a broken %-escape");
        }
        counts.choices.header = std::move(*header);
    }
    counts.state.Text = {*unsignedModeNamed(counts.choices.unsignedText),
                         *countingUnitNamed(counts.choices.unit),
                         *normalisationNamed(counts.choices.normalisation)};

    AnalysisState& state = counts.state;
    const std::pair<std::string_view, std::int64_t*> counters[] = {
        {"files-found", &counts.filesFound},
        {"files-read", &state.FilesRead},
        {"utf16-files", &state.UnicodeFileCount},
        {"big-endian-files", &state.BigEndianFileCount},
        {"utf8-files", &state.Utf8FileCount},
        {"line-breaks", &state.CrLfCount},
        {"last-text-length", &state.SourceTextLength}};
    for (const auto& [name, counter] : counters) {
        if (auto error = expect(name)) {
            return error;
        }
        if (auto error = parseCount(value, *counter)) {
            return fail(*error);
        }
    }
    if (state.FilesRead > counts.filesFound ||
        state.UnicodeFileCount + state.Utf8FileCount > state.FilesRead ||
        state.BigEndianFileCount > state.UnicodeFileCount ||
        (state.FilesRead == 0 && state.SourceTextLength != 0)) {
        return fail("the file counters contradict each other");
    }

    bool pathGiven = false;
    for (;;) {
        if (!reader.next(line)) {
            return InputError{InputErrorCode::Malformed, reader.number() + 1,
                              "the file ends early: 'codes' expected"};
        }
        if (line.starts_with("path ") && !pathGiven && counts.problems.empty()) {
            auto path = unescape(line.substr(5));
            if (!path || state.FilesRead != 1) {
                return fail(path ? "a path is given only when one file was read"
                                 : "a broken %-escape");
            }
            counts.onePath = std::move(*path);
            pathGiven = true;
        } else if (line.starts_with("problem ")) {
            const std::string_view fields = line.substr(8);
            const std::size_t tab1 = fields.find('\t');
            const std::size_t tab2 =
                tab1 == std::string_view::npos ? tab1 : fields.find('\t', tab1 + 1);
            if (tab2 == std::string_view::npos ||
                fields.find('\t', tab2 + 1) != std::string_view::npos) {
                return fail("a problem needs three tab-separated fields");
            }
            auto path = unescape(fields.substr(0, tab1));
            auto member = unescape(fields.substr(tab1 + 1, tab2 - tab1 - 1));
            auto reason = unescape(fields.substr(tab2 + 1));
            if (!path || !member || !reason) {
                return fail("a broken %-escape");
            }
            counts.problems.push_back({std::move(*path), std::move(*member), std::move(*reason)});
        } else {
            break;
        }
    }
    if (state.FilesRead == 1 && !pathGiven) {
        return fail("'path' expected (one file was read)");
    }
    if (!line.starts_with("codes ")) {
        return fail("'codes' expected");
    }
    std::int64_t codes = 0;
    if (auto error = parseCount(line.substr(6), codes)) {
        return fail(*error);
    }
    const std::string& unit = counts.choices.unit;
    const std::int64_t distinct = unit == "utf16" ? 65536 : unit == "codepoint" ? 0x110000 : -1;
    if (distinct > 0 && codes > distinct) {
        return fail("more codes than there are (" + std::to_string(distinct) + ")");
    }
    CharCountTable& table = *state.CharCounts;
    std::u32string row, previousRow;
    std::vector<std::u32string> clusters;  // the grapheme rows, checked once all are read
    std::vector<std::size_t> clusterLines;
    for (std::int64_t i = 0; i < codes; ++i) {
        if (!reader.next(line)) {
            return InputError{
                InputErrorCode::Malformed, reader.number() + 1,
                "the file ends early: " + std::to_string(codes - i) + " more code lines expected"};
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) {
            return fail("a code line needs a code and a count");
        }
        const std::string_view codeText = line.substr(0, blank);
        std::int64_t count = 0;
        if (auto error = parseCount(line.substr(blank + 1), count)) {
            return fail(*error);
        }
        if (version == 1) {
            std::int64_t code = 0;
            if (auto error = parseCount(codeText, code)) {
                return fail(*error);
            }
            row.assign(1, static_cast<char32_t>(std::min<std::int64_t>(code, 0x110000)));
            if (code > 65535) {
                return fail("code " + std::to_string(code) + " is beyond 65535");
            }
        } else if (auto error = parseRowCode(codeText, row)) {
            return fail(*error);
        }
        if (unit != "grapheme" && row.size() != 1) {
            return fail("code " + quoted(codeText) + " is more than one code point (unit " + unit +
                        ")");
        }
        if (unit == "utf16" && row[0] > 0xFFFF) {
            return fail("code " + quoted(codeText) + " is beyond one UTF-16 code unit");
        }
        if (i > 0 && row <= previousRow) {
            const std::string name = version == 1 ? std::to_string(row[0]) : std::string(codeText);
            return fail("code " + name +
                        (row == previousRow ? " is given twice" : " is out of order"));
        }
        if (unit == "utf16") {
            table[row[0]] = count;
        } else {
            counts.unitCounts.emplace_hint(counts.unitCounts.end(), row, count);
            if (unit == "grapheme") {
                clusters.push_back(row);
                clusterLines.push_back(reader.number());
            }
        }
        previousRow.swap(row);
    }
    if (const std::size_t bad = firstNonCluster(clusters); bad < clusters.size()) {
        std::string code;
        appendRowCode(code, clusters[bad]);
        return InputError{InputErrorCode::Malformed, clusterLines[bad],
                          "code " + quoted(code) + " is not one grapheme cluster"};
    }
    if (!reader.next(line)) {
        return InputError{InputErrorCode::Malformed, reader.number() + 1,
                          "the file ends early: 'end' expected"};
    }
    if (line != "end") {
        return fail(line.empty() || std::isdigit(static_cast<unsigned char>(line[0])) ||
                            line.starts_with("U+")
                        ? "more code lines than 'codes' says"
                        : "'end' expected");
    }
    if (!reader.endsWithLineFeed()) {
        return fail("the last line has no line feed (a truncated file?)");
    }
    if (reader.next(line)) {
        return fail("text after 'end'");
    }
    return std::nullopt;
}

}  // namespace runemeter
