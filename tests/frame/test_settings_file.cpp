// The settings file: its text format, the safe save, the scrambling of passwords.

#include "frame/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace runemeter {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "rm-settings-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------------------------
// Text format

struct NastyText {
    const char* label;
    std::u16string text;
};

const std::vector<NastyText>& nastyTexts() {
    static const std::vector<NastyText> texts = {
        {"equals", u"a=b=c"},
        {"semicolon first", u";not a comment"},
        {"hash first", u"#not a comment"},
        {"bracket first", u"[not a section]"},
        {"leading blanks", u"   three"},
        {"trailing blanks", u"three   "},
        {"only blanks", u"  "},
        {"tabs", u"\tx\t"},
        {"line feed", u"one\ntwo"},
        {"cr lf", u"one\r\ntwo\r\n"},
        {"backslashes", u"C:\\dir\\n\\s\\"},
        {"pipes", u"|a|b|"},
        {"colon", u"k:str=v"},
        {"non-ASCII", u"Zürich \u6F22\u5B57 \u00A0nbsp"},
        {"surrogate pair", u"emoji \U0001F600"},
        {"lone surrogate", std::u16string(u"x\xD800y")},
        {"nul inside", std::u16string(u"a\0b", 3)},
        {"escape-like text", u"\\u00ZZ \\q"},
        {"empty", u""},
        {"delete char", u"\x7F"},
    };
    return texts;
}

TEST(SettingsFileFormat, NastyTextsSurviveAsStringsListsAndNames) {
    for (const NastyText& row : nastyTexts()) {
        SCOPED_TRACE(row.label);
        SettingsFile ini;
        const std::u16string key = row.text.empty() ? u"Edit1" : row.text;
        const std::u16string name = row.text.empty() ? u"v" : row.text;
        const std::vector<std::u16string> list = {row.text, u"x" + row.text, u"", row.text + u"y"};
        ini.WriteString(key, u"s", row.text);
        ini.WriteWideString(key, u"w", row.text);
        ini.WriteMultiString(key, u"l", list);
        ini.WriteInteger(key, name, 7);

        const std::string text = ini.serialise();
        // Header (3 lines), a blank line, the section and four values: nothing spills over.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 1 + 1 + 4) << text;

        SettingsFile back;
        const auto error = back.parse(text);
        ASSERT_FALSE(error) << describeSettingsError(*error) << "\n" << text;
        std::u16string s;
        std::u16string w;
        std::vector<std::u16string> l;
        std::int32_t n = 0;
        EXPECT_EQ(back.ReadString(key, u"s", s), ReadStatus::Found);
        EXPECT_EQ(back.ReadString(key, u"w", w), ReadStatus::Found);
        EXPECT_EQ(back.ReadMultiString(key, u"l", l), ReadStatus::Found);
        EXPECT_EQ(back.ReadInteger(key, name, n), ReadStatus::Found);
        EXPECT_EQ(s, row.text);
        EXPECT_EQ(w, row.text);
        EXPECT_EQ(l, list);
        EXPECT_EQ(n, 7);
        EXPECT_EQ(back.typeOf(key, u"s"), SettingsValueType::String);
        EXPECT_EQ(back.typeOf(key, u"w"), SettingsValueType::WideString);
    }
}

TEST(SettingsFileFormat, ListsKeepTheirItemCount) {
    const std::vector<std::vector<std::u16string>> lists = {
        {}, {u""}, {u"", u""}, {u"*.txt", u"*.xml", u"*.htm", u"*.*"}, {u" "}};
    for (const auto& list : lists) {
        SCOPED_TRACE(list.size());
        SettingsFile ini;
        ini.WriteMultiString(u"Box", u"v", list);
        SettingsFile back;
        ASSERT_FALSE(back.parse(ini.serialise()));
        std::vector<std::u16string> read = {u"sentinel"};
        ASSERT_EQ(back.ReadMultiString(u"Box", u"v", read), ReadStatus::Found);
        EXPECT_EQ(read, list);
    }
}

TEST(SettingsFileFormat, HeadIsTheThreeCommentLines) {
    SettingsFile ini;
    ini.WriteBool(u"CheckBoxZips", u"checked", true);
    const std::string text = ini.serialise();
    EXPECT_EQ(text.substr(0, text.find("\n\n") + 1),
              "; Runemeter created this settings file.\n"
              "; Delete it if you want.\n"
              "; Modify it at your own risk!\n");
    EXPECT_NE(text.find("[CheckBoxZips]\nchecked:bool=true\n"), std::string::npos) << text;
}

