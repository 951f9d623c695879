#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "suite/crash_reporter.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "crash-reporter-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    [[nodiscard]] const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// --- module list -----------------------------------------------------------------------------

struct MapsCase {
    const char* name;
    const char* maps;
    std::vector<std::string> modules;
};

TEST(ModuleList, ParsesTheExecutableMappingsOfAMapsText) {
    const MapsCase cases[] = {
        {"empty text", "", {}},
        {"one library over several mappings",
         "7f00-7f10 r--p 00000000 08:01 11 /usr/lib/libc.so.6\n"
         "7f10-7f20 r-xp 00010000 08:01 11 /usr/lib/libc.so.6\n"
         "7f20-7f30 rw-p 00020000 08:01 11 /usr/lib/libc.so.6\n",
         {"/usr/lib/libc.so.6"}},
        {"address order kept, duplicates dropped",
         "1000-2000 r-xp 00000000 08:01 5 /opt/app/prog\n"
         "3000-4000 r-xp 00000000 08:01 6 /usr/lib/libm.so.6\n"
         "5000-6000 r-xp 00001000 08:01 5 /opt/app/prog\n"
         "7000-8000 r-xp 00000000 08:01 7 /usr/lib/ld-linux.so.2\n",
         {"/opt/app/prog", "/usr/lib/libm.so.6", "/usr/lib/ld-linux.so.2"}},
        {"data files without code are left out",
         "1000-2000 r--p 00000000 08:01 9 /usr/lib/locale/locale-archive\n"
         "3000-4000 r-xp 00000000 08:01 6 /usr/lib/libm.so.6\n",
         {"/usr/lib/libm.so.6"}},
        {"anonymous and pseudo mappings are left out",
         "1000-2000 rw-p 00000000 00:00 0 \n"
         "3000-4000 r-xp 00000000 00:00 0 [vdso]\n"
         "5000-6000 rwxp 00000000 00:00 0\n"
         "7000-8000 r-xp 00000000 00:00 0 [vsyscall]\n",
         {}},
        {"a path with blanks is taken whole",
         "1000-2000 r-xp 00000000 08:01 5       /home/a b/my prog\n",
         {"/home/a b/my prog"}},
        {"a deleted file keeps its path",
         "1000-2000 r-xp 00000000 08:01 5 /tmp/plugin.so (deleted)\n",
         {"/tmp/plugin.so"}},
        {"a last line without a line break",
         "1000-2000 r-xp 00000000 08:01 5 /bin/prog",
         {"/bin/prog"}},
        {"damaged lines are skipped",
         "garbage\n"
         "1000-2000 r\n"
         "\n"
         "1000-2000 r-xp 00000000 08:01 5 /bin/prog\n",
         {"/bin/prog"}},
    };
    for (const MapsCase& c : cases) {
        EXPECT_EQ(parseModuleList(c.maps), c.modules) << c.name;
    }
}

TEST(ModuleList, ThisProcessListsItsOwnExecutableFirstAndTheCLibrary) {
    const std::vector<std::string> modules = loadedModules();
    ASSERT_FALSE(modules.empty());
    EXPECT_EQ(modules.front(), runningExecutable());
    bool hasLibc = false;
    for (const std::string& m : modules) {
        hasLibc = hasLibc || m.find("libc.so") != std::string::npos;
    }
    EXPECT_TRUE(hasLibc);
}

// --- names -----------------------------------------------------------------------------------

