// SPDX-License-Identifier: GPL-3.0-or-later
// runemeter-cli run as a user runs it; its output compared with expectations worked out by hand.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/files.h"
#include "support/zip_forge.h"

namespace runemeter {
namespace {

using test::ProcessResult;

class Cli : public ::testing::Test {
protected:
    // The folder the runs read:
    //   one.txt    ANSI   "aaa" CR LF "bbb" E9       a3 b3 e-acute1 CR1 LF1
    //   two.txt    UTF-8  "aaaa " EURO              a4 space1 euro1
    //   three.txt  UTF-16 LE "zzzzz"                z5
    //   notes.md   ANSI   "mmmm"                    (not *.txt)
    //   sub/four.txt "qqqqqqqqq"                    q9 (only with sub-folders)
    //   archive.zip: five.txt "xxxxxx" (x6), readme.md "nnn" (not *.txt)
    Cli() {
        test::writeFile(m_dir / "texts/one.txt", "aaa\r\nbbb\xE9");
        test::writeFile(m_dir / "texts/two.txt", std::string("\xEF\xBB\xBF") + "aaaa \xE2\x82\xAC");
        test::writeFile(m_dir / "texts/three.txt", std::string("\xFF\xFEz\0z\0z\0z\0z\0", 12));
        test::writeFile(m_dir / "texts/notes.md", "mmmm");
        test::writeFile(m_dir / "texts/sub/four.txt", "qqqqqqqqq");
        test::writeZip(m_dir / "texts/archive.zip", {{"five.txt", "xxxxxx"}, {"readme.md", "nnn"}});
    }

    static test::Launch launch(std::vector<std::string> args) {
        test::Launch launch;
        launch.argv = {RUNEMETER_CLI_PATH};
        launch.argv.insert(launch.argv.end(), args.begin(), args.end());
        return launch;
    }
    static ProcessResult run(std::vector<std::string> args) {
        return test::runProgram(launch(args));
    }

    test::TempDir m_dir;
    const std::string m_texts = (m_dir / "texts").string();
};

TEST_F(Cli, FolderWithZipMembersGivesTheHandCheckedProfile) {
    const ProcessResult r = run({m_texts});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected = "10\tLine\tfeed\t1\r\n13\tCarriage\treturn\t1\r\n32\tSpace\t1\r\n";
    // The digits and capitals are always listed.
    for (const char c : std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ")) {
        expected += std::to_string(c) + "\t" + c + "\t0\r\n";
    }
    expected += "97\ta\t7\r\n98\tb\t3\r\n120\tx\t6\r\n122\tz\t5\r\n233\t\xC3\xA9\t1\r\n";
    EXPECT_EQ(r.out, expected + "8364\t\xE2\x82\xAC\t1\r\n");
    EXPECT_EQ(r.err, "ANSI: 2; Unicode: 1; UTF-8: 1\nbased on 4 files\n");

    const ProcessResult json = run({"--format", "json", m_texts});
    ASSERT_EQ(json.status, 0) << json.err;
    for (const char* part : {"\"filesRead\": 4,", "\"ansiFileCount\": 2,", "\"utf8FileCount\": 1,",
                             "\"crLfCount\": 1,", "\"totalCharacters\": 24,",
                             "{\"code\": 97, \"text\": \"a\", \"frequency\": 7, \"type\": "
                             "\"letter\", \"share\": 29.166667}",
                             "{\"code\": null, \"text\": \"Line breaks\", \"frequency\": 1,",
                             "{\"code\": null, \"text\": \"Total\", \"frequency\": 24,"}) {
        EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
    }
}

// odd.txt: a quote, a five-digit character and a lone surrogate (UTF-16), written as U+FFFD.
TEST_F(Cli, OptionsChangeWhatIsReadAndHowItIsListed) {
    const std::string odd = (m_dir / "odd\x1F\".txt").string();
    test::writeFile(odd, std::string("\xFF\xFE\x22\x00\xE9\x00\x2D\x4E\x00\xD8", 10));
    struct Case {
        std::vector<std::string> args;
        std::string mustContain, mustNotContain;
    };
    const std::vector<Case> cases{
        {{"--no-zips", m_texts}, "97\ta\t7\r\n", "120\tx"},
        {{"--mask=*.MD", m_texts}, "109\tm\t4\r\n", "97\ta"},
        {{"--mask", "*.md", m_texts}, "110\tn\t3\r\n", "120\tx"},
        {{"--header", "b", m_texts}, "98\tb\t2\r\n", "97\ta\t7"},
        {{"--subfolders", "--header=b", m_texts}, "98\tb\t2\r\n113\tq\t9\r\n", "97\ta\t7"},
        {{"--sort=freq", "--letters-only", m_texts},
         "97\ta\t7\r\n120\tx\t6\r\n122\tz\t5\r\n98\tb\t3\r\n233\t\xC3\xA9\t1\r\n65\tA\t0\r\n",
         "8364"},
        {{m_texts + "/archive.zip"}, "120\tx\t6\r\n", "110\tn"},
        {{"--sort", "text", odd},
         "90\tZ\t0\r\n20013\t\xE4\xB8\xAD\t1\r\n233\t\xC3\xA9\t1\r\n55296\t\xEF\xBF\xBD\t1\r\n",
         "\t0\r\n233"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProcessResult r = run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.mustContain), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(c.mustNotContain), std::string::npos) << r.out;
    }