TEST(SettingsFileFormat, WritingAValueAgainReplacesIt) {
    SettingsFile ini;
    ini.WriteInteger(u"Spin", u"value", 1);
    ini.WriteBool(u"Spin", u"value", false);
    bool b = true;
    std::int32_t n = 0;
    EXPECT_EQ(ini.ReadInteger(u"Spin", u"value", n), ReadStatus::WrongType);
    EXPECT_EQ(ini.ReadBool(u"Spin", u"value", b), ReadStatus::Found);
    EXPECT_FALSE(b);
    ASSERT_EQ(ini.sections().size(), 1u);
    EXPECT_EQ(ini.sections()[0].values.size(), 1u);
}

TEST(SettingsFileFormat, ReadsReportMissingAndWrongTypeWithoutTouchingTheResult) {
    SettingsFile ini;
    ini.WriteInteger(u"Spin", u"value", 12);
    ini.WriteWideString(u"Edit", u"text", u"abc");
    bool b = true;
    std::int32_t n = -3;
    std::u16string s = u"keep";
    std::vector<std::u16string> l = {u"keep"};
    EXPECT_EQ(ini.ReadBool(u"Spin", u"value", b), ReadStatus::WrongType);
    EXPECT_EQ(ini.ReadString(u"Spin", u"value", s), ReadStatus::WrongType);
    EXPECT_EQ(ini.ReadMultiString(u"Edit", u"text", l), ReadStatus::WrongType);
    EXPECT_EQ(ini.ReadInteger(u"Edit", u"text", n), ReadStatus::WrongType);
    EXPECT_EQ(ini.ReadInteger(u"Nope", u"value", n), ReadStatus::Missing);
    EXPECT_EQ(ini.ReadInteger(u"Spin", u"nope", n), ReadStatus::Missing);
    EXPECT_EQ(ini.ReadInteger(u"spin", u"value", n), ReadStatus::Missing);  // names are exact
    EXPECT_TRUE(b);
    EXPECT_EQ(n, -3);
    EXPECT_EQ(s, u"keep");
    EXPECT_EQ(l, std::vector<std::u16string>{u"keep"});
}

struct AcceptedText {
    const char* label;
    std::string text;
    std::u16string key;
    std::u16string name;
    std::u16string expected;  // the value as read back, rendered by render()
};

std::u16string render(const SettingsFile& ini, std::u16string_view key, std::u16string_view name) {
    std::u16string s;
    bool b = false;
    std::int32_t n = 0;
    std::vector<std::u16string> l;
    if (ini.ReadString(key, name, s) == ReadStatus::Found)
        return u"s:" + s;
    if (ini.ReadBool(key, name, b) == ReadStatus::Found)
        return b ? u"b:1" : u"b:0";
    if (ini.ReadInteger(key, name, n) == ReadStatus::Found) {
        const std::string d = std::to_string(n);
        return u"i:" + std::u16string(d.begin(), d.end());
    }
    if (ini.ReadMultiString(key, name, l) == ReadStatus::Found) {
        std::u16string out = u"l:";
        for (const auto& item : l)
            out += u"<" + item + u">";
        return out;
    }
    return u"missing";
}

TEST(SettingsFileFormat, ReaderAcceptsHandEditedText) {
    const std::vector<AcceptedText> rows = {
        {"crlf", "[A]\r\nv:int=5\r\n", u"A", u"v", u"i:5"},
        {"bom", "\xEF\xBB\xBF[A]\nv:int=5\n", u"A", u"v", u"i:5"},
        {"blanks around", "  [ A ]  \n  v : bool =  TRUE  \n", u"A", u"v", u"b:1"},
        {"bool digits", "[A]\nv:bool=0\n", u"A", u"v", u"b:0"},
        {"plus sign", "[A]\nv:int=+7\n", u"A", u"v", u"i:7"},
        {"int min", "[A]\nv:int=-2147483648\n", u"A", u"v", u"i:-2147483648"},
        {"hash comment", "# note\n[A]\n#v:int=1\nv:int=2\n", u"A", u"v", u"i:2"},
        {"last item open", "[A]\nv:list=a|b\n", u"A", u"v", u"l:<a><b>"},
        {"empty list", "[A]\nv:list=\n", u"A", u"v", u"l:"},
        {"sections merge", "[A]\nx:int=1\n[B]\n[A]\nv:str=two\n", u"A", u"v", u"s:two"},
        {"no final newline", "[A]\nv:str=end", u"A", u"v", u"s:end"},
        {"raw tab inside", "[A]\nv:str=a\tb\n", u"A", u"v", u"s:a\tb"},
        {"unicode escape", "[A]\nv:str=\\u00e9\\u0041\n", u"A", u"v", u"s:\u00E9A"},
        {"equals in value", "[A]\nv:str===\n", u"A", u"v", u"s:=="},
    };
    for (const AcceptedText& row : rows) {
        SCOPED_TRACE(row.label);
        SettingsFile ini;
        const auto error = ini.parse(row.text);
        ASSERT_FALSE(error) << describeSettingsError(*error);
        EXPECT_EQ(render(ini, row.key, row.name), row.expected);
    }
}

