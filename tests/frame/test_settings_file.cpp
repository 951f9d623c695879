// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: its text format, the safe save, hostile files, the scrambling of passwords.

#include "frame/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "suite/unicode_text.h"
#include "support/allocation_probe.h"
#include "support/files.h"

namespace runemeter {
namespace {

using namespace test;
using Texts = std::vector<std::u16string>;

std::string folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string() + " ");
    std::sort(names.begin(), names.end());
    return std::accumulate(names.begin(), names.end(), std::string());
}

// A stored value as one text ("int:5", "list:<a><b>", "missing"). Every read is tried: only the
// one of the value's type finds it, the others see another type and leave their result alone.
std::u16string render(const SettingsFile& ini, std::u16string_view key, std::u16string_view name) {
    std::u16string s = u"?";
    bool b = false;
    std::int32_t n = -9;
    Texts l = {u"?"};
    const std::vector<ReadStatus> read = {ini.ReadString(key, name, s), ini.ReadBool(key, name, b),
                                          ini.ReadInteger(key, name, n),
                                          ini.ReadMultiString(key, name, l)};
    const auto found = std::find(read.begin(), read.end(), ReadStatus::Found) - read.begin();
    EXPECT_EQ(std::count(read.begin(), read.end(), ReadStatus::WrongType), found < 4 ? 3 : 0);
    EXPECT_TRUE((found == 0 || s == u"?") && (found == 2 || n == -9) &&
                (found == 3 || l == Texts{u"?"}));
    std::u16string list = u"list:";
    for (const auto& item : l)
        list += u"<" + item + u">";
    const std::u16string shown[] = {
        (ini.typeOf(key, name) == SettingsValueType::String ? u"str:" : u"wstr:") + s,
        b ? u"bool:true" : u"bool:false", u"int:" + utf8ToUtf16(std::to_string(n)), list,
        u"missing"};
    return shown[found];
}

TEST(SettingsFileFormat, NastyTextsSurviveAsValuesListsAndNames) {
    const Texts texts = {u"a=b=c",         u";x",      u"#x",        u"[x]",
                         u"  x  ",         u"  ",      u"\tx\t",     u"a\r\nb\n",
                         u"C:\\d\\n\\s\\", u"|a|b|",   u"k:str=v",   u"Zürich 漢字",
                         u"\U0001F600",    u"x\xD800", {u"a\0b", 3}, u"\\u00ZZ",
                         u"\x7F\x01\x1A",  u""};
    for (const std::u16string& text : texts) {
        SCOPED_TRACE(utf16ToUtf8(text));
        const std::u16string key = text.empty() ? u"Edit1" : text;  // names are never empty
        SettingsFile ini;
        ini.WriteWideString(key, u"w", text);
        ini.WriteMultiString(key, u"list", Texts{text, u"x" + text, u"", text + u"y"});
        ini.WriteMultiString(key, u"one", Texts{text});
        ini.WriteMultiString(key, u"none", Texts{});
        ini.WriteBool(key, key, true);
        ini.WriteInteger(key, key, 7);  // replaces the Boolean
        const std::string written = ini.serialise();
        SettingsFile back;
        const auto error = back.parse(written);
        ASSERT_FALSE(error) << describeInputError(*error) << "\n" << written;
        for (const char16_t* name : {u"w", u"list", u"one", u"none"})
            EXPECT_EQ(render(back, key, name), render(ini, key, name));
        EXPECT_EQ(render(back, key, key), u"int:7");
    }
}

