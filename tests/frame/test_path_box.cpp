// SPDX-License-Identifier: GPL-3.0-or-later
// The path box's core: the recent list (add, dedupe, cap) and the window's command line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/recent_paths.h"
#include "frame/window_arguments.h"

namespace runemeter {
namespace {

using Paths = std::vector<std::u16string>;

// One path per letter: "ab" is {"/a", "/b"}.
Paths paths(std::u16string_view letters) {
    Paths list;
    for (const char16_t letter : letters)
        list.push_back(std::u16string(u"/") + letter);
    return list;
}

TEST(RecentPaths, AddDedupeAndCap) {
    const struct {
        const char* name;
        const char16_t *before, *added, *after;
    } rows[] = {
        {"first path", u"", u"a", u"a"},
        {"the latest in front", u"ab", u"c", u"cab"},
        {"a repeat moves to the front", u"abc", u"c", u"cab"},
        {"case differs: another path", u"A", u"a", u"aA"},
        {"the eleventh drops the oldest", u"0123456789", u"n", u"n012345678"},
        {"a repeat in a full list drops nothing", u"0123456789", u"5", u"5012346789"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WithRecentPath(paths(row.before), paths(row.added)[0]), paths(row.after));
    }
    // A trailing slash names the same folder (the new spelling stays); the root keeps its slash.
    EXPECT_EQ(WithRecentPath({u"/a", u"/t"}, u"/t/"), (Paths{u"/t/", u"/a"}));
    EXPECT_EQ(WithRecentPath({u"/a"}, u"/"), (Paths{u"/", u"/a"}));
    EXPECT_EQ(WithRecentPath({u"/a"}, u"  "), paths(u"a"));  // a blank path changes nothing
    // A hand-edited list: blanks and repeats go, the first ten stay in their order.
    Paths stored = paths(u"ab");
    stored.insert(stored.end(), {u"", u"/a/"});
    for (const std::u16string& path : paths(u"c0123456789"))
        stored.push_back(path);
    EXPECT_EQ(CleanRecentPaths(stored), paths(u"abc0123456"));
}

TEST(WindowArguments, OptionsPathsAndRefusals) {
    using Action = WindowArguments::Action;
    const struct {
        const char* name;
        std::vector<std::string_view> args;
        Action action;
        std::vector<std::string> paths;
        std::string textHas;
    } rows[] = {
        {"no arguments", {}, Action::Open, {}, ""},
        {"relative to the current folder",
         {"texts", "../a.txt", "/abs"},
         Action::Open,
         {"/home/ada/texts", "/home/a.txt", "/abs"},
         ""},
        {"a path that starts with '-' after --",
         {"--", "-odd", "--"},
         Action::Open,
         {"/home/ada/-odd", "/home/ada/--"},
         ""},
        {"help wins", {"x", "--help"}, Action::Print, {}, "Usage: runemeter"},
        {"-h", {"-h"}, Action::Print, {}, "Usage: runemeter"},
        {"version", {"--version"}, Action::Print, {}, "runemeter " RUNEMETER_VERSION "\n"},
        {"unknown option", {"-odd"}, Action::Refuse, {}, "unknown option '-odd'"},
        {"standard input", {"-"}, Action::Refuse, {}, "standard input"},
        {"an empty path", {""}, Action::Refuse, {}, "empty path"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const WindowArguments result = ParseWindowArguments(row.args, "/home/ada");
        EXPECT_EQ(result.action, row.action);
        std::vector<std::string> paths;
        for (const auto& path : result.paths)
            paths.push_back(path.string());
        EXPECT_EQ(paths, row.paths);
        EXPECT_NE(result.text.find(row.textHas), std::string::npos) << result.text;
    }
}

}  // namespace
}  // namespace runemeter
