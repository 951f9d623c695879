#include "results/counts_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
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

// The known values of each choice; the first is what this program counts with.
constexpr std::array<std::string_view, 1> kUnits{"utf16"};
constexpr std::array<std::string_view, 1> kNormalisations{"none"};
constexpr std::array<std::string_view, 3> kUnsignedTexts{"ansi", "utf8", "auto"};

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

}  // namespace

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
    if (from.Units) {
        if (!to.Units) {
            to.Units = makeUnitCounter(from.Units->unit());
        }
        to.Units->addCountsOf(*from.Units);
    }
    CharCountTable& counts = *to.CharCounts;
    const CharCountTable& more = *from.CharCounts;
    for (std::size_t code = 0; code < counts.size(); ++code) {
        if (more[code] != 0 && !add(counts[code], more[code])) {
            return "the count of code " + std::to_string(code) + " passes 2^63 - 1";
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

std::string writeCountsFile(const RunCounts& counts) {
    const AnalysisState& state = counts.state;
    std::string out = std::string(kMagic) + ' ' + std::to_string(kCountsFormatVersion) + '\n';
    out += "unit " + counts.choices.unit + '\n';
    out += "normalisation " + counts.choices.normalisation + '\n';
    out += "unsigned-text " + counts.choices.unsignedText + '\n';
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
    const CharCountTable& table = *state.CharCounts;
    std::size_t codes = 0;
    for (const std::int64_t count : table) {
        codes += count != 0 ? 1 : 0;
    }
    out += "codes " + std::to_string(codes) + '\n';
    for (std::size_t code = 0; code < table.size(); ++code) {
        if (table[code] != 0) {
            out += std::to_string(code) + ' ' + std::to_string(table[code]) + '\n';
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
    counts.state.Text.unsignedText = *unsignedModeNamed(counts.choices.unsignedText);

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
    if (codes > 65536) {
        return fail("more codes than there are (65536)");
    }
    CharCountTable& table = *state.CharCounts;
    std::int64_t previous = -1;
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
        std::int64_t code = 0;
        if (auto error = parseCount(line.substr(0, blank), code)) {
            return fail(*error);
        }
        if (code > 65535) {
            return fail("code " + std::to_string(code) + " is beyond 65535");
        }
        if (code == previous) {
            return fail("code " + std::to_string(code) + " is given twice");
        }
        if (code < previous) {
            return fail("code " + std::to_string(code) + " is out of order");
        }
        if (auto error = parseCount(line.substr(blank + 1), table[code])) {
            return fail(*error);
        }
        previous = code;
    }
    if (!reader.next(line)) {
        return InputError{InputErrorCode::Malformed, reader.number() + 1,
                          "the file ends early: 'end' expected"};
    }
    if (line != "end") {
        return fail(line.empty() || std::isdigit(static_cast<unsigned char>(line[0]))
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