// Hand-edited text: what the reader makes of value v of section A, or its error with the line.
TEST(SettingsFileFormat, ReaderTable) {
    std::vector<std::tuple<const char*, std::string, std::u16string>> rows = {
        {"blanks around", "  [ A ]  \n  v : bool =  TRUE  \n", u"bool:true"},
        {"bom, comments, crlf", "\xEF\xBB\xBF# c\r\n[A]\r\n;v:int=1\r\nv:int=2\r\n", u"int:2"},
        {"last item open", "[A]\nv:list=a|b\n", u"list:<a><b>"},
        {"names are exact", "[a]\nv:int=1\n[A]\nV:int=2\n", u"missing"},
        {"sections merge", "[A]\nx:int=1\n[B]\n[A]\nv:wstr=two", u"wstr:two"},
        {"escapes", "[A]\nv:str=\\u00e9\\s\\|\t=\n", u"str:\u00E9 |\t="},
        {"value first", "; c\nv:int=1\n", u"line 2: a value before the first section"},
        {"no equals", "[A]\njust text\n", u"line 2: expected name:type=value"},
        {"no type", "[A]\nv=1\n", u"line 2: the value has no type (expected name:type=value)"},
        {"unknown type", "[A]\nv:float=1.5\n", u"line 2: unknown type \"float\""},
        {"bad bool", "[A]\nv:bool=yes\n", u"line 2: not a Boolean (true or false)"},
        {"int too big", "[A]\nv:int=2147483648\n", u"line 2: not a 32-bit integer"},
        {"int and text", "[A]\nv:int=12a\n", u"line 2: not a 32-bit integer"},
        {"unknown escape", "[A]\n\nv:str=a\\qb\n", u"line 3: unknown escape \\q"},
        {"backslash at end", "[A\\]\n", u"line 1: a backslash ends the line"},
        {"bad \\u", "[A]\nv:str=\\u12G4\n", u"line 2: \\u needs four hex digits"},
        {"control", "[A]\nv:str=a\x01z\n", u"line 2: control character in the line"},
        {"lone cr", "[A]\nv:str=a\rb\n", u"line 2: control character in the line"},
        {"unclosed", "[A\n", u"line 1: a section name must end with ]"},
        {"empty section", "[ ]\n", u"line 1: empty section name"},
        {"empty name", "[A]\n:int=1\n", u"line 2: empty value name"},
        {"twice", "[A]\nv:int=1\n[B]\n[A]\nv:int=2\n",
         u"line 5: the value is given twice in this section"},
        {"utf-8", "[A]\nv:str=\xC3\xA9\xF0\x9F\x98\x80\n", u"str:\u00E9\U0001F600"},
        {"malformed utf-8", "[A]\nv:str=a\xED\xA0\x80\n", u"line 2: malformed UTF-8"},
    };
    for (const auto& [label, text, result] : rows) {
        SCOPED_TRACE(label);
        SettingsFile ini;
        ini.WriteBool(u"Old", u"x", true);
        const auto error = ini.parse(text);
        const std::string message = error ? describeInputError(*error) : "";
        EXPECT_EQ(error ? std::u16string(message.begin(), message.end()) : render(ini, u"A", u"v"),
                  result);
        EXPECT_EQ(render(ini, u"Old", u"x"), u"missing");
        EXPECT_EQ(ini.empty(), error.has_value());
    }
}

// The safe save step by step: a new file in new folders, a file replaced through a link, and a
// file that does not load kept aside.
TEST(SettingsFileDisk, SaveReplacesTheFileWholeAndLosesNothing) {
    TempDir temp;
    const fs::path file = temp / "a/b/tool.ini";
    SettingsFile ini;
    ini.WriteWideString(u"ElFolderNameEdit1", u"text", u"/home/\u00FCser");
    ASSERT_FALSE(ini.Save(file));
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    SettingsFile back;
    ASSERT_FALSE(back.Load(file));
    EXPECT_EQ(render(back, u"ElFolderNameEdit1", u"text"), u"wstr:/home/\u00FCser");

    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(file, mode);
    fs::create_symlink(file, temp / "a/b/link.ini");
    ini.WriteInteger(u"A", u"v", 2);
    ASSERT_FALSE(ini.Save(temp / "a/b/link.ini"));
    EXPECT_TRUE(fs::is_symlink(temp / "a/b/link.ini"));
    EXPECT_EQ(readFile(file), ini.serialise());
    EXPECT_EQ(fs::status(file).permissions(), mode);
    EXPECT_EQ(folderEntries(temp / "a/b"), "link.ini tool.ini ");

    const std::string damaged = std::string(kSettingsFileHeader) + "[E]\nt:wstr=#\n[A]\nv:oops\n";
    writeFile(file, damaged);
    ASSERT_FALSE(ini.Save(file));
    EXPECT_EQ(readFile(temp / "a/b/tool.ini.damaged"), damaged);
    ini.WriteInteger(u"A", u"v", 3);  // over a good file: the copy stays as it is, no other
    ASSERT_FALSE(ini.Save(file));
    EXPECT_EQ(readFile(temp / "a/b/tool.ini.damaged"), damaged);
    EXPECT_EQ(folderEntries(temp / "a/b"), "link.ini tool.ini tool.ini.damaged ");
}

TEST(SettingsFileDisk, FailedSaveKeepsTheOldFileAndLeavesNothingBehind) {
    const std::string longName(250, 'n');  // too long for the temporary file's name
    const std::vector<std::tuple<const char*, fs::path, fs::path, std::string>> rows = {
        {"target is a folder", "tool.ini", "tool.ini/inside", "it is a folder"},
        {"parent is a file", "file/tool.ini", "file", "cannot create the folder"},
        {"no temporary file", longName, longName, "cannot create a file in"}};
    for (const auto& [label, target, kept, messagePart] : rows) {
        SCOPED_TRACE(label);
        TempDir temp;
        writeFile(temp / kept, "keep me");
        const auto before = folderEntries(temp.path());
        SettingsFile ini;
        ini.WriteBool(u"CheckBoxFolders", u"checked", true);
        const auto error = ini.Save(temp / target);
        ASSERT_TRUE(error);
        EXPECT_NE(error->message.find(messagePart), std::string::npos) << error->message;
        EXPECT_EQ(readFile(temp / kept), "keep me");
        EXPECT_EQ(folderEntries(temp.path()), before);
    }
}

