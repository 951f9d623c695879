// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/output_forms.h"

#include <cstdio>
#include <vector>

#include "profile/char_properties.h"
#include "results/copy_text.h"
#include "results/row_fields.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

void appendEscape(std::string& out, char16_t unit) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit));
    out += buffer;
}

// Per cent of the total with six decimals, or empty when there is no total.
std::string shareText(std::int64_t frequency, std::int64_t total) {
    if (total <= 0) {
        return {};
    }
    char buffer[32];
    const long double share = static_cast<long double>(frequency) * 100.0L / total;
    std::snprintf(buffer, sizeof buffer, "%.6Lf", share);
    return buffer;
}

// The summary counters that begin every JSON document.
std::string jsonHead(const AnalysisState& state, const Profile& profile,
                     const RunSummary* summary) {
    std::string out = "{\n";
    const auto field = [&](std::string_view name, std::int64_t value) {
        out += "  \"";
        out += name;
        out += "\": " + std::to_string(value) + ",\n";
    };
    if (summary != nullptr) {
        field("filesFound", summary->filesFound);
    }
    field("filesRead", state.FilesRead);
    field("ansiFileCount", state.FilesRead - state.UnicodeFileCount - state.Utf8FileCount);
    field("unicodeFileCount", state.UnicodeFileCount);
    field("bigEndianFileCount", state.BigEndianFileCount);
    field("utf8FileCount", state.Utf8FileCount);
    field("crLfCount", state.CrLfCount);
    field("totalCharacters", profile.totalCharacters);
    field("sourceTextLength", state.SourceTextLength);
    out += "  \"labelFileInfo\": " + jsonString(profile.labelFileInfo) + ",\n";
    out += "  \"labelResults\": " + jsonString(profile.labelResults) + ",\n";
    const auto choice = [&](std::string_view name, std::string_view value) {
        out += "  \"";
        out += name;
        out += "\": \"";
        out += value;
        out += "\",\n";
    };
    choice("unsigned", choiceName(state.Text.unsignedText));
    choice("unit", choiceName(state.Text.unit));
    choice("normalize", choiceName(state.Text.normalisation));
    if (summary != nullptr) {
        out += "  \"problems\": [";
        bool first = true;
        for (const RunProblem& problem : summary->problems) {
            out += first ? "\n" : ",\n";
            first = false;
            out += "    {\"path\": " + jsonString(utf8ToUtf16(problem.path)) +
                   ", \"member\": " + jsonString(utf8ToUtf16(problem.member)) +
                   ", \"reason\": " + jsonString(utf8ToUtf16(problem.reason)) + "}";
        }
        out += first ? "],\n" : "\n  ],\n";
    }
    return out;
}

