#include "results/groups.h"

#include <algorithm>
#include <map>

#include "profile/char_properties.h"
#include "results/row_fields.h"

namespace runemeter {

namespace {

std::string_view typeGroupName(CharacterType type) {
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
    return "other";
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

std::vector<CharacterGroup> groupRows(std::span<const ProfileRow> rows, GroupKey key) {
    std::map<std::string, CharacterGroup, std::less<>> byName;
    for (const ProfileRow& row : rows) {
        if (row.frequency <= 0) {
            continue;
        }
        const RowFields fields = deriveRowFields(row.text);
        const std::vector<char32_t> codePoints = codePointsOfCodeField(fields.codeField);
        if (codePoints.empty() || codePoints.front() < 32) {
            continue;
        }
        std::string name;
        if (key == GroupKey::Type) {
            name = typeGroupName(characterType(fields));
        } else {
            const char32_t first = codePoints.front();
            name = key == GroupKey::Script  ? scriptName(first)
                   : key == GroupKey::Block ? blockName(first)
                                            : categoryCode(first);
        }
        auto [it, added] = byName.try_emplace(name);
        if (added) {
            it->second.name = name;
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