    // JSON escapes the quote and the control character in the file name; a lone surrogate is
    // U+FFFD in the text and keeps its code.
    const ProcessResult json = run({"--format=json", odd});
    ASSERT_EQ(json.status, 0) << json.err;
    for (const char* part :
         {"odd\\u001f\\\".txt\",",
          "{\"code\": 34, \"text\": \"\\\"\", \"frequency\": 1, \"type\": \"punctuation\"",
          "{\"code\": 55296, \"text\": \"\xEF\xBF\xBD\", \"frequency\": 1,"}) {
        EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
    }
}

TEST_F(Cli, BadArgumentsGiveStatusTwoAndOneReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "no PATH"},
        {{"merge"}, "no COUNTS-FILE"},
        {{"-", "a", "-"}, "standard input ('-') is given twice"},
        {{"compare", "a"}, "two operands"},
        {{"--top", "3", "a"}, "compare only"},
        {{"--charset=s", "--group-by=type", "a"}, "do not apply"},
        {{"--files0-from=l", "a"}, "either operands or --files0-from"},
        {{"merge", "--mask=*", "a"}, "does not apply to merge"},
        {{"--format=counts", "--letters-only", "a"}, "do not apply"},
        {{"--files0-from", (m_dir / "no-list").string()}, "cannot read the list"},
        {{"--frobnicate", "a"}, "unknown option"},
        {{"a", "--mask"}, "needs a value"},
        {{"--mask", " ; ", "a"}, "mask is empty"},
        {{"--sort", "size", "a"}, "unknown sort order"},
        {{"--format=xml", "a"}, "unknown format"},
        {{"--group-by", "font", "a"}, "unknown group"},
        {{"--unsigned", "latin1", "a"}, "unknown reading 'latin1' for --unsigned"},
        {{"--unit=byte", "a"}, "unknown unit 'byte'"},
        {{"--normalize", "NFC", "a"}, "unknown normalisation 'NFC'"},
        {{"--group-by=type", "--sort", "freq", "a"}, "--sort cannot be used with --group-by"}};
    for (const auto& [args, reason] : cases) {
        SCOPED_TRACE(reason);
        const ProcessResult r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.starts_with("runemeter-cli: ") && r.err.find(reason) != r.err.npos)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    const ProcessResult help = run({"--help"});
    EXPECT_TRUE(help.status == 0 && help.out.find("--letters-only") != help.out.npos) << help.out;
}