TEST(SettingsFileDisk, AReadOnlyFolderRefusesTheSaveAndKeepsTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    TempDir temp;
    writeFile(temp / "ro/tool.ini", "keep me");
    fs::permissions(temp / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    SettingsFile ini;
    ini.WriteBool(u"CheckBoxFolders", u"checked", true);
    const auto error = ini.Save(temp / "ro/tool.ini");
    ASSERT_TRUE(error);
    EXPECT_NE(error->message.find("cannot create a file in"), std::string::npos) << error->message;
    EXPECT_EQ(error->code, InputErrorCode::Unwritable);
    EXPECT_EQ(readFile(temp / "ro/tool.ini"), "keep me");
}

// Files that are no settings, or hostile ones: each loads as nothing with one short line, and
// the reader never asks for much more memory than the file's size (none for a file over the
// limit, which is refused unread).
TEST(SettingsFileDisk, HostileFilesLoadAsNothingWithOneShortLine) {
    const std::string head = std::string(kSettingsFileHeader) + "[Form]\n";
    const std::vector<std::tuple<const char*, std::optional<std::string>, std::string>> rows = {
        {"fifo", std::nullopt, "not a readable file: /"},
        {"over the limit", std::string(kMaxSettingsFileSize + 1, '\0'), "the file is too large"},
        {"at the limit", std::string(kMaxSettingsFileSize, '\0'), "line 1: control character"},
        {"one line of 3 MiB", std::string(3 << 20, 'x'),
         "line 1: a value before the first section"},
        {"nul in a value", head + std::string("v:str=x\0y\n", 10),
         "line 5: control character in the line"},
        {"huge type", head + "v:" + std::string(2 << 20, 't') + "=1\n",
         "line 5: unknown type \"tttttttttttttttttttttttttttttttt\"..."},
        {"type not UTF-8", head + "v:\xFF\xFE\t\"=1\n",
         "line 5: unknown type \"\\xFF\\xFE\\x09\\x22\""}};
    for (const auto& [label, content, messagePart] : rows) {
        SCOPED_TRACE(label);
        TempDir dir;
        const fs::path file = dir / "tool.ini";
        if (content)
            writeFile(file, *content);
        else
            ::mkfifo(file.c_str(), 0600);  // opened to be read, it would wait for ever
        const std::uintmax_t size = fs::is_regular_file(file) ? fs::file_size(file) : 0;
        SettingsFile ini;
        ini.WriteBool(u"Old", u"x", true);
        const test::AllocationProbe probe;
        const auto error = ini.Load(file);
        const std::size_t largest = probe.largest();
        ASSERT_TRUE(error);
        EXPECT_TRUE(ini.empty());
        EXPECT_LE(largest, size > kMaxSettingsFileSize ? 64 * 1024 : 2 * size + 64 * 1024);
        EXPECT_EQ(error->code, !content                      ? InputErrorCode::Unreadable
                               : size > kMaxSettingsFileSize ? InputErrorCode::TooLarge
                                                             : InputErrorCode::Malformed);
        const std::string message = describeInputError(*error);
        EXPECT_NE(message.find(messagePart), std::string::npos) << message;
        EXPECT_LT(message.size(), 120u) << message;
        EXPECT_EQ(message.find_first_of("\n\r\t"), std::string::npos) << message;
    }
}

// Byte k is xor-ed with key character k mod 17 unless the byte or the result would be 0 or 26.
TEST(ScrambleText, KeyAndTheZeroAnd26Rule) {
    const std::string keyOnA = "\x10\x37vb1\r9x`\x15,s\x01*\x13;e";  // 'A' ^ each key unit
    const std::vector<std::tuple<const char*, std::string, std::string>> rows = {
        {"the key, and again after it", std::string(18, 'A'), keyOnA + "\x10"},
        {"result 0 at 0 and after the wrap", std::string("Q").append(16, 'A').append("Q"),
         std::string("Q").append(keyOnA.substr(1)).append("Q")},
        {"result 26 at 5", "AAAAAV", keyOnA.substr(0, 5) + "V"},
        {"0 and 26 in the text", std::string("A\0\x1A", 3), std::string("\x10\0\x1A", 3)}};
    for (const auto& [label, text, scrambled] : rows) {
        SCOPED_TRACE(label);
        EXPECT_EQ(ScrambleText(text), scrambled);
        EXPECT_EQ(ScrambleText(scrambled), text);
    }
}

}  // namespace
}  // namespace runemeter
