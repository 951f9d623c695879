// The customisable menu list: which items belong, their order, and the lookups.

#include "frame/customise_menuU.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace runemeter {
namespace {

// The set written the way the suite documents it, parsed independently of the code's table.
std::set<int> referenceTags() {
    const std::string text =
        "0-26, 28-55, 59-66, 69, 70, 72, 77-87, 89-91, 95-104, 110, 111, 114-121, 126, 127, 130, "
        "131, 141-145, 150, 151, 164-166";
    std::set<int> tags;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        const auto dash = part.find('-');
        const int first = std::stoi(part.substr(0, dash));
        const int last = dash == std::string::npos ? first : std::stoi(part.substr(dash + 1));
        for (int tag = first; tag <= last; ++tag) {
            tags.insert(tag);
        }
    }
    return tags;
}

TEST(CustomisableTags, MatchTheSuitesSetExactly) {
    const std::set<int> reference = referenceTags();
    for (int tag = -300; tag < 400; ++tag) {
        EXPECT_EQ(IsCustomisableTag(tag), reference.count(tag) == 1) << "tag " << tag;
    }
}

TEST(StripHotkeyMarker, RemovesMarkersAndKeepsDoubledAmpersands) {
    const std::vector<std::pair<std::u16string, std::u16string>> rows = {
        {u"E&xit", u"Exit"},
        {u"&Open...", u"Open..."},
        {u"Save && go", u"Save & go"},
        {u"&&&x", u"&x"},
        {u"&", u""},
        {u"a&", u"a"},
        {u"plain", u"plain"},
        {u"\u00DC&ber", u"\u00DCber"},
        {u"", u""},
    };
    for (const auto& [caption, plain] : rows) {
        EXPECT_EQ(StripHotkeyMarker(caption), plain) << std::string(caption.begin(), caption.end());
    }
}

TEST(CustomisableItems, OnlyPlainCommandItemsBelong) {
    struct Row {
        const char* label;
        MenuItemFacts item;
        bool belongs;
    };
    const std::vector<Row> rows = {
        {"command", {u"&New", 8, false, false, false}, true},
        {"tag 0", {u"Zero", 0, false, false, false}, true},
        {"separator", {u"", 8, true, false, false}, false},
        {"caption o", {u"o", 8, false, false, false}, false},
        {"caption -", {u"-", 8, false, false, false}, false},
        {"has sub-items", {u"Recent", 8, false, true, false}, false},
        {"group heading", {u"&File", 8, false, false, true}, false},
        {"tag outside the set", {u"Odd", 27, false, false, false}, false},
        {"no tag", {u"None", -1, false, false, false}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsCustomisableItem(row.item), row.belongs) << row.label;
    }
}

TCustomisableMenuItemsList sampleList() {
    TCustomisableMenuItemsList list;
    for (const auto& [caption, tag] :
         std::vector<std::pair<std::u16string, int>>{{u"exit", 91},
                                                     {u"About", 145},
                                                     {u"Exit", 90},
                                                     {u"apple", 5},
                                                     {u"Zed", 6},
                                                     {u"about", 144},
                                                     {u"\u00C4rger", 7}}) {
        list.add(caption, tag);
    }
    return list;
}

TEST(CustomisableList, SortsByCaptionCaseBlindKeepingFoundOrderForEqualCaptions) {
    TCustomisableMenuItemsList list = sampleList();
    list.sortByCaption();
    std::vector<std::u16string> captions;
    std::vector<int> sequences;
    for (const auto& item : list.items()) {
        captions.push_back(item.caption);
        sequences.push_back(item.sequence);
    }
    EXPECT_EQ(captions, (std::vector<std::u16string>{u"About", u"about", u"apple", u"exit", u"Exit",
                                                     u"Zed", u"\u00C4rger"}));
    EXPECT_EQ(sequences, (std::vector<int>{1, 5, 3, 0, 2, 4, 6}));
}

TEST(CustomisableList, LooksUpCaptionsAndTags) {
    TCustomisableMenuItemsList list = sampleList();
    list.sortByCaption();
    EXPECT_EQ(list.TagToPlainMenuCaption(90), u"Exit");
    EXPECT_EQ(list.TagToPlainMenuCaption(91), u"exit");
    EXPECT_EQ(list.TagToPlainMenuCaption(12), u"");
    EXPECT_EQ(list.TagFromPlainMenuCaption(u"Exit"), 90);  // exact, not case-blind
    EXPECT_EQ(list.TagFromPlainMenuCaption(u"exit"), 91);
    EXPECT_EQ(list.TagFromPlainMenuCaption(u"EXIT"), 0);
    EXPECT_EQ(list.TagFromPlainMenuCaption(u""), 0);
}

TEST(CustomisableList, ShortcutTableUpdatesListedTagsOnly) {
    TCustomisableMenuItemsList list;
    list.add(u"New", 8);
    list.add(u"Open...", 3);
    list.add(u"New window", 8);
    std::vector<CustomMenuShortcut> table(kCustomMenuShortcutCount);
    table[0] = {u"Ctrl+Shift+N", 8};
    table[1] = {u"", 3};                       // empty: nothing changes
    table[2] = {u"F9", 66};                    // tag not in the list
    table[3] = {std::u16string(31, u'x'), 3};  // longest allowed text
    table[4] = {std::u16string(32, u'y'), 3};  // too long for the table
    table.push_back({u"F2", 3});               // past the 120 entries
    const auto updates = list.UpdatefromCustomMenuShortcutAndTags(table);
    ASSERT_EQ(updates.size(), 3u);
    EXPECT_EQ(updates[0].sequence, 0);
    EXPECT_EQ(updates[0].text, u"Ctrl+Shift+N");
    EXPECT_EQ(updates[1].sequence, 2);
    EXPECT_EQ(updates[1].text, u"Ctrl+Shift+N");
    EXPECT_EQ(updates[2].sequence, 1);
    EXPECT_EQ(updates[2].text, std::u16string(31, u'x'));
}

}  // namespace
}  // namespace runemeter