TEST(ReportNames, FileNameIsTheModuleNameWithElf) {
    const struct {
        const char* module;
        const char* file;
    } cases[] = {
        {"/opt/veltrane/runemeter", "runemeter.elf"},
        {"/opt/veltrane/runemeter.exe", "runemeter.elf"},
        {"/opt/v1.2/runemeter", "runemeter.elf"},
        {"runemeter.bin", "runemeter.elf"},
        {"/opt/.hidden", ".hidden.elf"},
        {"/opt/a.b.c", "a.b.elf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reportFileName(c.module), c.file) << c.module;
    }
}

TEST(ReportNames, TrailingDelimiterIsAddedOnce) {
    EXPECT_EQ(withTrailingDelimiter("/opt/app"), "/opt/app/");
    EXPECT_EQ(withTrailingDelimiter("/opt/app/"), "/opt/app/");
    EXPECT_EQ(withTrailingDelimiter("/"), "/");
    EXPECT_EQ(withTrailingDelimiter(""), "");
}

struct CustomError {
    int code;
};

TEST(DescribeException, TypeAndMessageOfWhatWasThrown) {
    const struct {
        const char* name;
        std::exception_ptr error;
        const char* type;
        const char* message;
    } cases[] = {
        {"runtime_error", std::make_exception_ptr(std::runtime_error("disk on fire")),
         "std::runtime_error", "disk on fire"},
        {"derived class", std::make_exception_ptr(std::out_of_range("index 7")),
         "std::out_of_range", "index 7"},
        {"text literal", std::make_exception_ptr("plain text"), "const char*", "plain text"},
        {"string", std::make_exception_ptr(std::string("a string")), "std::string", "a string"},
        {"integer", std::make_exception_ptr(42), "int", ""},
        {"own type", std::make_exception_ptr(CustomError{3}),
         "runemeter::(anonymous namespace)::CustomError", ""},
    };
    for (const auto& c : cases) {
        std::string type;
        std::string message;
        describeException(c.error, type, message);
        EXPECT_EQ(type, c.type) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
    }
}

// --- reporting -------------------------------------------------------------------------------

// Records every notification as text, in order: "noticed", "action N", "failed N", "show",
// "saved ok|failed", "quit".
struct Recorder {
    std::vector<std::string> events;
    std::vector<std::string> saveFolders;
    ShowChoice choice = ShowChoice::Continue;
    std::uint8_t skipKind = 255;
    bool quitResult = true;
    bool lastCanContinue = true;

    void attach(CrashReporter& reporter) {
        reporter.setNotifications(
            [this](const ExceptionRecord&, bool& handled) {
                events.push_back("noticed");
                handled = true;
            },
            [this](const ExceptionRecord& record, std::uint8_t kind, bool& execute) {
                events.push_back("action " + std::to_string(kind));
                if (kind == 2) {
                    saveFolders.push_back(record.options.outputFolder);
                }
                execute = kind != skipKind;
            },
            [this](const ExceptionRecord&, std::uint8_t kind) {
                events.push_back("failed " + std::to_string(kind));
            });
        reporter.setShowError([this](const ExceptionRecord& record) {
            events.push_back("show");
            lastCanContinue = record.canContinue;
            return choice;
        });
        reporter.setReportSaved(
            [this](const ExceptionRecord&, bool saved, const fs::path&, const std::string&) {
                events.push_back(saved ? "saved ok" : "saved failed");
            });
        reporter.setQuit([this] {
            events.push_back("quit");
            return quitResult;
        });
    }
};

struct Fixture {
    TempFolder folder;
    CrashReporter reporter;
    Recorder recorder;

    Fixture() {
        reporter.options().outputFolder = folder.path().string() + "/";
        reporter.options().moduleFilePath = "/opt/veltrane/runemeter";
        reporter.options().programName = "Runemeter";
        reporter.options().programVersion = "1.0.0";
        recorder.attach(reporter);
    }
    [[nodiscard]] fs::path reportFile() const { return folder.path() / "runemeter.elf"; }
};

using Events = std::vector<std::string>;

TEST(CrashReporter, ActionsRunInOrderForEachChoice) {
    const struct {
        const char* name;
        ShowChoice choice;
        Events events;
    } cases[] = {
        {"continue",
         ShowChoice::Continue,
         {"noticed", "action 0", "show", "action 1", "action 2", "action 3", "saved ok"}},
        {"quit",
         ShowChoice::Quit,
         {"noticed", "action 0", "show", "action 1", "action 2", "action 3", "saved ok", "action 8",
          "quit"}},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.recorder.choice = c.choice;
        const ReportOutcome outcome = f.reporter.report("std::runtime_error", "boom");
        EXPECT_EQ(f.recorder.events, c.events) << c.name;
        EXPECT_EQ(outcome.choice, c.choice) << c.name;
        EXPECT_EQ(outcome.reportFile, f.reportFile()) << c.name;
        EXPECT_FALSE(outcome.nested) << c.name;
        EXPECT_FALSE(f.reporter.busy()) << c.name;
    }
}

TEST(CrashReporter, AnActionRunsOnlyWhenExecuteStaysTrue) {
    const struct {
        const char* name;
        std::uint8_t skip;
        Events events;
        bool fileExpected;
    } cases[] = {
        {"show skipped: no dialog, no finished",
         0,
         {"noticed", "action 0", "action 2", "action 3", "saved ok"},
         true},
        {"finished skipped",
         1,
         {"noticed", "action 0", "show", "action 1", "action 2", "action 3", "saved ok"},
         true},
        {"save skipped: no file, no saved",
         2,
         {"noticed", "action 0", "show", "action 1", "action 2"},
         false},
        {"saved skipped: file there, no notice",
         3,
         {"noticed", "action 0", "show", "action 1", "action 2", "action 3"},
         true},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.recorder.skipKind = c.skip;
        (void)f.reporter.report("E", "m");
        EXPECT_EQ(f.recorder.events, c.events) << c.name;
        EXPECT_EQ(fs::exists(f.reportFile()), c.fileExpected) << c.name;
    }
}

TEST(CrashReporter, FailedActionsRaiseTheFailureNotification) {
    {
        Fixture f;
        f.reporter.setShowError(
            [](const ExceptionRecord&) -> ShowChoice { throw std::runtime_error("dialog broke"); });
        (void)f.reporter.report("E", "m");
        EXPECT_EQ(f.recorder.events,
                  (Events{"noticed", "action 0", "failed 0", "action 2", "action 3", "saved ok"}))
            << "show throws";
    }
    {
        Fixture f;
        f.reporter.setReportSaved(
            [](const ExceptionRecord&, bool, const fs::path&, const std::string&) {
                throw std::runtime_error("notice broke");
            });
        (void)f.reporter.report("E", "m");
        EXPECT_EQ(f.recorder.events, (Events{"noticed", "action 0", "show", "action 1", "action 2",
                                             "action 3", "failed 3"}))
            << "saved notice throws";
    }
    {
        Fixture f;
        f.recorder.choice = ShowChoice::Quit;
        f.recorder.quitResult = false;
        (void)f.reporter.report("E", "m");
        EXPECT_EQ(f.recorder.events.back(), "failed 8") << "quit refused";
    }
}

TEST(CrashReporter, ReportThatCannotBeWrittenFailsAndTellsTheUser) {
    Fixture f;
    f.reporter.options().outputFolder = (f.folder.path() / "missing" / "deeper").string();
    const ReportOutcome outcome = f.reporter.report("E", "m");
    EXPECT_EQ(f.recorder.events, (Events{"noticed", "action 0", "show", "action 1", "action 2",
                                         "failed 2", "saved failed"}));
    EXPECT_TRUE(outcome.reportFile.empty());
}

TEST(CrashReporter, UnwritableOutputFolderFallsBackToTheUserFolder) {
    Fixture f;
    const fs::path userFolder = f.folder.path() / "user" / "Veltrane";
    f.reporter.setFallbackFolder([&] { return userFolder; });

    // A folder that does not exist cannot take the report.
    f.reporter.options().outputFolder = (f.folder.path() / "missing").string();
    ReportOutcome outcome = f.reporter.report("E", "first");
    EXPECT_EQ(outcome.reportFile, userFolder / "runemeter.elf");
    ASSERT_EQ(f.recorder.saveFolders.size(), 1u);
    EXPECT_EQ(f.recorder.saveFolders[0], userFolder.string() + "/");
    EXPECT_NE(readFile(userFolder / "runemeter.elf").find("Message: first"), std::string::npos);

    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root: folder permissions do not stop writing";
    }
    const fs::path readOnly = f.folder.path() / "read-only";
    fs::create_directory(readOnly);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    f.reporter.options().outputFolder = readOnly.string() + "/";
    outcome = f.reporter.report("E", "second");
    EXPECT_EQ(outcome.reportFile, userFolder / "runemeter.elf");
    EXPECT_FALSE(fs::exists(readOnly / "runemeter.elf"));
    ASSERT_EQ(f.recorder.saveFolders.size(), 2u);
    EXPECT_EQ(f.recorder.saveFolders[1], userFolder.string() + "/");
    fs::permissions(readOnly, fs::perms::owner_all);
}