// The worked examples of the three text choices, each in its own file (UTF-8; the first
// without a signature).
TEST_F(Cli, TextChoicesCountTheWorkedExamples) {
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        std::string name, bytes;
        std::vector<std::string> args;
        std::string mustContain, mustNotContain;
    };
    const std::string e = "e\xCC\x81";  // e + U+0301
    const std::string family =
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
        "\xF0\x9F\x91\xA7";                                           // man ZWJ woman ZWJ girl
    const std::string jamo = "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8";  // U+1100 U+1161 U+11A8
    const std::vector<Case> cases{
        {"g.txt",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         {"--unsigned=auto"},
         "223\t\xC3\x9F\t1\r\n",
         "195\t"},
        {"g.txt",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         {},
         "195\t\xC3\x83\t2\r\n",
         "223\t"},
        {"g.txt",
         "Gr\xC3\xBC\xC3\x9F"
         "e",
         {"--unsigned", "utf8"},
         "252\t\xC3\xBC\t1\r\n",
         "195\t"},
        {"s.txt",
         bom + "\xF0\x9F\x98\x80",
         {"--unit=codepoint"},
         "128512\t\xF0\x9F\x98\x80\t1\r\n",
         "55357"},
        {"s.txt", bom + "\xF0\x9F\x98\x80", {}, "55357\t", "128512"},
        {"e.txt", bom + e, {"--normalize=nfc"}, "233\t\xC3\xA9\t1\r\n", "769"},
        {"e.txt", bom + e, {"--unit=grapheme"}, "101+769\t" + e + "\t1\r\n", "233"},
        {"f.txt",
         bom + family,
         {"--unit=grapheme"},
         "128104+8205+128105+8205+128103\t" + family + "\t1\r\n",
         "8205\t"},
        {"j.txt", bom + jamo, {"--unit=grapheme"}, "4352+4449+4520\t" + jamo + "\t1\r\n", "4449\t"},
        {"j.txt", bom + jamo, {"--normalize=nfc"}, "44033\t\xEA\xB0\x81\t1\r\n", "4352"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + testing::PrintToString(c.args));
        const std::string file = (m_dir / c.name).string();
        test::writeFile(file, c.bytes);
        std::vector<std::string> args = c.args;
        args.push_back(file);
        const ProcessResult r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.mustContain), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(c.mustNotContain), std::string::npos) << r.out;
        // Read as ANSI, UTF-8-looking text is named once, with the option.
        EXPECT_EQ(r.err.find("--unsigned auto") != std::string::npos,
                  c.name == "g.txt" && c.args.empty())
            << r.err;
    }
    // Several operands add up their counts in every unit.
    const std::string smiley = (m_dir / "s.txt").string();
    const ProcessResult twice = run({"--unit=codepoint", smiley, smiley});
    EXPECT_NE(twice.out.find("128512\t\xF0\x9F\x98\x80\t2\r\n"), std::string::npos) << twice.out;
    const ProcessResult json = run({"--unit=grapheme", "--format=json", m_texts});
    EXPECT_NE(json.out.find("\"unsigned\": \"ansi\",\n  \"unit\": \"grapheme\",\n  "
                            "\"normalize\": \"none\""),
              std::string::npos)
        << json.out;
}

// Number of fields in each line of a CSV text (quoted fields may hold commas, quotes, CR, LF).
std::vector<int> csvFieldCounts(const std::string& csv) {
    std::vector<int> counts;
    int fields = 1;
    bool quoted = false;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        if (csv[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && csv[i] == ',') {
            ++fields;
        } else if (!quoted && csv.compare(i, 2, "\r\n") == 0) {
            counts.push_back(fields);
            fields = 1;
            ++i;
        }
    }
    return counts;
}

