// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The list of customisable menu items of the suite's main menu: which items may take another
// shortcut, their plain captions, and the lookups by tag and caption. The menu widgets stay in
// the data module; each entry refers to its item by the sequence number it was found with.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// Entries in a table of custom shortcuts.
inline constexpr std::size_t kCustomMenuShortcutCount = 120;
/// Longest shortcut text of such a table, in UTF-16 code units.
inline constexpr std::size_t kMaxShortcutTextLength = 31;

/// True when items with this menu tag may be customised.
[[nodiscard]] bool IsCustomisableTag(std::int32_t tag);

/// A caption without its hotkey markers: "E&xit" -> "Exit"; a doubled "&&" stands for "&".
[[nodiscard]] std::u16string StripHotkeyMarker(std::u16string_view caption);

/// What the list needs to know about one menu item to decide whether it belongs.
struct MenuItemFacts {
    std::u16string caption;
    std::int32_t tag = -1;
    bool separator = false;
    bool hasSubItems = false;
    bool topLevel = false;  ///< a group heading of the main menu
};

/// True for items that belong in the list: no separator, caption neither "o" nor "-", no
/// sub-items, not a group heading, tag customisable.
[[nodiscard]] bool IsCustomisableItem(const MenuItemFacts& item);

/// One entry of the list.
struct TMyMenuItemHolder {
    std::int32_t sequence = 0;  ///< 0, 1, 2 … in the order the items were found
    std::int32_t tag = -1;
    std::u16string caption;  ///< without hotkey markers
};

/// One entry of a table of custom shortcuts.
struct CustomMenuShortcut {
    std::u16string text;  ///< the shortcut's name, such as "Ctrl+Shift+N"; empty for none
    std::int32_t tag = 0;
};

/// A shortcut text to be given to the item with this sequence number.
struct ShortcutUpdate {
    std::int32_t sequence = 0;
    std::u16string text;
};

/// The ordered list of customisable items.
class TCustomisableMenuItemsList {
public:
    /// Adds an item with the next sequence number; returns that number.
    std::int32_t add(std::u16string_view plainCaption, std::int32_t tag);
    /// Orders the entries by caption without regard to case; equal captions keep their order.
    void sortByCaption();
    /// The entries in their present order.
    [[nodiscard]] const std::vector<TMyMenuItemHolder>& items() const { return m_items; }
    /// The caption of the entry with this tag, or empty.
    [[nodiscard]] std::u16string TagToPlainMenuCaption(std::int32_t tag) const;
    /// The tag of the first entry whose caption equals caption exactly, or 0.
    [[nodiscard]] std::int32_t TagFromPlainMenuCaption(std::u16string_view caption) const;
    /// The shortcuts a table asks for: for every entry (up to 120) with a non-empty text of at
    /// most 31 units whose tag is in the list, one update per item with that tag, in table order.
    [[nodiscard]] std::vector<ShortcutUpdate> UpdatefromCustomMenuShortcutAndTags(
        std::span<const CustomMenuShortcut> table) const;

private:
    std::vector<TMyMenuItemHolder> m_items;
};

}  // namespace runemeter
