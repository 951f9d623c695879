#include "suite/crash_reporter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/files.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::string>;

TEST(ModuleList, TakesEachFileMappedExecutableOnceInAddressOrder) {
    const struct {
        const char* maps;
        std::vector<std::string> modules;
    } rows[] = {
        {"", {}},
        {"1000-2000 r--p 00000000 08:01 9 /usr/lib/locale/locale-archive\n"
         "7f00-7f10 r--p 00000000 08:01 11 /usr/lib/libc.so.6\n"
         "7f10-7f20 r-xp 00010000 08:01 11 /usr/lib/libc.so.6\n"
         "8000-9000 r-xp 00000000 08:01 5 /opt/app/prog\n"
         "9000-a000 r-xp 00001000 08:01 11 /usr/lib/libc.so.6\n",
         {"/usr/lib/libc.so.6", "/opt/app/prog"}},
        {"1000-2000 rw-p 00000000 00:00 0 \n3000-4000 r-xp 00000000 00:00 0 [vdso]\n"
         "5000-6000 rwxp 00000000 00:00 0\n",
         {}},
        {"1000-2000 r-xp 00000000 08:01 5       /home/a b/my prog\n", {"/home/a b/my prog"}},
        {"1000-2000 r-xp 00000000 08:01 5 /tmp/plugin.so (deleted)\n", {"/tmp/plugin.so"}},
        {"garbage\n1000-2000 r\n\n1000-2000 r-xp 00000000 08:01 5 /bin/prog", {"/bin/prog"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(parseModuleList(row.maps), row.modules) << row.maps;
    ASSERT_FALSE(loadedModules().empty());
    EXPECT_EQ(loadedModules().front(), runningExecutable());
}

struct CustomError {};

TEST(CrashReporter, NamesTheReportAndTheErrorAsTheUserReadsThem) {
    for (const auto& [module, file] : std::vector<std::pair<const char*, const char*>>{
             {"/opt/veltrane/runemeter", "runemeter.elf"},
             {"/opt/v1.2/runemeter.exe", "runemeter.elf"},
             {"/opt/.hidden", ".hidden.elf"},
             {"/opt/a.b.c", "a.b.elf"}}) {
        EXPECT_EQ(reportFileName(module), file) << module;
    }
    const struct {
        std::exception_ptr error;
        const char* type;
        const char* message;
    } rows[] = {
        {std::make_exception_ptr(std::out_of_range("index 7")), "std::out_of_range", "index 7"},
        {std::make_exception_ptr("plain text"), "const char*", "plain text"},
        {std::make_exception_ptr(std::string("a string")), "std::string", "a string"},
        {std::make_exception_ptr(42), "int", ""},
        {std::make_exception_ptr(CustomError{}), "runemeter::(anonymous namespace)::CustomError",
         ""},
    };
    for (const auto& row : rows) {
        std::string type;
        std::string message;
        describeException(row.error, type, message);
        EXPECT_EQ(type, row.type);
        EXPECT_EQ(message, row.message) << row.type;
    }
}

// A reporter writing below a temporary folder, recording every notification and step in order:
// "noticed", "action N", "failed N", "show" ("show, quit only" for a fatal error), "saved ok",
// "saved failed", "quit".
struct Fixture {
    test::TempDir tmp;
    CrashReporter reporter;
    Events events;
    std::string saveFolder;  ///< the folder the listener was told of before saving
    ShowChoice choice = ShowChoice::Continue;
    int skip = -1;  ///< the action the listener does not let run
    bool quitResult = true;

    Fixture() {
        fs::create_directory(tmp / "out");
        reporter.options().outputFolder = (tmp / "out/").string();
        reporter.options().moduleFilePath = "/opt/veltrane/runemeter";
        reporter.options().programName = "Runemeter";
        reporter.options().programVersion = "1.0.0";
        reporter.setNotifications(
            [this](const ExceptionRecord&, bool&) { events.push_back("noticed"); },
            [this](const ExceptionRecord& record, std::uint8_t kind, bool& execute) {
                events.push_back("action " + std::to_string(kind));
                if (kind == 2)
                    saveFolder = record.options.outputFolder;
                execute = kind != skip;
            },
            [this](const ExceptionRecord&, std::uint8_t kind) {
                events.push_back("failed " + std::to_string(kind));
            });
        reporter.setShowError([this](const ExceptionRecord& record) {
            events.push_back(record.canContinue ? "show" : "show, quit only");
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

struct OrderCase {
    const char* name;
    std::function<void(Fixture&)> setUp;
    Events events;
    const char* savedIn;  ///< folder of the report below the temporary folder; "": none saved
    bool canContinue = true;
};

TEST(CrashReporter, StepsRunInOrderAndEachFailureIsTold) {
    const Events shown = {"noticed", "action 0", "show", "action 1", "action 2"};
    const auto then = [&](Events more) {
        Events all = shown;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const auto none = [](Fixture&) {};
    const std::vector<OrderCase> rows = {
        {"continue", none, then({"action 3", "saved ok"}), "out/"},
        {"quit", [](Fixture& f) { f.choice = ShowChoice::Quit; },
         then({"action 3", "saved ok", "action 8", "quit"}), "out/"},
        {"quit refused",
         [](Fixture& f) {
             f.choice = ShowChoice::Quit;
             f.quitResult = false;
         },
         then({"action 3", "saved ok", "action 8", "quit", "failed 8"}), "out/"},
        {"fatal: only quit, the end left to the caller",
         none,
         {"noticed", "action 0", "show, quit only", "action 1", "action 2", "action 3", "saved ok",
          "action 8"},
         "out/",
         false},
        {"show not let run",
         [](Fixture& f) { f.skip = 0; },
         {"noticed", "action 0", "action 2", "action 3", "saved ok"},
         "out/"},
        {"save not let run", [](Fixture& f) { f.skip = 2; }, shown, ""},
        {"saved notice not let run", [](Fixture& f) { f.skip = 3; }, then({"action 3"}), "out/"},
        {"dialog throws",
         [](Fixture& f) {
             f.reporter.setShowError([](const ExceptionRecord&) -> ShowChoice { throw 1; });
         },
         {"noticed", "action 0", "failed 0", "action 2", "action 3", "saved ok"},
         "out/"},
        {"saved notice throws",
         [](Fixture& f) {
             f.reporter.setReportSaved([](const ExceptionRecord&, bool, const fs::path&,
                                          const std::string&) { throw 1; });
         },
         then({"action 3", "failed 3"}), "out/"},
        {"folder missing, no fallback",
         [](Fixture& f) {
             f.reporter.options().outputFolder = (f.tmp / "missing/deeper").string();
         },
         then({"failed 2", "saved failed"}), ""},
        {"folder missing: the user folder",
         [](Fixture& f) {
             f.reporter.options().outputFolder = (f.tmp / "missing").string();
             f.reporter.setFallbackFolder([&f] { return f.tmp / "user/Veltrane"; });
         },
         then({"action 3", "saved ok"}), "user/Veltrane/"},
        {"folder without delimiter is used",
         [](Fixture& f) {
             f.reporter.options().outputFolder = (f.tmp / "out").string();
             f.reporter.setFallbackFolder([&f] { return f.tmp / "never"; });
         },
         then({"action 3", "saved ok"}), "out/"},
        {"a second error while the dialog is open",
         [](Fixture& f) {
             f.reporter.setShowError([&f](const ExceptionRecord&) {
                 f.events.push_back("show");
                 (void)f.reporter.report("E", "while the dialog is open");
                 return ShowChoice::Continue;
             });
         },
         {"noticed", "action 0", "show", "failed 0", "action 1", "action 2", "action 3",
          "saved ok"},
         "out/"},
        {"throwing listeners",
         [](Fixture& f) {
             f.choice = ShowChoice::Quit;
             f.reporter.setNotifications([](const ExceptionRecord&, bool&) { throw 1; },
                                         [&f](const ExceptionRecord&, std::uint8_t kind, bool&) {
                                             f.events.push_back("action " + std::to_string(kind));
                                             throw 2;
                                         },
                                         [](const ExceptionRecord&, std::uint8_t) { throw 3; });
         },
         {"action 0", "show", "action 1", "action 2", "action 3", "saved ok", "action 8", "quit"},
         "out/"},
        {"a listener takes the error over",
         [](Fixture& f) {
             f.reporter.setNotifications(
                 [](const ExceptionRecord&, bool& handled) { handled = false; }, nullptr, nullptr);
         },
         {},
         ""},
    };
    for (const OrderCase& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        row.setUp(f);
        const ReportOutcome outcome =
            f.reporter.report("std::runtime_error", "boom", row.canContinue);
        EXPECT_EQ(f.events, row.events);
        const bool saved = *row.savedIn != '\0';
        const fs::path file = f.tmp / (saved ? row.savedIn : "out/") / "runemeter.elf";
        EXPECT_EQ(fs::exists(file), saved);
        EXPECT_EQ(outcome.reportFile, saved ? file : fs::path());
        if (saved) {
            EXPECT_TRUE(f.saveFolder.empty() || f.saveFolder == (f.tmp / row.savedIn).string());
            EXPECT_EQ(test::readFile(file).find("while the dialog"), std::string::npos);
        }
        const auto& e = row.events;
        const bool quits = std::find(e.begin(), e.end(), "action 8") != e.end();
        EXPECT_EQ(outcome.choice, quits ? ShowChoice::Quit : ShowChoice::Continue);
        EXPECT_FALSE(outcome.nested);
        EXPECT_FALSE(f.reporter.busy());
    }
}

TEST(CrashReporter, ReportFileHoldsTheErrorAndKeepsEarlierReports) {
    Fixture f;
    (void)f.reporter.report("std::runtime_error", "first error");
    (void)f.reporter.report("std::logic_error", "second error\nwith a second line");
    const std::string text = test::readFile(f.tmp / "out/runemeter.elf");
    std::size_t at = 0;
    for (const std::string& part : std::vector<std::string>{
             "=== Error report ===\nTime: ", "Program: Runemeter 1.0.0\n",
             "Executable: /opt/veltrane/runemeter\n",
             "Process: ", "Exception: std::runtime_error\n", "Message: first error\n",
             "Modules:\n  1: " + loadedModules().front() + "\n", "Stack trace:\n  #0 ",
             "=== Error report ===\n", "Exception: std::logic_error\n",
             "Message: second error\n  with a second line\n"}) {
        const std::size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing after " << at << ": " << part << text;
        at = found + part.size();
    }
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
    test::TempDir folder;
    EXPECT_DEATH(terminateWithReport(folder.path()), "");
    const std::string text = test::readFile(folder / "runemeter.elf");
    EXPECT_NE(text.find("Exception: std::runtime_error\nMessage: escaped everything\n"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace runemeter
