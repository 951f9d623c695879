#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/exception_handling_unit.h"
#include "suite/crash_reporter.h"
#include "suite/logging.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
namespace unit = exception_handling_unit;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "exception-unit-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// One expected log line: its text and the logging flag it was written with.
struct Line {
    std::u16string text;
    bool flag = true;
};

// The part of a written line after its time stamp, as the logging service formats it.
std::string withoutStamp(const std::string& line) {
    constexpr std::size_t kStamp = std::string_view("YYYY-MM-DD HH:MM:SS.mmm ").size();
    return line.size() < kStamp ? line : line.substr(kStamp);
}

std::vector<std::string> expectedLines(const std::vector<Line>& lines) {
    std::vector<std::string> out;
    for (const Line& l : lines) {
        out.push_back(
            withoutStamp(formatLogLine(l.text, l.flag, std::chrono::system_clock::now())));
    }
    return out;
}

// Points the suite's log at a fresh file in a temporary folder for one test.
class UnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_log = m_folder.path() / "veltrane.log";
        std::ofstream(m_log).flush();
        SetCurrentTool(kRunemeterTool);
        SetLogFilename(m_log);
        keeping_log = true;
    }
    void TearDown() override {
        keeping_log = false;
        SetLogFilename({});
    }

    [[nodiscard]] std::vector<std::string> written() const {
        std::ifstream in(m_log, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            lines.push_back(withoutStamp(line));
        }
        return lines;
    }

    static ExceptionRecord sampleRecord() {
        ExceptionRecord record;
        record.modules = {"/opt/veltrane/runemeter", "/usr/lib/libc.so.6"};
        record.options.outputFolder = "/opt/veltrane/";
        record.options.moduleFilePath = "/opt/veltrane/runemeter";
        record.typeName = "std::runtime_error";
        record.message = "boom";
        return record;
    }

    TempFolder m_folder;
    fs::path m_log;
};

TEST_F(UnitTest, ExceptionNoticedWritesOneLineAndAlwaysHandles) {
    for (const bool logging : {true, false}) {
        std::ofstream(m_log, std::ios::trunc).flush();
        keeping_log = logging;
        bool handled = false;
        unit::onExceptionNoticed(sampleRecord(), handled);
        EXPECT_TRUE(handled) << "logging " << logging;
        EXPECT_EQ(written(), logging ? expectedLines({{u"Veltrane Error noticed"}})
                                     : std::vector<std::string>{})
            << "logging " << logging;
    }
}

TEST_F(UnitTest, ReportingActionWritesTheLinesOfEachKind) {
    const struct {
        const char* name;
        std::uint8_t kind;
        std::vector<Line> lines;
    } cases[] = {
        {"0 show",
         0,
         {{u"Module 1: /opt/veltrane/runemeter"},
          {u"Module 2: /usr/lib/libc.so.6"},
          {u"Showing error"}}},
        {"1 finished showing", 1, {{u"finished showing"}}},
        {"2 save", 2, {{u"Saving error in /opt/veltrane/runemeter.elf"}}},
        {"3 saved", 3, {{u"Saved"}}},
        {"4 sending", 4, {{u"Sending email"}}},
        {"5 sent", 5, {{u"Sent email"}}},
        {"6 nothing", 6, {}},
        {"7 nothing", 7, {}},
        {"8 quit", 8, {{u"Quitting"}}},
        {"9 above the kinds", 9, {}},
        {"255 above the kinds", 255, {}},
    };
    for (const auto& c : cases) {
        for (const bool logging : {true, false}) {
            std::ofstream(m_log, std::ios::trunc).flush();
            keeping_log = logging;
            bool execute = false;
            unit::onReportingAction(sampleRecord(), c.kind, execute);
            EXPECT_TRUE(execute) << c.name << ", logging " << logging;
            EXPECT_EQ(written(), logging ? expectedLines(c.lines) : std::vector<std::string>{})
                << c.name << ", logging " << logging;
        }
    }
}

TEST_F(UnitTest, ShowingWithAnEmptyModuleListWritesOnlyShowingError) {
    ExceptionRecord record = sampleRecord();
    record.modules.clear();
    bool execute = false;
    unit::onReportingAction(record, 0, execute);
    EXPECT_EQ(written(), expectedLines({{u"Showing error"}}));
}

TEST_F(UnitTest, SavingLineBuildsTheReportPath) {
    const struct {
        const char* name;
        const char* folder;
        const char* module;
        std::u16string line;
    } cases[] = {
        {"folder with delimiter", "/opt/veltrane/", "/opt/veltrane/runemeter",
         u"Saving error in /opt/veltrane/runemeter.elf"},
        {"folder without delimiter", "/home/ann/.local/share/Veltrane", "/opt/veltrane/runemeter",
         u"Saving error in /home/ann/.local/share/Veltrane/runemeter.elf"},
        {"module with an extension", "/opt/", "/opt/bin/runemeter.bin",
         u"Saving error in /opt/runemeter.elf"},
        {"no folder offered", "", "/opt/bin/runemeter", u"Saving error in runemeter.elf"},
        {"names outside ASCII", "/home/j\xc3\xbcrgen/", "/opt/\xe5\xb7\xa5\xe5\x85\xb7/t\xc3\xa9st",
         u"Saving error in /home/j\u00fcrgen/t\u00e9st.elf"},
    };
    for (const auto& c : cases) {
        std::ofstream(m_log, std::ios::trunc).flush();
        ExceptionRecord record = sampleRecord();
        record.options.outputFolder = c.folder;
        record.options.moduleFilePath = c.module;
        bool execute = false;
        unit::onReportingAction(record, 2, execute);
        EXPECT_EQ(written(), expectedLines({{c.line}})) << c.name;
    }
}

