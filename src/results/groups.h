// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Rows gathered into groups by a property of their character: script, block, general category
// or the list's type column. The command line prints them; the window's overview shows them.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "profile/profile.h"

namespace runemeter {

/// What the rows are grouped by.
enum class GroupKey { Script, Block, Category, Type };

/// The key named "script", "block", "category" or "type"; nothing for any other name.
[[nodiscard]] std::optional<GroupKey> groupKeyNamed(std::string_view name);

/// The name of a key, as groupKeyNamed takes it.
[[nodiscard]] std::string_view groupKeyName(GroupKey key);

/// One group: its name (ICU's script or block name, the two-letter category, or letter, digit,
/// punctuation or other), how many distinct characters of it occurred, and how often.
struct CharacterGroup {
    std::string name;
    std::int64_t characters = 0;
    std::int64_t frequency = 0;
    friend bool operator==(const CharacterGroup&, const CharacterGroup&) = default;
};

/// The groups of the character rows that occurred and count towards the total (a code of 32
/// or more; line-break and total rows are no character rows), largest frequency first, equal
/// frequencies by name. Over all rows of a profile the frequencies add up to its total. A row
/// of several code points is grouped by its first; its type is the list's type column.
[[nodiscard]] std::vector<CharacterGroup> groupRows(std::span<const ProfileRow> rows, GroupKey key);

/// The name of the group a row falls in, as groupRows names it; nothing for a row groupRows
/// leaves out (no character row, or one that did not occur).
[[nodiscard]] std::optional<std::string> groupOfRow(const ProfileRow& row, GroupKey key);

/// The indexes of the count most frequent character rows (those groupRows counts), most
/// frequent first; equal frequencies keep the rows' order.
[[nodiscard]] std::vector<std::size_t> mostFrequentRows(std::span<const ProfileRow> rows,
                                                        std::size_t count);

}  // namespace runemeter
