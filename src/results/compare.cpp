// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/compare.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "profile/char_properties.h"
#include "results/output_forms.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

bool isLineBreak(std::size_t code) {
    return code == u'\n' || code == u'\r';
}

// Per cent of total, or 0 when there is none.
long double shareOf(std::int64_t count, std::int64_t total) {
    return total > 0 ? static_cast<long double>(count) * 100.0L / total : 0.0L;
}

std::string decimal(long double value) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.6Lf", value);
    return buffer;
}

// The character itself, or its notation when it would break a line or is half a pair.
std::string characterText(char16_t code) {
    const char32_t codePoint = code;
    if (isSurrogate(code) || breaksLine(std::span<const char32_t>(&codePoint, 1))) {
        return codePointNotation(codePoint);
    }
    std::string text;
    appendUtf8CodePoint(text, codePoint);
    return text;
}

std::string jsonText(const std::string& utf8) {
    return jsonString(utf8ToUtf16(utf8));
}

// The fields every line and JSON item begins with.
struct CodeFields {
    std::string code, notation, character, name;
    explicit CodeFields(char16_t unit)
        : code(std::to_string(unit)),
          notation(codePointNotation(unit)),
          character(characterText(unit)),
          name(characterName(unit)) {}
};

void appendJsonItems(std::string& out, const char* key, const std::vector<ComparedCode>& codes,
                     const Comparison& comparison, bool coverage, bool last) {
    out += "  \"";
    out += key;
    out += "\": [";
    bool first = true;
    for (const ComparedCode& entry : codes) {
        const CodeFields fields(entry.code);
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"code\": " + fields.code + ", \"notation\": " + jsonText(fields.notation) +
               ", \"character\": " + jsonText(fields.character) +
               ", \"name\": " + jsonText(fields.name);
        if (coverage) {
            out += ", \"frequency\": " + std::to_string(entry.countA) + "}";
            continue;
        }
        const long double shareA = shareOf(entry.countA, comparison.totalA);
        const long double shareB = shareOf(entry.countB, comparison.totalB);
        out += ", \"frequencyA\": " + std::to_string(entry.countA) +
               ", \"frequencyB\": " + std::to_string(entry.countB) +
               ", \"shareA\": " + decimal(shareA) + ", \"shareB\": " + decimal(shareB) +
               ", \"difference\": " + decimal(shareB - shareA) + "}";
    }
    out += first ? "]" : "\n  ]";
    out += last ? "\n" : ",\n";
}

}  // namespace

Comparison compareCounts(const CharCountTable& a, const CharCountTable& b, std::size_t top,
                         bool skipLineBreaks) {
    Comparison result;
    std::vector<ComparedCode> both;
    for (std::size_t code = 0; code < a.size(); ++code) {
        if (skipLineBreaks && isLineBreak(code)) {
            continue;
        }
        result.totalA += a[code];
        result.totalB += b[code];
        const ComparedCode entry{static_cast<char16_t>(code), a[code], b[code]};
        if (a[code] > 0 && b[code] > 0) {
            both.push_back(entry);
        } else if (a[code] > 0) {
            result.onlyA.push_back(entry);
        } else if (b[code] > 0) {
            result.onlyB.push_back(entry);
        }
    }
    const auto gap = [&](const ComparedCode& entry) {
        return std::abs(shareOf(entry.countB, result.totalB) -
                        shareOf(entry.countA, result.totalA));
    };
    std::stable_sort(both.begin(), both.end(),
                     [&](const ComparedCode& x, const ComparedCode& y) { return gap(x) > gap(y); });
    both.resize(std::min(both.size(), top));
    result.differences = std::move(both);
    return result;
}

std::string comparisonText(const Comparison& comparison, const std::string& labelA,
                           const std::string& labelB, CompareForm form) {
    if (form == CompareForm::Json) {
        std::string out = "{\n  \"a\": " + jsonText(labelA) + ",\n  \"b\": " + jsonText(labelB) +
                          ",\n  \"totalA\": " + std::to_string(comparison.totalA) +
                          ",\n  \"totalB\": " + std::to_string(comparison.totalB) + ",\n";
        appendJsonItems(out, "onlyInA", comparison.onlyA, comparison, false, false);
        appendJsonItems(out, "onlyInB", comparison.onlyB, comparison, false, false);
        appendJsonItems(out, "differences", comparison.differences, comparison, false, true);
        return out + "}\n";
    }
    LineWriter out(form == CompareForm::Csv ? TableForm::Csv : TableForm::Table);
    if (form != CompareForm::Tsv) {
        out.header({"section", "code", "notation", "character", "name", "frequencyA", "frequencyB",
                    "shareA", "shareB", "difference"});
    }
    const auto lines = [&](std::string_view section, const std::vector<ComparedCode>& codes) {
        for (const ComparedCode& entry : codes) {
            const CodeFields fields(entry.code);
            const long double shareA = shareOf(entry.countA, comparison.totalA);
            const long double shareB = shareOf(entry.countB, comparison.totalB);
            for (const std::string_view text :
                 {section, std::string_view(fields.code), std::string_view(fields.notation),
                  std::string_view(fields.character), std::string_view(fields.name)}) {
                out.field(text);
            }
            out.field(std::to_string(entry.countA));
            out.field(std::to_string(entry.countB));
            out.field(decimal(shareA));
            out.field(decimal(shareB));
            out.field(decimal(shareB - shareA));
            out.endLine();
        }
    };
    lines("only-a", comparison.onlyA);
    lines("only-b", comparison.onlyB);
    lines("difference", comparison.differences);
    return out.take();
}

std::string coverageText(const Comparison& coverage, std::size_t charsetSize,
                         const std::string& corpusLabel, const std::string& charsetLabel,
                         CompareForm form) {
    if (form == CompareForm::Json) {
        std::string out =
            "{\n  \"corpus\": " + jsonText(corpusLabel) +
            ",\n  \"charset\": " + jsonText(charsetLabel) +
            ",\n  \"charsetCharacters\": " + std::to_string(charsetSize) +
            ",\n  \"covered\": " + std::to_string(charsetSize - coverage.onlyB.size()) + ",\n";
        appendJsonItems(out, "missing", coverage.onlyB, coverage, true, false);
        appendJsonItems(out, "beyond", coverage.onlyA, coverage, true, true);
        return out + "}\n";
    }
    LineWriter out(form == CompareForm::Csv ? TableForm::Csv : TableForm::Table);
    if (form != CompareForm::Tsv) {
        out.header({"section", "code", "notation", "character", "name", "frequency"});
    }
    const auto lines = [&](std::string_view section, const std::vector<ComparedCode>& codes) {
        for (const ComparedCode& entry : codes) {
            const CodeFields fields(entry.code);
            for (const std::string_view text :
                 {section, std::string_view(fields.code), std::string_view(fields.notation),
                  std::string_view(fields.character), std::string_view(fields.name)}) {
                out.field(text);
            }
            out.field(std::to_string(entry.countA));
            out.endLine();
        }
    };
    lines("missing", coverage.onlyB);
    lines("beyond", coverage.onlyA);
    return out.take();
}

}  // namespace runemeter
