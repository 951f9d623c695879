// The path box's core: the recent list (add, dedupe, cap) and the window's command line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/recent_paths.h"
#include "frame/window_arguments.h"

namespace runemeter {
namespace {

using Paths = std::vector<std::u16string>;

// Ten distinct paths /0 ... /9.
Paths full() {
    Paths paths;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        paths.push_back(std::u16string(u"/") + digit);
    return paths;
}

TEST(RecentPaths, AddDedupeAndCap) {
    Paths fullWithNew = full();
    fullWithNew.insert(fullWithNew.begin(), u"/new");
    fullWithNew.pop_back();
    Paths fullWith5First = full();
    fullWith5First.erase(fullWith5First.begin() + 5);
    fullWith5First.insert(fullWith5First.begin(), u"/5");
    const struct {
        const char* name;
        Paths before;
        std::u16string added;
        Paths after;
    } rows[] = {
        {"first path", {}, u"/a", {u"/a"}},
        {"the latest in front", {u"/a", u"/b"}, u"/c", {u"/c", u"/a", u"/b"}},
        {"a repeat moves to the front", {u"/a", u"/b", u"/c"}, u"/c", {u"/c", u"/a", u"/b"}},
        {"a trailing slash is the same folder, the new spelling stays",
         {u"/a", u"/t"},
         u"/t/",
         {u"/t/", u"/a"}},
        {"the root keeps its slash", {u"/a"}, u"/", {u"/", u"/a"}},
        {"case differs: another path", {u"/A"}, u"/a", {u"/a", u"/A"}},
        {"a blank path changes nothing", {u"/a"}, u"  ", {u"/a"}},
        {"the eleventh drops the oldest", full(), u"/new", fullWithNew},
        {"a repeat in a full list drops nothing", full(), u"/5", fullWith5First},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WithRecentPath(row.before, row.added), row.after);
    }
    // A hand-edited list: blanks and repeats go, the first ten stay in their order.
    const Paths ten = full();
    Paths stored = {u"/a", u"", u"/b", u"/a/", u"/c"};
    stored.insert(stored.end(), ten.begin(), ten.end());
    Paths expected = {u"/a", u"/b", u"/c"};
    expected.insert(expected.end(), ten.begin(), ten.begin() + 7);
    EXPECT_EQ(CleanRecentPaths(stored), expected);
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
