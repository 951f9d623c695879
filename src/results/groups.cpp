// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/groups.h"

#include <algorithm>
#include <map>

#include "profile/char_properties.h"
#include "results/row_fields.h"

namespace runemeter {

namespace {

struct CountedCharacter {
    RowFields fields;
    char32_t first;  // its (first) code point
};

// A row that groups and charts take: a character or cluster counted at least once; not a
// control code, the line-break row or the total.
std::optional<CountedCharacter> countedCharacter(const ProfileRow& row) {
    if (row.frequency <= 0) {
        return std::nullopt;
    }
    RowFields fields = deriveRowFields(row.text);
    const std::vector<char32_t> codePoints = codePointsOfCodeField(fields.codeField);
    if (codePoints.empty() || codePoints.front() < 32) {
        return std::nullopt;
    }
    return CountedCharacter{std::move(fields), codePoints.front()};
}

}  // namespace

std::optional<GroupKey> groupKeyNamed(std::string_view name) {
    for (const GroupKey key :
         {GroupKey::Script, GroupKey::Block, GroupKey::Category, GroupKey::Type}) {
        if (name == groupKeyName(key)) {
            return key;
        }
    }
    return std::nullopt;
}

std::string_view groupKeyName(GroupKey key) {
    switch (key) {
        case GroupKey::Script:
            return "script";
        case GroupKey::Block:
            return "block";
        case GroupKey::Category:
            return "category";
        case GroupKey::Type:
            break;
    }
    return "type";
}

std::optional<std::string> groupOfRow(const ProfileRow& row, GroupKey key) {
    const std::optional<CountedCharacter> counted = countedCharacter(row);
    if (!counted) {
        return std::nullopt;
    }
    if (key == GroupKey::Type) {
        const std::string_view name = characterTypeName(characterType(counted->fields));
        return std::string(name.empty() ? "other" : name);
    }
    const char32_t first = counted->first;
    return std::string(key == GroupKey::Script  ? scriptName(first)
                       : key == GroupKey::Block ? blockName(first)
                                                : categoryCode(first));
}

std::vector<std::size_t> mostFrequentRows(std::span<const ProfileRow> rows, std::size_t count) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (countedCharacter(rows[i])) {
            found.push_back(i);
        }
    }
    // The most frequent first; of equal counts, the one listed first.
    const std::size_t kept = std::min(count, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end(),
                      [rows](std::size_t a, std::size_t b) {
                          return rows[a].frequency != rows[b].frequency
                                     ? rows[a].frequency > rows[b].frequency
                                     : a < b;
                      });
    found.resize(kept);
    return found;
}

std::vector<CharacterGroup> groupRows(std::span<const ProfileRow> rows, GroupKey key) {
    std::map<std::string, CharacterGroup, std::less<>> byName;
    for (const ProfileRow& row : rows) {
        std::optional<std::string> name = groupOfRow(row, key);
        if (!name) {
            continue;
        }
        auto [it, added] = byName.try_emplace(*name);
        if (added) {
            it->second.name = std::move(*name);
        }
        ++it->second.characters;
        it->second.frequency += row.frequency;
    }
    std::vector<CharacterGroup> groups;
    groups.reserve(byName.size());
    for (auto& [name, group] : byName) {
        groups.push_back(std::move(group));
    }
    // The map gave name order; a stable sort keeps it among equal frequencies.
    std::stable_sort(
        groups.begin(), groups.end(),
        [](const CharacterGroup& a, const CharacterGroup& b) { return a.frequency > b.frequency; });
    return groups;
}

}  // namespace runemeter
