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

#include "suite/tool_services.h"
#include "support/files.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Every test writes to a log of its own and leaves logging off.
class Logging : public ::testing::Test {
protected:
    Logging() {
        SetCurrentTool(13);
        test::writeFile(m_log, "");
        SetLogFilename(m_log);
        keeping_log = true;
    }
    ~Logging() override {
        keeping_log = false;
        SetLogFilename({});
    }

    // The texts of the log's lines; each line must begin with a time stamp.
    Lines texts() {
        static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
        Lines out;
        for (const std::string& line : test::splitLines(test::readFile(m_log))) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
            out.push_back(m.size() > 1 ? m[1].str() : line);
        }
        return out;
    }

    test::TempDir m_tmp;
    fs::path m_log = m_tmp / "veltrane.log";
};

TEST_F(Logging, WritesOnlyWhenSwitchedOnAndTheFileExists) {
    keeping_log = false;
    AddToLogFile(u"off", false);
    keeping_log = true;
    SetLogFilename({});
    AddToLogFile(u"no file name", false);
    SetLogFilename(m_tmp / "missing.log");
    AddToLogFile(u"a missing log is never made", false);
    EXPECT_FALSE(fs::exists(m_tmp / "missing.log"));
    SetLogFilename(m_log);
    AddToLogFile(u"on", false);
    EXPECT_EQ(texts(), Lines{"on"});
}

TEST_F(Logging, LinesAreAppendedAsUtf8OnOneLineWithTheToolNameOnRequest) {
    test::writeFile(m_log, "2026-01-01 00:00:00.000 earlier line\n");
    const std::u16string texts16[] = {u"Gr\u00FC\u00DFe", u"\U0001F600",
                                      std::u16string(1, char16_t(0xD800)) + u"x",
                                      u"one\r\ntwo\nthree"};
    for (const std::u16string& text : texts16)
        AddToLogFile(text, false);
    AddToLogFile(u"closing", true);
    EXPECT_EQ(texts(), (Lines{"earlier line",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e",
                              "\xF0\x9F\x98\x80", "\xEF\xBF\xBDx", "one\\r\\ntwo\\nthree",
                              "[runemeter] closing"}));
}

TEST(LogLine, TheStampIsTheLocalTimeToTheMillisecond) {
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

// Two programs with two threads each, and this one: every line whole, none lost.
TEST_F(Logging, ThreadsAndProgramsWritingAtOnceKeepTheirLinesWhole) {
    constexpr int kLines = 200;
    const auto write = [](int program) {
        std::vector<std::thread> threads;
        for (int w = program * 2; w < program * 2 + 2; ++w) {
            threads.emplace_back([w] {
                for (int i = 0; i < kLines; ++i) {
                    const std::string s = "writer " + std::to_string(w);
                    AddToLogFile(std::u16string(s.begin(), s.end()), false);
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
    };
    std::vector<pid_t> children;
    for (int program = 1; program <= 2; ++program) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            write(program);
            ::_exit(0);
        }
        children.push_back(pid);
    }
    write(0);
    for (const pid_t child : children)
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    std::vector<int> seen(6, 0);
    for (const std::string& text : texts()) {
        ASSERT_TRUE(text.size() == 8 && text.starts_with("writer ")) << text;
        ++seen.at(static_cast<std::size_t>(text[7] - '0'));
    }
    EXPECT_EQ(seen, std::vector<int>(6, kLines));
}

TEST_F(Logging, ALogThatCannotBeWrittenIsSkipped) {
    SetLogFilename(m_tmp.path());  // a folder
    AddToLogFile(u"goes nowhere", true);
    const auto fifo = m_tmp / "pipe.log";  // nobody reads it: the call must not wait
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    SetLogFilename(fifo);
    AddToLogFile(u"goes nowhere either", false);
    SetLogFilename(m_log);
    AddToLogFile(u"arrives", false);
    EXPECT_EQ(texts(), Lines{"arrives"});
}

}  // namespace
}  // namespace runemeter