// A multilingual UTF-8 text with a tab, CR LF, a vertical tab, a line separator, a comma and
// quotes: the table and CSV forms list the rows of the tab-separated form, rectangular.
TEST_F(Cli, TableAndCsvFormsAreRectangularAndNameTheCharacters) {
    const std::string file = (m_dir / "multi.txt").string();
    test::writeFile(file,
                    "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
                    "e, \"K\xC3\xB6ln\"\tA\r\n"
                    "\xE4\xB8\xAD \xD8\xA8\xD8\xA8\xE2\x80\xA8\xC3\xA9\x0B");
    const ProcessResult tsv = run({file});
    const ProcessResult table = run({"--format", "table", file});
    const ProcessResult csv = run({"--format=csv", file});
    ASSERT_TRUE(tsv.status == 0 && table.status == 0 && csv.status == 0) << table.err;

    // The first field of each line from 'from' on; every table line has nine fields.
    const auto codes = [](const std::string& text, std::size_t from, bool table) {
        std::vector<std::string> firsts;
        for (std::size_t at = from, end; at < text.size(); at = end + 1) {
            end = std::min(text.find('\n', at), text.size());
            EXPECT_TRUE(!table || std::count(&text[at], &text[end], '\t') == 8) << &text[at];
            firsts.push_back(text.substr(at, text.find('\t', at) - at));
        }
        return firsts;
    };
    const std::vector<std::string> tsvCodes = codes(tsv.out, 0, false);
    ASSERT_EQ(table.out.find('\r'), std::string::npos);
    ASSERT_TRUE(
        table.out.starts_with("code\tnotation\tcharacter\tname\tcategory\tscript\t"
                              "block\tshare\tfrequency\n"));
    EXPECT_EQ(codes(table.out, table.out.find('\n') + 1, true), tsvCodes);
    for (const char* line :
         {"\n9\tU+0009\tU+0009\tTab\tCc\tCommon\tBasic_Latin\t\t1\n",
          "\n10\tU+000A\tU+000A\tLine feed\tCc\tCommon\tBasic_Latin\t\t1\n",
          "\n11\tU+000B\tU+000B\t<control-000B>\tCc\tCommon\tBasic_Latin\t\t1\n",
          "\n13\tU+000D\tU+000D\tCarriage return\tCc\tCommon\tBasic_Latin\t\t1\n",
          "\n66\tU+0042\tB\tLATIN CAPITAL LETTER B\tLu\tLatin\tBasic_Latin\t0.000000\t0\n",
          "\n1576\tU+0628\t\xD8\xA8\tARABIC LETTER BEH\tLo\tArabic\tArabic\t10.000000\t2\n",
          "\n8232\tU+2028\tU+2028\tLINE SEPARATOR\tZl\tCommon\tGeneral_Punctuation\t5.000000\t1\n",
          "\n20013\tU+4E2D\t\xE4\xB8\xAD\tCJK UNIFIED IDEOGRAPH-4E2D\tLo\tHan\t"
          "CJK_Unified_Ideographs\t5.000000\t1\n"}) {
        EXPECT_NE(table.out.find(line), std::string::npos) << line;
    }

    const std::vector<int> counts = csvFieldCounts(csv.out);
    EXPECT_EQ(counts.size(), tsvCodes.size() + 1);
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 9), std::ssize(counts)) << csv.out;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), std::ssize(counts));
    for (const char* line :
         {"\r\n34,U+0022,\"\"\"\",QUOTATION MARK,Po,Common,Basic_Latin,10.000000,2\r\n",
          "\r\n44,U+002C,\",\",COMMA,Po,Common,Basic_Latin,5.000000,1\r\n",
          "\r\n9,U+0009,U+0009,Tab,Cc,Common,Basic_Latin,,1\r\n"}) {
        EXPECT_NE(csv.out.find(line), std::string::npos) << line;
    }

    const ProcessResult groups = run({"--group-by=type", "--format=json", file});
    EXPECT_NE(groups.out.find(
                  "\"groupBy\": \"type\",\n  \"groups\": [\n"
                  "    {\"name\": \"letter\", \"characters\": 13, \"frequency\": 14, \"share\": "
                  "70.000000},\n    {\"name\": \"other\", \"characters\": 2, \"frequency\": 3, "
                  "\"share\": 15.000000},\n    {\"name\": \"punctuation\", \"characters\": 2, "
                  "\"frequency\": 3, \"share\": 15.000000}\n  ]\n}\n"),
              std::string::npos)
        << groups.out;
    EXPECT_NE(run({"--version"}).out.find("\nUnicode "), std::string::npos);
}

// Messages name what went wrong in full and a file as given, on one line: a damaged member of an
// archive that opened, a damaged archive with its reason, a bare name without "./".
TEST_F(Cli, MessagesNameWhatWentWrong) {
    test::ForgedMember bad = test::storedMember("bad.txt", "bbb");
    bad.crc ^= 1;
    test::writeFile(m_dir / "m\n\x1B/m.zip",
                    test::forgeZip({test::storedMember("g.txt", "g"), bad}));
    test::writeFile(m_dir / "broken/broken.zip", "not an archive");
    test::ForgedMember twice = test::storedMember("b.txt", "abc");
    twice.localOffset = 0;
    twice.local = false;
    test::writeFile(m_dir / "over/o.zip",
                    test::forgeZip({test::storedMember("a.txt", "abc"), twice}));
    test::writeFile(m_dir / "empty.txt", "");
    const std::vector<std::pair<std::string, std::string>> cases{
        {"m\n\x1B",
         "runemeter-cli: The member bad.txt of the archive m\\n\\x1B/m.zip is damaged and was "
         "skipped: CRC error\nANSI\nm\\n\\x1B\n"},
        {"broken", "runemeter-cli: The archive broken/broken.zip is damaged and was skipped: "},
        {"over",
         "runemeter-cli: The archive over/o.zip is damaged and was skipped: entries overlap: "
         "members 1 and 2 share data\n"},
        {"empty.txt", "runemeter-cli: The file empty.txt is empty.\n"}};
    for (const auto& [path, err] : cases) {
        SCOPED_TRACE(path);
        test::Launch l = launch({path});
        l.cwd = m_dir.path().string();
        const ProcessResult r = test::runProgram(l);
        EXPECT_TRUE(r.status == (path == "empty.txt" ? 0 : 1) && r.err.starts_with(err)) << r.err;
        EXPECT_TRUE(r.err.find('\x1B') == r.err.npos && r.err.find("skipped:  (") == r.err.npos)
            << r.err;
    }
}

