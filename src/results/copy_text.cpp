// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/copy_text.h"

#include <limits>
#include <string>

#include "results/row_fields.h"

namespace runemeter {

namespace {

bool isNumberCharacter(char16_t c) {
    return WideNumbersStr.find(c) != std::u16string_view::npos;
}

void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::u16string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

}  // namespace

std::u16string cleanRowTextForCopy(std::u16string_view rowText) {
    std::u16string_view trimmed = rowText;
    while (!trimmed.empty() && trimmed.front() <= 32) {
        trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && trimmed.back() <= 32) {
        trimmed.remove_suffix(1);
    }

    // One pass, left to right, without overlap: three blanks become two.
    std::u16string text;
    text.reserve(trimmed.size() + 8);
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        text.push_back(trimmed[i]);
        if (trimmed[i] == u' ' && i + 1 < trimmed.size() && trimmed[i + 1] == u' ') {
            ++i;
        }
    }
    replaceAll(text, u"\"", u"quotes");
    replaceAll(text, u"# ", u"");
    for (char16_t& c : text) {
        if (c == u' ') {
            c = u'\t';
        }
    }
    return text;
}

bool isCopiedRow(std::u16string_view rowText, bool lettersOnly) {
    const std::u16string cleaned = cleanRowTextForCopy(rowText);
    // Label rows (line breaks, total) do not begin with a number and are left out.
    if (cleaned.empty() || !isNumberCharacter(cleaned.front())) {
        return false;
    }
    if (!lettersOnly) {
        return true;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t code = 0;
    std::size_t run = 0;
    while (run < cleaned.size() && isNumberCharacter(cleaned[run])) {
        const int digit = cleaned[run] - u'0';
        code = code > (kMax - digit) / 10 ? kMax : code * 10 + digit;
        ++run;
    }
    // The rest starts after the code and the one character that stood for its blank.
    const std::u16string_view rest = run + 1 < cleaned.size()
                                         ? std::u16string_view(cleaned).substr(run + 1)
                                         : std::u16string_view();
    return rest.size() == 1 && code > 32 && classifyCodeUnit(rest.front()) == CharacterType::Letter;
}

std::u16string buildCopyText(std::span<const ProfileRow> rows, bool lettersOnly) {
    std::u16string out;
    for (const ProfileRow& row : rows) {
        if (!isCopiedRow(row.text, lettersOnly)) {
            continue;
        }
        out += cleanRowTextForCopy(row.text);
        out.push_back(u'\t');
        const std::string frequency = std::to_string(row.frequency);
        out.append(frequency.begin(), frequency.end());
        out += u"\r\n";
    }
    return out;
}

}  // namespace runemeter