struct RejectedText {
    const char* label;
    std::string text;
    std::size_t line;
    std::string messagePart;
};

TEST(SettingsFileFormat, ReaderReportsTheLineOfWhatItCannotParse) {
    const std::vector<RejectedText> rows = {
        {"value before section", "; c\nv:int=1\n", 2, "before the first section"},
        {"no equals", "[A]\njust text\n", 2, "name:type=value"},
        {"no type", "[A]\nv=1\n", 2, "no type"},
        {"unknown type", "[A]\nv:float=1.5\n", 2, "unknown type \"float\""},
        {"bad bool", "[A]\nv:bool=yes\n", 2, "Boolean"},
        {"int too big", "[A]\nv:int=2147483648\n", 2, "32-bit integer"},
        {"int with text", "[A]\nv:int=12abc\n", 2, "32-bit integer"},
        {"int empty", "[A]\nv:int=\n", 2, "32-bit integer"},
        {"unknown escape", "[A]\n\nv:str=a\\qb\n", 3, "unknown escape \\q"},
        {"backslash at end", "[A]\nv:str=a\\\n", 2, "backslash ends"},
        {"short unicode escape", "[A]\nv:str=\\u12\n", 2, "four hex digits"},
        {"bad unicode escape", "[A]\nv:str=\\u12G4\n", 2, "four hex digits"},
        {"malformed utf-8", "[A]\nv:str=\xC3\x28\n", 2, "UTF-8"},
        {"overlong utf-8", "[A]\nv:str=\xC0\xAF\n", 2, "UTF-8"},
        {"encoded surrogate", "[A]\nv:str=\xED\xA0\x80\n", 2, "UTF-8"},
        {"truncated utf-8", "[A]\nv:str=\xE6\xBC", 2, "UTF-8"},
        {"control char", "[A]\nv:str=a\x01z\n", 2, "control character"},
        {"lone cr", "[A]\nv:str=a\rb\n", 2, "control character"},
        {"unclosed section", "[A\n", 1, "end with ]"},
        {"empty section", "[ ]\n", 1, "empty section"},
        {"empty name", "[A]\n:int=1\n", 2, "empty value name"},
        {"duplicate", "[A]\nv:int=1\n[B]\n[A]\nv:int=2\n", 5, "twice"},
        {"bad section escape", "[A\\]\n", 1, "backslash ends"},
    };
    for (const RejectedText& row : rows) {
        SCOPED_TRACE(row.label);
        SettingsFile ini;
        ini.WriteBool(u"Old", u"x", true);
        const auto error = ini.parse(row.text);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->line, row.line);
        EXPECT_NE(error->message.find(row.messagePart), std::string::npos) << error->message;
        EXPECT_TRUE(ini.empty());
        EXPECT_EQ(describeSettingsError(*error).rfind("line " + std::to_string(row.line) + ": ", 0),
                  0u);
    }
}

// Random text from the format's own pieces reaches deep into the reader; whatever it accepts
// must come back unchanged after writing and reading again.
TEST(SettingsFileFormat, AcceptedTextSurvivesAnotherRoundTrip) {
    const std::vector<std::string> pieces = {
        "[A]",     "[B c]",   "\n",  "\n", "\n",   "v:int=", "w:bool=", "x:str=",
        "y:wstr=", "z:list=", "1",   "-9", "true", "|",      "\\|",     "\\n",
        "\\s",     " ",       "=",   ";",  "[",    "]",      "\\",      "\xC3\xA9",
        "\xFF",    "\\u0000", "\\u", "#",  ":",    "a",      "\r",      "\t"};
    std::mt19937 random(20261206);
    int accepted = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 24);
        for (int i = 0; i < count; ++i) {
            text += pieces[random() % pieces.size()];
        }
        SettingsFile first;
        const auto error = first.parse(text);
        if (error) {
            const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
            EXPECT_GE(error->line, 1u) << text;
            EXPECT_LE(error->line, lines + 1) << text;
            continue;
        }
        ++accepted;
        const std::string written = first.serialise();
        SettingsFile second;
        ASSERT_FALSE(second.parse(written)) << written;
        EXPECT_EQ(second.serialise(), written) << text;
    }
    EXPECT_GT(accepted, 100);
}