// Ctrl-C stops the run after the file in hand; what was read is printed, with status 130.
TEST_F(Cli, InterruptedRunPrintsWhatWasReadWithStatus130) {
    const std::string many = (m_dir / "many").string();
    for (int i = 0; i < 200; ++i) {
        test::writeFile(many + "/" + std::to_string(1000 + i) + ".txt", std::string(65536, 'k'));
    }
    test::ChildProcess cli(launch({many}));
    for (int i = 0; i < 1000000 && !test::catchesSignal(cli.pid(), SIGINT); ++i) {
    }
    cli.signal(SIGINT);
    const ProcessResult r = cli.finish();
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("65\tA\t0\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("107\tk\t" + std::to_string(200 * 65536)), std::string::npos) << r.out;
}

// Plain files named one after another are read in one run: with the archive among them (read on
// its own) they count what their folder counts, and when only one of them is read (the others
// are empty) the second summary line names that one as it was given.
TEST_F(Cli, NamedFilesCountAsTheirFolder) {
    std::string list;
    for (const char* name : {"one.txt", "archive.zip", "two.txt", "three.txt"})
        list += m_texts + "/" + name + '\0';
    test::Launch l = launch({"--files0-from", "-"});
    l.input = list;
    const ProcessResult listed = test::runProgram(l);
    EXPECT_EQ(listed.out, run({m_texts}).out) << listed.err;
    EXPECT_NE(listed.err.find("based on 4 files"), std::string::npos) << listed.err;
    test::writeFile(m_dir / "empty1.txt", "");
    test::writeFile(m_dir / "empty2.txt", "");
    const std::string one = m_texts + "/one.txt";
    const ProcessResult single =
        run({(m_dir / "empty1.txt").string(), one, (m_dir / "empty2.txt").string()});
    EXPECT_NE(single.err.find("\n" + one + "\n"), std::string::npos) << single.err;
}

// The exit status and the JSON problems list of runs that read everything, or not.
TEST_F(Cli, ExitStatusTellsWhetherEveryFileWasRead) {
    test::writeFile(m_dir / "broken/broken.zip", "not an archive");
    test::writeFile(m_texts + "/line\nbreak.txt", "www");
    const std::string list = (m_dir / "list").string();
    test::writeFile(list, m_texts + "/one.txt" + '\0' + '\0' + m_texts + "/line\nbreak.txt" + '\0' +
                              m_texts + "/missing.txt" + '\0');
    const std::string missing = (m_dir / "missing").string();
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::vector<std::string> parts;
    };
    const std::vector<Case> cases{
        {{m_texts}, "", 0, {"\"filesFound\": 5,\n  \"filesRead\": 5,", "\"problems\": [],"}},
        {{m_dir.path().string() + "/broken"},
         "",
         1,
         {"\"filesFound\": 0,", "{\"path\": \"" + m_dir.path().string() +
                                    "/broken/broken.zip\", \"member\": \"\", \"reason\": \""}},
        {{"--mask=*.xyz", m_texts}, "", 1, {"\"reason\": \"no file matches the mask\"}"}},
        {{missing, m_texts},
         "",
         1,
         {"\"filesRead\": 5,", "{\"path\": \"" + missing +
                                   "\", \"member\": \"\", "
                                   "\"reason\": \"no such file or folder\"}"}},
        {{"--files0-from", "-"},
         test::readFile(list),
         1,
         {"\"filesRead\": 2,", "{\"code\": 119, \"text\": \"w\", \"frequency\": 3,",
          "entry 2 of the list is an empty file name",
          "missing.txt\", \"member\": \"\", \"reason\": \"no such file or folder\"}"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        test::Launch l = launch(c.args);
        l.argv.push_back("--format=json");
        l.input = c.input;
        const ProcessResult r = test::runProgram(l);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const std::string& part : c.parts) {
            EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
        }
    }
}

// Damaged counts files are refused with status 2, naming the file and the line.
TEST_F(Cli, MergeRefusesDamagedCountsFiles) {
    const std::string head =
        "unit utf16\nnormalisation none\nunsigned-text ansi\nfiles-found 2\nfiles-read 2\n"
        "utf16-files 0\nbig-endian-files 0\nutf8-files 0\nline-breaks 0\nlast-text-length 3\n";
    const std::string good = "runemeter-counts 1\n" + head;
    const std::string most = good + "codes 1\n65 9223372036854775807\nend\n";
    const std::string clusters =
        "runemeter-counts 2\nunit grapheme\nnormalisation nfc\n"
        "unsigned-text ansi\nheader\nfiles-found 0\nfiles-read 0\n"
        "utf16-files 0\nbig-endian-files 0\nutf8-files 0\nline-breaks 0\n"
        "last-text-length 0\n";
    test::writeFile(m_dir / "most", most);
    const std::vector<std::pair<std::string, std::string>> cases{
        {good + "codes 2\n65 1\n", "line 14: the file ends early"},
        {good + "codes 1\n65 1\nend", "line 14: the last line has no line feed"},
        {"runemeter-counts 3\n" + head + "codes 0\nend\n", "line 1: made with a newer version"},
        {"code\tnotation\tcharacter\n", "line 1: not a counts file"},
        {"runemeter-counts 1\nunit utf32\n", "line 2: unknown unit 'utf32'"},
        {good + "codes 1\n65 -3\nend\n", "line 13: negative number"},
        {good + "codes 1\n65 9223372036854775808\nend\n",
         "line 13: '9223372036854775808' does not fit"},
        {good + "codes 2\n65 1\n65 2\nend\n", "line 14: code 65 is given twice"},
        {most, "the counts cannot be added up: the count of code 65 passes 2^63 - 1"},
        {clusters + "codes 1\nU+0065+U+301 1\nend\n", "line 14: 'U+0065+U+301' is not a code"},
        {clusters + "codes 1\nu+0065 1\nend\n", "line 14: 'u+0065' is not a code"},
        {clusters + "codes 1\nU+110000 1\nend\n", "line 14: code 'U+110000' is beyond U+10FFFF"},
        {clusters + "codes 1\nU+D83D+U+DE00 1\nend\n", "line 14: code 'U+D83D+U+DE00' joins"},
        {clusters + "codes 2\nU+0065+U+0301 1\nU+0065+U+0301 1\nend\n",
         "line 15: code U+0065+U+0301 is given twice"},
        {clusters + "codes 2\nU+0066 1\nU+0065+U+0301 1\nend\n",
         "line 15: code U+0065+U+0301 is out"},
        {clusters + "codes 2\nU+0061 1\nU+0061+U+0062 1\nend\n",
         "line 15: code 'U+0061+U+0062' is not one grapheme cluster"},
        {clusters + "codes 1\nU+000D+U+000A 1\nend\n", "line 14: code 'U+000D+U+000A' is not one"},
        {"runemeter-counts 2\nunit codepoint\nnormalisation none\nunsigned-text ansi\nheader\n"
         "files-found 0\nfiles-read 0\nutf16-files 0\nbig-endian-files 0\nutf8-files 0\n"
         "line-breaks 0\nlast-text-length 0\ncodes 1\nU+0065+U+0301 1\nend\n",
         "line 14: code 'U+0065+U+0301' is more than one code point (unit codepoint)"},
        {"runemeter-counts 1\nunit grapheme\n", "line 2: unknown unit 'grapheme'"}};
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(reason);
        test::writeFile(m_dir / "bad", text);
        const ProcessResult r = run({"merge", (m_dir / "most").string(), (m_dir / "bad").string()});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("/bad: " + reason), std::string::npos) << r.err;
    }
}

