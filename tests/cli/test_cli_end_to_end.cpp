// runemeter-cli run as a user runs it, on a folder prepared here, its output compared with
// expectations worked out by hand.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "suite/resource_strings.h"
#include "suite/unicode_text.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        m_dir = fs::temp_directory_path() / ("runemeter-cli-" + std::to_string(seed()));
        fs::create_directories(m_dir / "texts" / "sub");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void write(const fs::path& relative, const std::string& bytes) {
        std::ofstream(m_dir / relative, std::ios::binary) << bytes;
    }

    void writeZip(const fs::path& relative,
                  const std::vector<std::pair<std::string, std::string>>& members) {
        int error = 0;
        zip_t* archive = zip_open((m_dir / relative).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(archive, nullptr);
        for (const auto& [name, data] : members) {
            zip_source_t* source = zip_source_buffer(archive, data.data(), data.size(), 0);
            ASSERT_NE(source, nullptr);
            ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
        }
        ASSERT_EQ(zip_close(archive), 0);
    }

    /// The folder every test starts from:
    ///   one.txt    ANSI   "aaa" CR LF "bbb" E9       a3 b3 e-acute1 CR1 LF1
    ///   two.txt    UTF-8  "aaaa " EURO              a4 space1 euro1
    ///   three.txt  UTF-16 LE "zzzzz"                z5
    ///   notes.md   ANSI   "mmmm"                    (not *.txt)
    ///   sub/four.txt "qqqqqqqqq"                    q9 (only with sub-folders)
    ///   archive.zip: five.txt "xxxxxx" (x6), readme.md "nnn" (not *.txt)
    void prepareTexts() {
        write("texts/one.txt", "aaa\r\nbbb\xE9");
        write("texts/two.txt",
              "\xEF\xBB\xBF"
              "aaaa \xE2\x82\xAC");
        write("texts/three.txt", std::string("\xFF\xFEz\0z\0z\0z\0z\0", 12));
        write("texts/notes.md", "mmmm");
        write("texts/sub/four.txt", "qqqqqqqqq");
        writeZip("texts/archive.zip", {{"five.txt", "xxxxxx"}, {"readme.md", "nnn"}});
    }

    Output run(const std::vector<std::string>& args) {
        const fs::path outFile = m_dir / "stdout";
        const fs::path errFile = m_dir / "stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            std::string program = RUNEMETER_CLI_PATH;
            argv.push_back(program.data());
            std::vector<std::string> copies(args);
            for (std::string& a : copies) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            if (!std::freopen(outFile.c_str(), "wb", stdout) ||
                !std::freopen(errFile.c_str(), "wb", stderr)) {
                _exit(127);
            }
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        Output result;
        int status = 0;
        waitpid(pid, &status, 0);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readAll(outFile);
        result.err = readAll(errFile);
        return result;
    }

    fs::path m_dir;
};

std::string tabbed(ResId id) {
    std::string text = utf16ToUtf8(ResourceString(id));
    for (char& c : text) {
        if (c == ' ') {
            c = '\t';
        }
    }
    return text;
}

/// The lines of the rows that are always there: digits and capitals, frequency 0.
std::string zeroDigitAndCapitalLines() {
    std::string lines;
    for (int code = 48; code <= 57; ++code) {
        lines += std::to_string(code) + "\t" + char(code) + "\t0\r\n";
    }
    for (int code = 65; code <= 90; ++code) {
        lines += std::to_string(code) + "\t" + char(code) + "\t0\r\n";
    }
    return lines;
}

TEST_F(CliRun, FolderWithZipMembersGivesTheHandCheckedProfile) {
    prepareTexts();
    const Output r = run({(m_dir / "texts").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string expected = "10\t" + tabbed(ResId::VTLineFeed) + "\t1\r\n" +        //
                                 "13\t" + tabbed(ResId::VTCarriageReturn) + "\t1\r\n" +  //
                                 "32\t" + tabbed(ResId::VTSpace) + "\t1\r\n" +           //
                                 zeroDigitAndCapitalLines() +                            //
                                 "97\ta\t7\r\n"
                                 "98\tb\t3\r\n"
                                 "120\tx\t6\r\n"
                                 "122\tz\t5\r\n"
                                 "233\t\xC3\xA9\t1\r\n"
                                 "8364\t\xE2\x82\xAC\t1\r\n";
    EXPECT_EQ(r.out, expected);
    // Four files: one.txt and five.txt (ANSI), two.txt (UTF-8), three.txt (UTF-16).
    const std::string fileInfo = utf16ToUtf8(ResourceString(ResId::VTAnsi)) + ": 2; " +
                                 utf16ToUtf8(ResourceString(ResId::VTUnicode)) + ": 1; " +
                                 utf16ToUtf8(ResourceString(ResId::VTUTF8)) + ": 1";
    EXPECT_NE(r.err.find(fileInfo + "\n"), std::string::npos) << r.err;
    EXPECT_NE(
        r.err.find(utf16ToUtf8(formatWithNumber(ResourceString(ResId::VTBasedOnNmanyFiles), 4.0))),
        std::string::npos)
        << r.err;
}

TEST_F(CliRun, OptionsChangeWhatIsRead) {
    prepareTexts();
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::string mustContain;
        std::string mustNotContain;
    };
    const Case cases[] = {
        {"sub-folders add q", {"--subfolders"}, "113\tq\t9\r\n", ""},
        {"no zips drop x", {"--no-zips"}, "97\ta\t7\r\n", "120\tx"},
        {"mask picks md files", {"--mask", "*.MD"}, "109\tm\t4\r\n", "97\ta"},
        {"zip members follow the mask", {"--mask", "*.md"}, "110\tn\t3\r\n", "120\tx"},
        {"header cut", {"--header", "b"}, "98\tb\t2\r\n", "97\ta\t7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.options;
        args.push_back((m_dir / "texts").string());
        const Output r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.mustContain), std::string::npos) << r.out;
        if (!c.mustNotContain.empty()) {
            EXPECT_EQ(r.out.find(c.mustNotContain), std::string::npos) << r.out;
        }
    }
}