// ---------------------------------------------------------------------------------------------
// Files

TEST(SettingsFileDisk, SaveCreatesFoldersAndLoadReadsItBack) {
    TempFolder temp;
    const fs::path path = temp.path() / "a" / "b" / "runemeter.ini";
    SettingsFile ini;
    ini.WriteWideString(u"ElFolderNameEdit1", u"text", u"/home/\u00FCser/texts");
    ini.WriteMultiString(u"ElComboBoxFileSpecs", u"v", std::vector<std::u16string>{u"*.txt"});
    ASSERT_FALSE(ini.Save(path));
    SettingsFile back;
    ASSERT_FALSE(back.Load(path));
    EXPECT_EQ(back.serialise(), ini.serialise());
    EXPECT_EQ(readFile(path), ini.serialise());
    EXPECT_EQ(folderEntries(path.parent_path()), std::vector<std::string>{"runemeter.ini"});
}

TEST(SettingsFileDisk, SaveReplacesTheWholeFileAndKeepsItsPermissions) {
    TempFolder temp;
    const fs::path path = temp.path() / "tool.ini";
    writeFile(path, "[Gone]\nold:int=1\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    SettingsFile ini;
    ini.WriteInteger(u"ElSpinEditFontSize", u"value", 12);
    ASSERT_FALSE(ini.Save(path));
    const std::string text = readFile(path);
    EXPECT_EQ(text.find("Gone"), std::string::npos);
    EXPECT_NE(text.find("value:int=12"), std::string::npos);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SettingsFileDisk, SaveThroughALinkReplacesTheLinkedFile) {
    TempFolder temp;
    const fs::path real = temp.path() / "real.ini";
    const fs::path link = temp.path() / "link.ini";
    writeFile(real, "[A]\nv:int=1\n");
    fs::create_symlink(real, link);
    SettingsFile ini;
    ini.WriteInteger(u"A", u"v", 2);
    ASSERT_FALSE(ini.Save(link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_NE(readFile(real).find("v:int=2"), std::string::npos);
}

TEST(SettingsFileDisk, FailedSaveKeepsTheOldFileAndReportsWhy) {
    struct Row {
        const char* label;
        // Prepares the folder; returns the path to save to and the file that must stay whole.
        std::function<std::pair<fs::path, fs::path>(const fs::path&)> prepare;
        bool needsNonRoot;
        std::string messagePart;
    };
    const std::vector<Row> rows = {
        {"target is a folder",
         [](const fs::path& dir) {
             fs::create_directory(dir / "tool.ini");
             writeFile(dir / "tool.ini" / "inside", "keep me");
             return std::pair{dir / "tool.ini", dir / "tool.ini" / "inside"};
         },
         false, "it is a folder"},
        {"parent is a file",
         [](const fs::path& dir) {
             writeFile(dir / "notafolder", "keep me");
             return std::pair{dir / "notafolder" / "tool.ini", dir / "notafolder"};
         },
         false, "cannot create the folder"},
        {"read-only folder",
         [](const fs::path& dir) {
             fs::create_directory(dir / "ro");
             writeFile(dir / "ro" / "tool.ini", "keep me");
             fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
             return std::pair{dir / "ro" / "tool.ini", dir / "ro" / "tool.ini"};
         },
         true, "cannot create a file in"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.needsNonRoot && ::geteuid() == 0) {
            continue;  // root writes into read-only folders; the other rows cover the failure
        }
        TempFolder temp;
        const auto [target, kept] = row.prepare(temp.path());
        SettingsFile ini;
        ini.WriteBool(u"CheckBoxFolders", u"checked", true);
        const auto error = ini.Save(target);
        ASSERT_TRUE(error);
        EXPECT_NE(error->message.find(row.messagePart), std::string::npos) << error->message;
        EXPECT_EQ(readFile(kept), "keep me");
        std::error_code ec;
        fs::permissions(temp.path() / "ro", fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

TEST(SettingsFileDisk, FailedRenameLeavesNoTemporaryFile) {
    TempFolder temp;
    fs::create_directory(temp.path() / "tool.ini");
    SettingsFile ini;
    ini.WriteBool(u"A", u"b", true);
    ASSERT_TRUE(ini.Save(temp.path() / "tool.ini"));
    EXPECT_EQ(folderEntries(temp.path()), std::vector<std::string>{"tool.ini"});
}

TEST(SettingsFileDisk, LoadRefusesWhatIsNoSettingsFile) {
    TempFolder temp;
    fs::create_directory(temp.path() / "folder.ini");
    { std::ofstream big(temp.path() / "big.ini", std::ios::binary); }
    fs::resize_file(temp.path() / "big.ini", kMaxSettingsFileSize + 1);
    writeFile(temp.path() / "garbage.ini", std::string("\x00\x01\x02garbage", 10));
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"folder.ini", "not a readable file"},
        {"missing.ini", "not a readable file"},
        {"big.ini", "too large"},
        {"garbage.ini", "control character"},
    };
    for (const auto& [name, messagePart] : rows) {
        SCOPED_TRACE(name);
        SettingsFile ini;
        ini.WriteBool(u"Old", u"x", true);
        const auto error = ini.Load(temp.path() / name);
        ASSERT_TRUE(error);
        EXPECT_NE(error->message.find(messagePart), std::string::npos) << error->message;
        EXPECT_TRUE(ini.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// Scrambling and digit strings

constexpr std::string_view kKey = "Qv7#pLx9!Tm2@kRz$";

TEST(ScrambleText, PinsTheKeyAndChangesOrdinaryText) {
    EXPECT_EQ(ScrambleText(std::string_view("a")), "0");  // 'a' ^ 'Q'
    const std::string secret = "password";
    const std::string scrambled = ScrambleText(secret);
    EXPECT_EQ(scrambled.size(), secret.size());
    for (std::size_t k = 0; k < secret.size(); ++k) {
        EXPECT_NE(scrambled[k], secret[k]) << k;
    }
    EXPECT_EQ(ScrambleText(std::string_view()), "");
}

TEST(ScrambleText, TwiceGivesTheTextBackIncludingItsExceptions) {
    struct Row {
        const char* label;
        std::string text;
        std::vector<std::size_t> unchangedAt;  // positions that must stay as they are
    };
    auto at = [](std::size_t k, char c) {
        std::string s(k, 'x');
        s += c;
        return s;
    };
    const std::vector<Row> rows = {
        {"xor gives 0 at 0", at(0, kKey[0]), {0}},
        {"xor gives 0 at 16", at(16, kKey[16]), {16}},
        {"xor gives 0 after wrap", at(17, kKey[0]), {17}},
        {"xor gives 26 at 0", at(0, static_cast<char>(kKey[0] ^ 26)), {0}},
        {"xor gives 26 at 5", at(5, static_cast<char>(kKey[5] ^ 26)), {5}},
        {"byte 26 in the text", at(3, '\x1A'), {3}},
        {"nul in the text", at(2, '\0'), {2}},
        {"high bytes", "\xC3\xBC\xFF\x80", {}},
        {"long text", std::string(100, 'Q'), {0, 17, 34, 51, 68, 85}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string once = ScrambleText(row.text);
        for (const std::size_t k : row.unchangedAt) {
            EXPECT_EQ(once[k], row.text[k]) << k;
        }
        EXPECT_EQ(ScrambleText(once), row.text);
    }
}

TEST(ScrambleText, EveryByteAtEveryKeyPositionComesBack) {
    for (std::size_t k = 0; k < kKey.size(); ++k) {
        for (int b = 0; b < 256; ++b) {
            std::string text(k, 'x');
            text += static_cast<char>(b);
            std::string work = text;
            ScrambleText(std::span<char>(work.data(), work.size()));
            // A 0 or 26 never appears where the text had none: the value stays on one line
            // and cannot end early.
            if (b != 0 && b != 26) {
                EXPECT_NE(work[k], '\0');
                EXPECT_NE(work[k], '\x1A');
            }
            ScrambleText(std::span<char>(work.data(), work.size()));
            ASSERT_EQ(work, text) << "byte " << b << " at " << k;
        }
    }
}

TEST(NumStr, DigitStringsAndBack) {
    EXPECT_EQ(ToNumStr("Hi"), u"072105");
    EXPECT_EQ(ToNumStr(std::string_view("\xFF\x00", 2)), u"255000");
    EXPECT_EQ(ToNumStr(""), u"");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(FromNumStr(ToNumStr(all)), all);
    EXPECT_EQ(FromNumStr(u""), std::string());
}

TEST(NumStr, FromNumStrRejectsBadInput) {
    const std::vector<std::pair<const char*, std::u16string>> rows = {
        {"not a multiple of three", u"07210"},
        {"above 255", u"256"},
        {"letter", u"07a"},
        {"blank", u" 72"},
        {"sign", u"-72"},
        {"full-width digits", u"\uFF10\uFF17\uFF12"},
    };
    for (const auto& [label, text] : rows) {
        SCOPED_TRACE(label);
        EXPECT_FALSE(FromNumStr(text).has_value());
    }
}

}  // namespace
}  // namespace runemeter
