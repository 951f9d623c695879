// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/customise_menu.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <utility>

namespace runemeter {

namespace {

// The tags, within 0..199, whose items a user may give other shortcuts.
constexpr std::array<std::pair<std::int32_t, std::int32_t>, 15> kCustomisableRanges = {{
    {0, 26},
    {28, 55},
    {59, 66},
    {69, 70},
    {72, 72},
    {77, 87},
    {89, 91},
    {95, 104},
    {110, 111},
    {114, 121},
    {126, 127},
    {130, 131},
    {141, 145},
    {150, 151},
    {164, 166},
}};

int compareCaseBlind(const std::u16string& a, const std::u16string& b) {
    UErrorCode status = U_ZERO_ERROR;
    return u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                            static_cast<int32_t>(b.size()), U_FOLD_CASE_DEFAULT, &status);
}

}  // namespace

bool IsCustomisableTag(std::int32_t tag) {
    if (tag < 0) {
        return false;
    }
    return std::any_of(
        kCustomisableRanges.begin(), kCustomisableRanges.end(),
        [tag](const auto& range) { return tag >= range.first && tag <= range.second; });
}

std::u16string StripHotkeyMarker(std::u16string_view caption) {
    std::u16string plain;
    plain.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            plain += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            plain += u'&';
            ++i;
        }
    }
    return plain;
}

bool IsCustomisableItem(const MenuItemFacts& item) {
    return !item.separator && item.caption != u"o" && item.caption != u"-" && !item.hasSubItems &&
           !item.topLevel && IsCustomisableTag(item.tag);
}

std::int32_t TCustomisableMenuItemsList::add(std::u16string_view plainCaption, std::int32_t tag) {
    const auto sequence = static_cast<std::int32_t>(m_items.size());
    m_items.push_back(TMyMenuItemHolder{sequence, tag, std::u16string(plainCaption)});
    return sequence;
}

void TCustomisableMenuItemsList::sortByCaption() {
    std::stable_sort(m_items.begin(), m_items.end(),
                     [](const TMyMenuItemHolder& a, const TMyMenuItemHolder& b) {
                         return compareCaseBlind(a.caption, b.caption) < 0;
                     });
}

std::u16string TCustomisableMenuItemsList::TagToPlainMenuCaption(std::int32_t tag) const {
    for (const TMyMenuItemHolder& item : m_items) {
        if (item.tag == tag) {
            return item.caption;
        }
    }
    return {};
}

std::int32_t TCustomisableMenuItemsList::TagFromPlainMenuCaption(
    std::u16string_view caption) const {
    for (const TMyMenuItemHolder& item : m_items) {
        if (item.caption == caption) {
            return item.tag;
        }
    }
    return 0;
}

std::vector<ShortcutUpdate> TCustomisableMenuItemsList::UpdatefromCustomMenuShortcutAndTags(
    std::span<const CustomMenuShortcut> table) const {
    std::vector<ShortcutUpdate> updates;
    const std::size_t count = std::min(table.size(), kCustomMenuShortcutCount);
    for (std::size_t i = 0; i < count; ++i) {
        const CustomMenuShortcut& entry = table[i];
        // A longer text cannot come from the suite's table; it is not guessed at.
        if (entry.text.empty() || entry.text.size() > kMaxShortcutTextLength) {
            continue;
        }
        for (const TMyMenuItemHolder& item : m_items) {
            if (item.tag == entry.tag) {
                updates.push_back(ShortcutUpdate{item.sequence, entry.text});
            }
        }
    }
    return updates;
}

}  // namespace runemeter