// The sample texts, and a text of clusters, emoji and a lone surrogate, counted in three parts
// (in order) with each unit and a normalisation, and merged print what one run over them prints.
TEST_F(Cli, MergeOfThreePartsEqualsTheSingleRun) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(RUNEMETER_SAMPLES)) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 6u);
    test::writeFile(m_dir / "clusters.txt",
                    "\xEF\xBB\xBF"
                    "e\xCC\x81 \xF0\x9F\x98\x80\xF0\x9F\x87\xAB"
                    "\xF0\x9F\x87\xB7 \xEF\xAC\x81 \xC3\xA9\r\n");
    test::writeFile(m_dir / "lone.txt", std::string("\xFF\xFE"
                                                    "a\0\x3D\xD8"
                                                    "b\0\x3D\xD8\x00\xDE",
                                                    10));
    files.insert(files.begin() + 4,
                 {(m_dir / "clusters.txt").string(), (m_dir / "lone.txt").string()});
    for (const std::vector<std::string>& choices : {std::vector<std::string>{},
                                                    {"--unit=codepoint"},
                                                    {"--unit=grapheme", "--normalize=nfd"},
                                                    {"--normalize=nfkc", "--header=:"}}) {
        std::vector<std::string> merge{"merge"};
        for (std::size_t part = 0; part < 3; ++part) {
            std::vector<std::string> args = choices;
            args.push_back("--format=counts");
            for (std::size_t i = part * 4; i < std::min(files.size(), part * 4 + 4); ++i) {
                args.push_back(files[i]);
            }
            merge.push_back((m_dir / ("part" + std::to_string(part))).string());
            test::writeFile(merge.back(), run(args).out);
        }
        for (const std::vector<std::string>& form : {std::vector<std::string>{},
                                                     {"--format=table"},
                                                     {"--format=csv"},
                                                     {"--format=json"},
                                                     {"--format=counts"},
                                                     {"--sort=freq", "--letters-only"},
                                                     {"--group-by=script", "--format=json"}}) {
            SCOPED_TRACE(testing::PrintToString(choices) + testing::PrintToString(form));
            std::vector<std::string> single = choices, merged = merge;
            single.insert(single.end(), form.begin(), form.end());
            single.insert(single.end(), files.begin(), files.end());
            merged.insert(merged.end(), form.begin(), form.end());
            const ProcessResult one = run(single), all = run(merged);
            EXPECT_TRUE(one.status == 0 && all.status == 0) << all.err;
            EXPECT_GT(one.out.size(), 100u);
            EXPECT_EQ(one.out, all.out);
        }
    }
}

