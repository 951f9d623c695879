// SPDX-License-Identifier: GPL-3.0-or-later
// The customisable menu list: hotkey markers, which items belong, sorting and lookups.

#include "frame/customise_menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace runemeter {
namespace {

TEST(CustomiseMenu, HotkeyMarkersGoAndDoubledAmpersandsStay) {
    EXPECT_EQ(StripHotkeyMarker(u"E&xit&"), u"Exit");
    EXPECT_EQ(StripHotkeyMarker(u"Save && &go, &&&x"), u"Save & go, &x");
}

TEST(CustomiseMenu, OnlyPlainCommandItemsWithACustomisableTagBelong) {
    const auto belongs = [](const char16_t* caption, int tag, bool separator = false,
                            bool subItems = false, bool groupHeading = false) {
        return IsCustomisableItem({caption, tag, separator, subItems, groupHeading});
    };
    EXPECT_TRUE(belongs(u"New", 8));
    EXPECT_FALSE(belongs(u"", 8, true) || belongs(u"o", 8) || belongs(u"-", 8));
    EXPECT_FALSE(belongs(u"Recent", 8, false, true) || belongs(u"File", 8, false, false, true));
    EXPECT_FALSE(belongs(u"Odd", 27) || belongs(u"None", -1));
}

TEST(CustomiseMenu, CaptionsSortCaseBlindKeepingTheirOrderAndAreLookedUp) {
    const std::vector<std::u16string> captions = {u"exit", u"About", u"Exit",      u"apple",
                                                  u"Zed",  u"about", u"\u00C4rger"};
    const std::vector<int> tags = {91, 145, 90, 5, 5, 144, 7};
    TCustomisableMenuItemsList list;
    for (std::size_t i = 0; i < captions.size(); ++i)
        list.add(captions[i], tags[i]);
    list.sortByCaption();
    std::vector<std::u16string> sorted;
    for (const auto& item : list.items())
        sorted.push_back(item.caption);
    EXPECT_EQ(sorted, (std::vector<std::u16string>{u"About", u"about", u"apple", u"exit", u"Exit",
                                                   u"Zed", u"\u00C4rger"}));
    EXPECT_EQ(list.TagToPlainMenuCaption(90), u"Exit");
    EXPECT_EQ(list.TagToPlainMenuCaption(12), u"");
    EXPECT_EQ(list.TagFromPlainMenuCaption(u"exit"), 91);  // exact, not case-blind
    EXPECT_EQ(list.TagFromPlainMenuCaption(u"EXIT"), 0);

    // Shortcuts go to every item with the entry's tag; an entry without a text, with too long a
    // text or past the table's 120 is ignored.
    std::vector<CustomMenuShortcut> table(121, {u"", 7});
    table[0] = {u"Ctrl+N", 5};
    table[1] = {std::u16string(32, u'y'), 90};
    table[2] = {std::u16string(31, u'x'), 91};
    table[120] = {u"F2", 144};
    std::vector<std::pair<int, std::u16string>> updates;
    for (const ShortcutUpdate& update : list.UpdatefromCustomMenuShortcutAndTags(table))
        updates.emplace_back(update.sequence, update.text);
    EXPECT_EQ(updates, (std::vector<std::pair<int, std::u16string>>{
                           {3, u"Ctrl+N"}, {4, u"Ctrl+N"}, {0, std::u16string(31, u'x')}}));
}

}  // namespace
}  // namespace runemeter
