// SPDX-License-Identifier: GPL-3.0-or-later
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

// The texts of a log's lines, each of which must begin with a time stamp.
Lines texts(const fs::path& log) {
    static const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*))");
    Lines out;
    for (const std::string& line : test::splitLines(test::readFile(log))) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
        out.push_back(m.size() > 1 ? m[1].str() : line);
    }
    return out;
}

// Written only when switched on and the file exists; a folder or a pipe nobody reads is skipped
// at once. Each text is one UTF-8 line, with the tool's name on request.
TEST(Logging, WritesUtf8LinesOnlyWhenSwitchedOnAndTheFileCanBeWritten) {
    test::TempDir tmp;
    const fs::path log = tmp / "veltrane.log";
    test::writeFile(log, "2026-01-01 00:00:00.000 earlier line\n");
    ASSERT_EQ(::mkfifo((tmp / "pipe.log").c_str(), 0600), 0);
    SetCurrentTool(13);
    SetLogFilename(log);
    AddToLogFile(u"off", false);
    keeping_log = true;
    for (const fs::path& file : {fs::path(), tmp / "missing.log", tmp.path(), tmp / "pipe.log"}) {
        SetLogFilename(file);
        AddToLogFile(u"nowhere", true);
    }
    EXPECT_FALSE(fs::exists(tmp / "missing.log"));  // never made
    SetLogFilename(log);
    AddToLogFile(u"Gr\u00FC\u00DFe \U0001F600 one\r\ntwo", false);
    AddToLogFile(u"closing", true);
    keeping_log = false;
    EXPECT_EQ(texts(log), (Lines{"earlier line",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e \xF0\x9F\x98\x80 one\\r\\ntwo",
                                 "[runemeter] closing"}));
    std::tm t{};
    ASSERT_TRUE(::strptime("2026-03-04 05:06:07", "%Y-%m-%d %H:%M:%S", &t));
    t.tm_isdst = -1;  // local time, summer or not
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&t));
    EXPECT_EQ(formatLogLine(u"x", false, when + std::chrono::milliseconds(89)),
              "2026-03-04 05:06:07.089 x");
}

// Two programs with two threads each, and this one: every line whole, none lost.
TEST(Logging, ThreadsAndProgramsWritingAtOnceKeepTheirLinesWhole) {
    test::TempDir tmp;
    test::writeFile(tmp / "veltrane.log", "");
    SetLogFilename(tmp / "veltrane.log");
    keeping_log = true;
    const auto write = [](int program) {
        std::vector<std::thread> threads;
        for (int w = program * 2; w < program * 2 + 2; ++w) {
            threads.emplace_back([w] {
                for (int i = 0; i < 200; ++i)
                    AddToLogFile(u"writer " + std::u16string(1, char16_t(u'0' + w)), false);
            });
        }
        for (auto& thread : threads)
            thread.join();
    };
    std::vector<pid_t> children;
    for (int program = 1; program <= 2; ++program) {
        children.push_back(::fork());
        if (children.back() == 0) {
            write(program);
            ::_exit(0);
        }
    }
    write(0);
    for (const pid_t child : children)
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    keeping_log = false;
    std::vector<int> seen(6, 0);
    for (const std::string& text : texts(tmp / "veltrane.log")) {
        ASSERT_TRUE(text.size() == 8 && text.starts_with("writer ")) << text;
        ++seen.at(static_cast<std::size_t>(text[7] - '0'));
    }
    EXPECT_EQ(seen, std::vector<int>(6, 200));
}

}  // namespace
}  // namespace runemeter