// Counts made with other choices are never added up: status 2 and both sets of choices named.
TEST_F(Cli, MergeRefusesCountsOfOtherChoices) {
    const std::string text = (m_dir / "texts/two.txt").string();
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> pairs{
        {{}, {"--unit=codepoint"}},
        {{"--unit=codepoint"}, {"--unit=grapheme"}},
        {{}, {"--normalize=nfc"}},
        {{"--unit=grapheme", "--normalize=nfc"}, {"--unit=grapheme", "--normalize=nfkc"}},
        {{}, {"--unsigned=utf8"}},
        {{}, {"--header=a"}},
        {{"--header=a"}, {"--header=b"}}};
    for (const auto& [first, second] : pairs) {
        SCOPED_TRACE(testing::PrintToString(first) + testing::PrintToString(second));
        std::vector<std::string> a = first, b = second;
        a.insert(a.end(), {"--format=counts", text});
        b.insert(b.end(), {"--format=counts", text});
        test::writeFile(m_dir / "a", run(a).out);
        test::writeFile(m_dir / "b", run(b).out);
        const ProcessResult r = run({"merge", (m_dir / "a").string(), (m_dir / "b").string()});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("counted with other choices"), std::string::npos) << r.err;
    }
}

// Standard input is read as the same file given by path would be; it is read only once.
TEST_F(Cli, StandardInputIsReadAsAFile) {
    const std::string list = std::string("-") + '\0';
    struct Case {
        std::vector<std::string> args;
        std::string file;  // given by path too, to compare with; empty: no comparison
        int status;
        std::string err;
    };
    const std::vector<Case> cases{
        {{"-"}, "one.txt", 0, "\n-\n"},
        {{"-", "--header=b"}, "one.txt", 0, ""},
        {{"--format=json", "-"}, "three.txt", 0, "Unicode\n-\n"},  // UTF-16 with a signature
        {{"--files0-from", "-"}, "", 2, "can be read only once"},
        {{"compare", "-", "-"}, "", 2, "given twice"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        test::Launch l = launch(c.args);
        l.input = c.file.empty() ? list : test::readFile(m_texts + "/" + c.file);
        const ProcessResult r = test::runProgram(l);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (!c.file.empty()) {
            std::vector<std::string> byPath = c.args;
            std::replace(byPath.begin(), byPath.end(), std::string("-"), m_texts + "/" + c.file);
            std::string expected = run(byPath).out;
            const std::string label = "\"labelResults\": \"";
            if (const auto at = expected.find(label); at != std::string::npos) {
                expected.replace(at + label.size(),
                                 expected.find('"', at + label.size()) - at - label.size(), "-");
            }
            EXPECT_EQ(r.out, expected);
        }
    }
    test::Launch closedInput;
    closedInput.argv = {"/bin/sh", "-c", std::string("exec <&- ") + RUNEMETER_CLI_PATH + " -"};
    const ProcessResult closed = test::runProgram(closedInput);
    EXPECT_EQ(closed.status, 1);
    EXPECT_NE(closed.err.find("standard input is closed"), std::string::npos) << closed.err;
}

// a.txt "aab LF c": a2 b1 c1 LF1 of 5; b.txt "abbd LF": a1 b2 d1 LF1 of 5; the set "abcxyz"
// on two CR LF lines.
TEST_F(Cli, CompareAndCharsetListTheHandWorkedDifferences) {
    const std::string a = (m_dir / "a.txt").string(), b = (m_dir / "b.txt").string();
    const std::string set = (m_dir / "set.txt").string();
    test::writeFile(a, "aab\nc");
    test::writeFile(b, "abbd\n");
    test::writeFile(set, "abc\r\nxyz\r\n");
    const std::string aCounts = run({a, "--format=counts"}).out;
    const std::string onlyA =
        "only-a\t99\tU+0063\tc\tLATIN SMALL LETTER C\t1\t0\t20.000000\t"
        "0.000000\t-20.000000\n";
    const std::string onlyB =
        "only-b\t100\tU+0064\td\tLATIN SMALL LETTER D\t0\t1\t0.000000\t"
        "20.000000\t20.000000\n";
    const std::string firstDifference =
        "difference\t97\tU+0061\ta\tLATIN SMALL LETTER A\t2\t1\t"
        "40.000000\t20.000000\t-20.000000\n";
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases{
        {{"compare", a, b},
         "",
         onlyA + onlyB + firstDifference +
             "difference\t98\tU+0062\tb\tLATIN SMALL LETTER B\t1\t2\t20.000000\t40.000000\t"
             "20.000000\n"
             "difference\t10\tU+000A\tU+000A\tLine feed\t1\t1\t20.000000\t20.000000\t0.000000\n"},
        {{"compare", "--top=1", "-", b}, aCounts, onlyA + onlyB + firstDifference},
        {{"--charset", set, a, b},
         "",
         "missing\t120\tU+0078\tx\tLATIN SMALL LETTER X\t0\n"
         "missing\t121\tU+0079\ty\tLATIN SMALL LETTER Y\t0\n"
         "missing\t122\tU+007A\tz\tLATIN SMALL LETTER Z\t0\n"
         "beyond\t100\tU+0064\td\tLATIN SMALL LETTER D\t1\n"},
        {{"compare", "--top=1", "--normalize=nfc", a, b}, "", onlyA + onlyB + firstDifference},
        {{"compare", "--unit=grapheme", a, b}, "", ""},
        {{"--charset", set, "--unit=codepoint", a}, "", ""},
        {{"merge", "--format=csv", "--charset=-", "-"}, "", ""}};
    for (const auto& [args, input, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        test::Launch l = launch(args);
        l.input = input;
        const ProcessResult r = test::runProgram(l);
        EXPECT_EQ(r.status, expected.empty() ? 2 : 0) << r.err;
        EXPECT_EQ(r.out, expected);
    }
    const ProcessResult json = run({"--charset", set, "--format=json", a});
    EXPECT_NE(json.out.find("\"charsetCharacters\": 6,\n  \"covered\": 3,"), std::string::npos)
        << json.out;
}

}  // namespace
}  // namespace runemeter