TEST(CrashReporter, WritableOutputFolderWithoutDelimiterIsUsedAsItIs) {
    Fixture f;
    f.reporter.setFallbackFolder([&] { return f.folder.path() / "never"; });
    f.reporter.options().outputFolder = f.folder.path().string();
    (void)f.reporter.report("E", "m");
    ASSERT_EQ(f.recorder.saveFolders.size(), 1u);
    EXPECT_EQ(f.recorder.saveFolders[0], f.folder.path().string() + "/");
    EXPECT_TRUE(fs::exists(f.reportFile()));
    EXPECT_FALSE(fs::exists(f.folder.path() / "never"));
}

TEST(CrashReporter, ReportFileHoldsTheErrorAndKeepsEarlierReports) {
    Fixture f;
    (void)f.reporter.report("std::runtime_error", "first error");
    (void)f.reporter.report("std::logic_error", "second error\nwith a second line");
    const std::string text = readFile(f.reportFile());

    const char* expectedInOrder[] = {
        "=== Error report ===\nTime: ",
        "Program: Runemeter 1.0.0\n",
        "Executable: /opt/veltrane/runemeter\n",
        "Process: ",
        "Exception: std::runtime_error\n",
        "Message: first error\n",
        "Modules:\n  1: ",
        "Stack trace:\n  #0 ",
        "=== Error report ===\n",
        "Exception: std::logic_error\n",
        "Message: second error\n  with a second line\n",
    };
    std::size_t at = 0;
    for (const char* part : expectedInOrder) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << part << "\n"
                                            << text;
        at = found + std::string(part).size();
    }
    // The module list in the report is the process's own.
    EXPECT_NE(text.find("  1: " + loadedModules().front() + "\n"), std::string::npos);
}

