#include "cli/json_output.h"

#include <cstdio>

#include "results/row_fields.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

void appendEscape(std::string& out, char16_t unit) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit));
    out += buffer;
}

std::string_view typeName(CharacterType type) {
    switch (type) {
        case CharacterType::Letter:
            return "letter";
        case CharacterType::Digit:
            return "digit";
        case CharacterType::Punctuation:
            return "punctuation";
        case CharacterType::None:
            break;
    }
    return "";
}

}  // namespace

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
        const bool lone = isSurrogate(u);
        if (u < 0x20 || u == u'"' || u == u'\\' || u == 0x7F || lone) {
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

std::string profileToJson(const AnalysisState& state, const Profile& profile, bool lettersOnly) {
    std::string out = "{\n";
    const auto field = [&](std::string_view name, std::int64_t value) {
        out += "  \"";
        out += name;
        out += "\": " + std::to_string(value) + ",\n";
    };
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
    out += "  \"rows\": [";
    bool first = true;
    for (const ProfileRow& row : profile.rows) {
        const RowFields fields = deriveRowFields(row.text);
        const CharacterType type = characterType(fields.characterField);
        if (lettersOnly &&
            !(fields.numeric && fields.codeValue > 32 && type == CharacterType::Letter)) {
            continue;
        }
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"code\": ";
        out += fields.numeric ? std::to_string(fields.codeValue) : std::string("null");
        out += ", \"text\": " + jsonString(fields.characterField);
        out += ", \"frequency\": " + std::to_string(row.frequency);
        out += ", \"type\": \"";
        out += typeName(type);
        out += "\", \"share\": ";
        if (profile.totalCharacters > 0 && fields.numeric && !fields.controlRow) {
            char buffer[32];
            const long double share =
                static_cast<long double>(row.frequency) * 100.0L / profile.totalCharacters;
            std::snprintf(buffer, sizeof buffer, "%.6Lf", share);
            out += buffer;
        } else {
            out += "null";
        }
        out += "}";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace runemeter