TEST_F(UnitTest, ModuleNamesAreWidenedFromUtf8) {
    ExceptionRecord record = sampleRecord();
    record.modules = {"/opt/\xc3\xa9t\xc3\xa9/lib.so", "/opt/bad\xff/lib.so"};
    bool execute = false;
    unit::onReportingAction(record, 0, execute);
    EXPECT_EQ(written(), expectedLines({{u"Module 1: /opt/\u00e9t\u00e9/lib.so"},
                                        {u"Module 2: /opt/bad\uFFFD/lib.so"},
                                        {u"Showing error"}}));
}

TEST_F(UnitTest, ReportingActionFailedWritesStarsThenTheFailure) {
    const struct {
        const char* name;
        std::uint8_t kind;
        const char16_t* failure;  // nullptr: only the "***" line
    } cases[] = {
        {"0", 0, u"Failed to show"}, {"1", 1, u"Failed to complete showing"},
        {"2", 2, u"Failed to save"}, {"3", 3, u"Failed to complete save"},
        {"4", 4, u"Failed to send"}, {"5", 5, u"Failed to complete send"},
        {"6", 6, nullptr},           {"7", 7, nullptr},
        {"8", 8, u"Failed to quit"}, {"9", 9, nullptr},
        {"200", 200, nullptr},
    };
    for (const auto& c : cases) {
        for (const bool logging : {true, false}) {
            std::ofstream(m_log, std::ios::trunc).flush();
            keeping_log = logging;
            unit::onReportingActionFailed(sampleRecord(), c.kind);
            std::vector<Line> lines{{u"***", false}};
            if (c.failure != nullptr) {
                lines.push_back({c.failure, true});
            }
            EXPECT_EQ(written(), logging ? expectedLines(lines) : std::vector<std::string>{})
                << "kind " << c.name << ", logging " << logging;
        }
    }
}

TEST(ExecutableFolder, KeepsTheTrailingDelimiter) {
    EXPECT_EQ(unit::executableFolder("/opt/veltrane/runemeter"), "/opt/veltrane/");
    EXPECT_EQ(unit::executableFolder("/runemeter"), "/");
    EXPECT_EQ(unit::executableFolder("runemeter"), "");
    EXPECT_EQ(unit::executableFolder("./bin/runemeter"), "./bin/");
}

TEST_F(UnitTest, InitialisationOnceFinalisationWritesTheLastLine) {
    const int before = unit::initializationCount();
    ASSERT_EQ(before, 0);
    unit::initialization();
    unit::initialization();
    EXPECT_EQ(unit::initializationCount(), 2);
    unit::finalization();
    EXPECT_TRUE(written().empty()) << "an inner finalisation writes nothing";
    unit::finalization();
    EXPECT_EQ(unit::initializationCount(), 0);
    EXPECT_EQ(
        written(),
        expectedLines({{u"quitting exception_handling_unit\r\n" + std::u16string(50, u'*')}}));

    // An unbalanced finalisation neither counts below zero nor writes again.
    unit::finalization();
    EXPECT_EQ(unit::initializationCount(), 0);
    EXPECT_EQ(written().size(), 1u);
}

TEST_F(UnitTest, FinalisationWithLoggingOffWritesNothing) {
    unit::initialization();
    keeping_log = false;
    unit::finalization();
    EXPECT_TRUE(written().empty());
}

TEST_F(UnitTest, InitialisationPointsTheReporterAtTheExecutableFolder) {
    unit::initialization();
    CrashReporter& reporter = CrashReporter::instance();
    const std::string exe = runningExecutable();
    EXPECT_EQ(reporter.options().moduleFilePath, exe);
    EXPECT_EQ(reporter.options().outputFolder, exe.substr(0, exe.rfind('/') + 1));
    unit::finalization();
}

// The whole path: an error reported through the process's reporter writes the unit's lines in
// order, with the user folder taking the report when the executable's folder cannot.
TEST_F(UnitTest, ReportedErrorIsLoggedStepByStep) {
    unit::initialization();
    CrashReporter& reporter = CrashReporter::instance();
    const ReporterOptions saved = reporter.options();
    const fs::path userFolder = m_folder.path() / "user";
    const fs::path savedUserFolder = user_read_write_folder;
    user_read_write_folder = userFolder;
    reporter.options().outputFolder = (m_folder.path() / "no such folder").string();
    reporter.setShowError([](const ExceptionRecord&) { return ShowChoice::Continue; });
    reporter.setReportSaved(
        [](const ExceptionRecord&, bool, const fs::path&, const std::string&) {});

    const ReportOutcome outcome =
        reporter.report(std::make_exception_ptr(std::runtime_error("from a handler")));

    const std::string reportName = reportFileName(reporter.options().moduleFilePath);
    EXPECT_EQ(outcome.reportFile, userFolder / reportName);
    std::vector<Line> lines{{u"Veltrane Error noticed"}};
    const std::vector<std::string> modules = loadedModules();
    ASSERT_FALSE(modules.empty());
    for (std::size_t i = 0; i < modules.size(); ++i) {
        lines.push_back(
            {u"Module " + utf8ToUtf16(std::to_string(i + 1)) + u": " + utf8ToUtf16(modules[i])});
    }
    lines.push_back({u"Showing error"});
    lines.push_back({u"finished showing"});
    lines.push_back({u"Saving error in " + utf8ToUtf16(userFolder.string() + "/" + reportName)});
    lines.push_back({u"Saved"});
    EXPECT_EQ(written(), expectedLines(lines));

    reporter.options() = saved;
    reporter.setShowError(nullptr);
    reporter.setReportSaved(nullptr);
    user_read_write_folder = savedUserFolder;
    unit::finalization();
}

}  // namespace
}  // namespace runemeter