TEST(CrashReporter, RecordCarriesModulesOptionsAndTheException) {
    Fixture f;
    ExceptionRecord seen;
    f.reporter.setShowError([&](const ExceptionRecord& record) {
        seen = record;
        return ShowChoice::Continue;
    });
    (void)f.reporter.report(std::make_exception_ptr(std::invalid_argument("bad value")));
    EXPECT_EQ(seen.typeName, "std::invalid_argument");
    EXPECT_EQ(seen.message, "bad value");
    EXPECT_EQ(seen.modules, loadedModules());
    EXPECT_EQ(seen.options.moduleFilePath, "/opt/veltrane/runemeter");
    EXPECT_TRUE(seen.canContinue);
    EXPECT_FALSE(seen.stackTrace.empty());
}

TEST(CrashReporter, ASecondErrorWhileReportingGoesStraightToFailure) {
    Fixture f;
    ReportOutcome inner;
    f.reporter.setShowError([&](const ExceptionRecord&) {
        f.recorder.events.push_back("show");
        inner = f.reporter.report("E", "while the dialog is open");
        return ShowChoice::Continue;
    });
    const ReportOutcome outer = f.reporter.report("E", "first");
    EXPECT_TRUE(inner.nested);
    EXPECT_FALSE(outer.nested);
    EXPECT_EQ(f.recorder.events, (Events{"noticed", "action 0", "show", "failed 0", "action 1",
                                         "action 2", "action 3", "saved ok"}));
    // Only the first error was saved.
    const std::string text = readFile(f.reportFile());
    EXPECT_EQ(text.find("while the dialog is open"), std::string::npos);
}

TEST(CrashReporter, ThrowingListenersDoNotStopTheReport) {
    Fixture f;
    f.reporter.setNotifications(
        [](const ExceptionRecord&, bool&) { throw std::runtime_error("noticed"); },
        [&](const ExceptionRecord&, std::uint8_t kind, bool&) {
            f.recorder.events.push_back("action " + std::to_string(kind));
            throw std::runtime_error("action");
        },
        [](const ExceptionRecord&, std::uint8_t) { throw 7; });
    f.recorder.choice = ShowChoice::Quit;
    const ReportOutcome outcome = f.reporter.report("E", "m");
    EXPECT_EQ(f.recorder.events, (Events{"action 0", "show", "action 1", "action 2", "action 3",
                                         "saved ok", "action 8", "quit"}));
    EXPECT_EQ(outcome.reportFile, f.reportFile());
    EXPECT_FALSE(f.reporter.busy());
}

TEST(CrashReporter, ListenerThatTakesTheErrorOverStopsTheActions) {
    Fixture f;
    f.reporter.setNotifications(
        [](const ExceptionRecord&, bool& handled) { handled = false; },
        [&](const ExceptionRecord&, std::uint8_t, bool&) { f.recorder.events.push_back("action"); },
        nullptr);
    const ReportOutcome outcome = f.reporter.report("E", "m");
    EXPECT_TRUE(f.recorder.events.empty());
    EXPECT_EQ(outcome.choice, ShowChoice::Continue);
    EXPECT_FALSE(fs::exists(f.reportFile()));
}

TEST(CrashReporter, FatalErrorOffersOnlyQuitAndLeavesTheEndToTheCaller) {
    Fixture f;
    f.recorder.choice = ShowChoice::Continue;
    const ReportOutcome outcome = f.reporter.report("E", "m", false);
    EXPECT_FALSE(f.recorder.lastCanContinue);
    EXPECT_EQ(outcome.choice, ShowChoice::Quit);
    EXPECT_EQ(f.recorder.events.back(), "action 8");
}

[[noreturn]] void terminateWithReport(const fs::path& folder) {
    CrashReporter& reporter = CrashReporter::instance();
    reporter.options().outputFolder = folder.string();
    reporter.options().moduleFilePath = "/opt/veltrane/runemeter";
    reporter.setShowError([](const ExceptionRecord&) { return ShowChoice::Continue; });
    installTerminateReporter();
    try {
        throw std::runtime_error("escaped everything");
    } catch (...) {
        std::terminate();
    }
}

TEST(CrashReporterDeathTest, TerminateSavesTheReportThenAborts) {
    TempFolder folder;
    EXPECT_DEATH(terminateWithReport(folder.path()), "");
    const std::string text = readFile(folder.path() / "runemeter.elf");
    EXPECT_NE(text.find("Exception: std::runtime_error\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Message: escaped everything\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace runemeter