// A row label without the blanks and control characters around it.
std::u16string_view trimmedLabel(std::u16string_view text) {
    while (!text.empty() && text.front() <= u' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() <= u' ') {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

void LineWriter::field(std::string_view text) {
    if (!m_lineStarted) {
        m_lineStarted = true;
    } else {
        m_out += m_form == TableForm::Csv ? ',' : '\t';
    }
    if (m_form == TableForm::Csv) {
        if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
            m_out += text;
            return;
        }
        m_out += '"';
        for (const char c : text) {
            m_out += c;
            if (c == '"') {
                m_out += '"';
            }
        }
        m_out += '"';
        return;
    }
    // A translated name is the only text that could hold a tab or line break.
    for (const char c : text) {
        m_out += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    }
}

void LineWriter::endLine() {
    m_out += m_form == TableForm::Csv ? "\r\n" : "\n";
    m_lineStarted = false;
}

void LineWriter::header(std::initializer_list<std::string_view> names) {
    for (const std::string_view name : names) {
        field(name);
    }
    endLine();
}

std::string jsonString(std::u16string_view text) {
    std::string out = "\"";
    std::size_t runStart = 0;
    const auto flushRun = [&](std::size_t end) {
        if (end > runStart) {
            out += utf16ToUtf8(text.substr(runStart, end - runStart));
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (isSurrogatePairAt(text, i)) {
            ++i;
            continue;
        }
        if (isSurrogate(u)) {
            flushRun(i);
            out += "\xEF\xBF\xBD";
            runStart = i + 1;
            continue;
        }
        if (u < 0x20 || u == u'"' || u == u'\\' || u == 0x7F) {
            flushRun(i);
            switch (u) {
                case u'"':
                    out += "\\\"";
                    break;
                case u'\\':
                    out += "\\\\";
                    break;
                case u'\n':
                    out += "\\n";
                    break;
                case u'\r':
                    out += "\\r";
                    break;
                case u'\t':
                    out += "\\t";
                    break;
                default:
                    appendEscape(out, u);
            }
            runStart = i + 1;
        }
    }
    flushRun(text.size());
    out += '"';
    return out;
}

std::string profileToJson(const AnalysisState& state, const Profile& profile, bool lettersOnly,
                          const RunSummary* summary) {
    std::string out = jsonHead(state, profile, summary);
    out += "  \"rows\": [";
    bool first = true;
    for (const ProfileRow& row : profile.rows) {
        const RowFields fields = deriveRowFields(row.text);
        const CharacterType type = characterType(fields);
        if (lettersOnly &&
            !(fields.numeric && fields.codeValue > 32 && type == CharacterType::Letter)) {
            continue;
        }
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"code\": ";
        out += fields.numeric ? std::to_string(fields.codeValue) : std::string("null");
        out +=
            ", \"text\": " + jsonString(fields.numeric ? std::u16string_view(fields.characterField)
                                                       : trimmedLabel(row.text));
        out += ", \"frequency\": " + std::to_string(row.frequency);
        out += ", \"type\": \"";
        out += characterTypeName(type);
        out += "\", \"share\": ";
        const std::string share = fields.numeric && !fields.controlRow
                                      ? shareText(row.frequency, profile.totalCharacters)
                                      : std::string();
        out += share.empty() ? std::string("null") : share;
        out += "}";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string rowsToTable(std::span<const ProfileRow> rows, std::int64_t totalCharacters,
                        bool lettersOnly, TableForm form) {
    LineWriter out(form);
    out.header({"code", "notation", "character", "name", "category", "script", "block", "share",
                "frequency"});
    for (const ProfileRow& row : rows) {
        if (!isCopiedRow(row.text, lettersOnly)) {
            continue;
        }
        const RowFields fields = deriveRowFields(row.text);
        const std::vector<char32_t> codePoints = codePointsOfCodeField(fields.codeField);
        const CharProperties properties = sequenceProperties(codePoints);
        out.field(utf16ToUtf8(fields.codeField));
        out.field(properties.notation);
        if (codePoints.empty()) {
            out.field(utf16ToUtf8(fields.characterField));
        } else if (breaksLine(codePoints)) {
            out.field(properties.notation);
        } else {
            std::string text;
            for (const char32_t codePoint : codePoints) {
                appendUtf8CodePoint(text, codePoint);
            }
            out.field(text);
        }
        out.field(properties.name);
        out.field(properties.category);
        out.field(properties.script);
        out.field(properties.block);
        const bool counted = !codePoints.empty() && codePoints.front() >= 32;
        out.field(counted ? shareText(row.frequency, totalCharacters) : std::string());
        out.field(std::to_string(row.frequency));
        out.endLine();
    }
    return out.take();
}

std::string groupsToTsv(std::span<const CharacterGroup> groups, std::int64_t totalCharacters) {
    std::string out;
    for (const CharacterGroup& group : groups) {
        out += group.name + '\t' + std::to_string(group.characters) + '\t' +
               std::to_string(group.frequency) + '\t' +
               shareText(group.frequency, totalCharacters) + "\r\n";
    }
    return out;
}

std::string groupsToTable(std::span<const CharacterGroup> groups, std::int64_t totalCharacters,
                          TableForm form) {
    LineWriter out(form);
    out.header({"name", "characters", "frequency", "share"});
    for (const CharacterGroup& group : groups) {
        out.field(group.name);
        out.field(std::to_string(group.characters));
        out.field(std::to_string(group.frequency));
        out.field(shareText(group.frequency, totalCharacters));
        out.endLine();
    }
    return out.take();
}

std::string groupsToJson(const AnalysisState& state, const Profile& profile, GroupKey key,
                         std::span<const CharacterGroup> groups, const RunSummary* summary) {
    std::string out = jsonHead(state, profile, summary);
    out += "  \"groupBy\": \"";
    out += groupKeyName(key);
    out += "\",\n  \"groups\": [";
    bool first = true;
    for (const CharacterGroup& group : groups) {
        out += first ? "\n" : ",\n";
        first = false;
        const std::string share = shareText(group.frequency, profile.totalCharacters);
        out += "    {\"name\": " + jsonString(utf8ToUtf16(group.name)) +
               ", \"characters\": " + std::to_string(group.characters) +
               ", \"frequency\": " + std::to_string(group.frequency) +
               ", \"share\": " + (share.empty() ? std::string("null") : share) + "}";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string writeResult(ResultForm form, const AnalysisState& state, const Profile& profile,
                        bool lettersOnly, std::optional<GroupKey> groupBy,
                        const RunSummary* summary) {
    const std::int64_t total = profile.totalCharacters;
    if (groupBy) {
        std::vector<ProfileRow> rows;
        for (const ProfileRow& row : profile.rows) {
            if (!lettersOnly || isCopiedRow(row.text, true)) {
                rows.push_back(row);
            }
        }
        const std::vector<CharacterGroup> groups = groupRows(rows, *groupBy);
        switch (form) {
            case ResultForm::Tsv:
                return groupsToTsv(groups, total);
            case ResultForm::Table:
                return groupsToTable(groups, total, TableForm::Table);
            case ResultForm::Csv:
                return groupsToTable(groups, total, TableForm::Csv);
            case ResultForm::Json:
                break;
        }
        return groupsToJson(state, profile, *groupBy, groups, summary);
    }
    switch (form) {
        case ResultForm::Tsv:
            return utf16ToUtf8(buildCopyText(profile.rows, lettersOnly));
        case ResultForm::Table:
            return rowsToTable(profile.rows, total, lettersOnly, TableForm::Table);
        case ResultForm::Csv:
            return rowsToTable(profile.rows, total, lettersOnly, TableForm::Csv);
        case ResultForm::Json:
            break;
    }
    return profileToJson(state, profile, lettersOnly, summary);
}

}  // namespace runemeter