TEST_F(CliRun, FrequencyOrderAndLettersOnly) {
    prepareTexts();
    const Output r = run({"--sort", "freq", "--letters-only", (m_dir / "texts").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    // Letters only: no named codes, no euro sign; the letters from most to least frequent,
    // then the capitals that did not occur.
    const std::string head =
        "97\ta\t7\r\n120\tx\t6\r\n122\tz\t5\r\n98\tb\t3\r\n233\t\xC3\xA9\t1\r\n";
    ASSERT_GE(r.out.size(), head.size());
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    const std::string rest = r.out.substr(head.size());
    EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 26) << rest;
    EXPECT_EQ(rest.find("\t0\r\n") != std::string::npos, true);
    EXPECT_EQ(r.out.find("8364"), std::string::npos);
}

TEST_F(CliRun, SingleFileShowsItsPathAndEncoding) {
    prepareTexts();
    const fs::path file = m_dir / "texts" / "two.txt";
    const Output r = run({file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(utf16ToUtf8(ResourceString(ResId::VTUTF8)) + "\n" + file.string() + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("97\ta\t4\r\n"), std::string::npos);
}

TEST_F(CliRun, ChosenZipFileReadsItsTextMembers) {
    prepareTexts();
    const Output r = run({(m_dir / "texts" / "archive.zip").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("120\tx\t6\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("110\tn"), std::string::npos) << r.out;
}

TEST_F(CliRun, JsonCarriesCountersRowsAndSourceLength) {
    prepareTexts();
    const Output r = run({"--format", "json", (m_dir / "texts").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* part : {"\"filesRead\": 4", "\"unicodeFileCount\": 1", "\"utf8FileCount\": 1",
                             "\"crLfCount\": 1", "\"totalCharacters\": 24",
                             "{\"code\": 97, \"text\": \"a\", \"frequency\": 7, \"type\": "
                             "\"letter\", \"share\": 29.166667}",
                             "{\"code\": 13, \"text\": \"", "{\"code\": null"}) {
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    }
}

TEST_F(CliRun, BadPathAndEmptyFileMessages) {
    const Output missing = run({(m_dir / "no-such-thing").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no such file or folder"), std::string::npos);
    EXPECT_TRUE(missing.out.empty());

    write("texts/empty.txt", "");
    write("texts/full.txt", "k");  // one byte: read, but nothing decoded
    const Output r = run({(m_dir / "texts").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("empty.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("107\tk"), std::string::npos);
}

// A file name with a line break, a tab or an escape character gives one message line, with the
// characters written out: it can neither split the line nor send a command to the terminal.
TEST_F(CliRun, FileNameMessagesStayOnOneLine) {
    write("texts/line\nbreak\t\x1B[2J.txt", "");
    const Output r = run({(m_dir / "texts").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::size_t at = r.err.find("line\\nbreak\\t\\x1B[2J.txt");
    ASSERT_NE(at, std::string::npos) << r.err;
    const std::size_t lineStart = r.err.rfind('\n', at);
    const std::string line = r.err.substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                                          r.err.find('\n', at) - lineStart - 1);
    EXPECT_EQ(line.find('\x1B'), std::string::npos) << line;
    EXPECT_EQ(line.rfind("runemeter-cli: ", 0), 0u) << line;
}

TEST(CliSamples, ShippedSamplesAreReadWithoutMessages) {
    const fs::path samples = RUNEMETER_SAMPLES_DIR;
    if (!fs::exists(samples)) {
        GTEST_SKIP() << "no samples folder";
    }
    std::string command = std::string(RUNEMETER_CLI_PATH) + " --subfolders '" + samples.string() +
                          "' 2>&1 >/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string err;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        err += buffer;
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(err.find("runemeter-cli:"), std::string::npos) << err;
}

}  // namespace
}  // namespace runemeter
