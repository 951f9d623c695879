#include "suite/logging.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "suite/suite_test_support.h"
#include "suite/tool_services.h"

namespace runemeter {
namespace {

using test::readFile;
using test::splitLines;
using test::TempFolder;
using test::writeFile;

// Every test starts with logging off and no log file, and leaves it so.
class Logging : public ::testing::Test {
protected:
    Logging() {
        keeping_log = false;
        SetLogFilename({});
        SetCurrentTool(13);
    }
    ~Logging() override {
        keeping_log = false;
        SetLogFilename({});
    }

    std::filesystem::path makeLog() {
        const std::filesystem::path log = m_tmp.path() / "veltrane.log";
        writeFile(log, "");
        return log;
    }

    TempFolder m_tmp;
};

const std::regex kLinePattern(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} (.*))");

struct SwitchCase {
    const char* name;
    bool keeping;
    bool fileExists;
    bool nameSet;
    std::size_t wantLines;
};

TEST_F(Logging, WritesOnlyWhenSwitchedOnAndTheFileExists) {
    const std::vector<SwitchCase> cases = {
        {"on, file exists", true, true, true, 1},
        {"off, file exists", false, true, true, 0},
        {"on, file missing", true, false, true, 0},
        {"on, no file name", true, true, false, 0},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path log = m_tmp.path() / "suite.log";
        std::filesystem::remove(log);
        if (c.fileExists) {
            writeFile(log, "");
        }
        SetLogFilename(c.nameSet ? log : std::filesystem::path{});
        keeping_log = c.keeping;
        AddToLogFile(u"an event", false);
        EXPECT_EQ(std::filesystem::exists(log), c.fileExists);  // a missing log is never made
        EXPECT_EQ(splitLines(readFile(log)).size(), c.wantLines);
    }
}

TEST_F(Logging, LinesAreAppendedWithTimeAndTheToolNameOnRequest) {
    const auto log = makeLog();
    writeFile(log, "earlier line\n");
    SetLogFilename(log);
    keeping_log = true;
    AddToLogFile(u"quit iniFileU, ", false);
    AddToLogFile(u"********** closing Runemeter", true);

    const auto lines = splitLines(readFile(log));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier line");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[1], m, kLinePattern)) << lines[1];
    EXPECT_EQ(m[1].str(), "quit iniFileU, ");
    ASSERT_TRUE(std::regex_match(lines[2], m, kLinePattern)) << lines[2];
    EXPECT_EQ(m[1].str(), "[runemeter] ********** closing Runemeter");
}

TEST_F(Logging, TheStampIsTheLocalTimeToTheMillisecond) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 4;
    t.tm_hour = 5;
    t.tm_min = 6;
    t.tm_sec = 7;
    t.tm_isdst = -1;
    const auto when =
        std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(89);
    EXPECT_EQ(formatLogLine(u"hello", false, when), "2026-03-04 05:06:07.089 hello");
}

struct TextCase {
    const char* name;
    std::u16string text;
    std::string utf8;
};

TEST_F(Logging, TextIsWrittenAsUtf8OnOneLine) {
    const std::vector<TextCase> cases = {
        {"ASCII", u"plain", "plain"},
        {"Latin", u"Gr\u00FC\u00DFe",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"CJK", u"\u4E2D\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"lone high surrogate", std::u16string(1, char16_t(0xD800)) + u"x", "\xEF\xBF\xBDx"},
        {"lone low surrogate", std::u16string(1, char16_t(0xDC00)), "\xEF\xBF\xBD"},
        {"line breaks", u"one\r\ntwo\nthree", "one\\r\\ntwo\\nthree"},
    };
    const auto log = makeLog();
    SetLogFilename(log);
    keeping_log = true;
    for (const TextCase& c : cases) {
        AddToLogFile(c.text, false);
    }
    const auto lines = splitLines(readFile(log));
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLinePattern)) << lines[i];
        EXPECT_EQ(m[1].str(), cases[i].utf8);
    }
}

// Every line must be whole and each writer's lines all there.
void expectAllLines(const std::string& content, int writers, int perWriter) {
    std::vector<int> seen(static_cast<std::size_t>(writers), 0);
    const std::regex pattern(
        R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} writer (\d+) line (\d+))");
    for (const std::string& line : splitLines(content)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, pattern)) << "broken line: " << line;
        ++seen[static_cast<std::size_t>(std::stoi(m[1].str()))];
    }
    for (int w = 0; w < writers; ++w) {
        EXPECT_EQ(seen[static_cast<std::size_t>(w)], perWriter) << "writer " << w;
    }
}

std::u16string writerLine(int writer, int line) {
    const std::string s = "writer " + std::to_string(writer) + " line " + std::to_string(line);
    return std::u16string(s.begin(), s.end());
}

TEST_F(Logging, ThreadsWritingAtOnceKeepTheirLinesWhole) {
    const auto log = makeLog();
    SetLogFilename(log);
    keeping_log = true;
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int w = 0; w < kThreads; ++w) {
        threads.emplace_back([w] {
            for (int i = 0; i < kLines; ++i) {
                AddToLogFile(writerLine(w, i), false);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    expectAllLines(readFile(log), kThreads, kLines);
}

TEST_F(Logging, ProgramsWritingAtOnceKeepTheirLinesWhole) {
    const auto log = makeLog();
    SetLogFilename(log);
    keeping_log = true;
    constexpr int kProcesses = 3;
    constexpr int kLines = 200;
    std::vector<pid_t> children;
    for (int w = 0; w < kProcesses; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < kLines; ++i) {
                AddToLogFile(writerLine(w, i), false);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
    }
    expectAllLines(readFile(log), kProcesses, kLines);
}

TEST_F(Logging, ALogThatCannotBeWrittenIsSkipped) {
    keeping_log = true;
    // A folder in place of the file.
    SetLogFilename(m_tmp.path());
    AddToLogFile(u"goes nowhere", true);
    // A pipe nobody reads: the call must come back at once instead of waiting for a reader.
    const auto fifo = m_tmp.path() / "pipe.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    SetLogFilename(fifo);
    AddToLogFile(u"goes nowhere either", false);
    // And logging carries on once the file is there.
    const auto log = makeLog();
    SetLogFilename(log);
    AddToLogFile(u"arrives", false);
    EXPECT_EQ(splitLines(readFile(log)).size(), 1u);
}

}  // namespace
}  // namespace runemeter
