// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/crash_reporter.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/files.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;

// A reporter saving to <temporary folder>/out, noting every step in order as one word:
// "noticed", "a<N>" (action N about to run), "f<N>" (action N failed), "show" ("fatal" when only
// quitting is offered), "saved", "unsaved", "quit".
struct Fixture {
    test::TempDir tmp;
    CrashReporter reporter;
    std::string events;
    std::string saveFolder;  ///< the folder the listeners were told of before saving
    ShowChoice choice = ShowChoice::Continue;
    int skip = -1;  ///< the action the listener does not let run

    void note(const std::string& event) { events += (events.empty() ? "" : " ") + event; }
    Fixture() {
        fs::create_directory(tmp / "out");
        reporter.options().outputFolder = (tmp / "out").string();  // no delimiter
        reporter.options().moduleFilePath = "/opt/veltrane/runemeter";
        reporter.setNotifications(
            [this](const ExceptionRecord&, bool&) { note("noticed"); },
            [this](const ExceptionRecord& record, std::uint8_t kind, bool& execute) {
                note(std::string("a").append(std::to_string(kind)));
                saveFolder = kind == 2 ? record.options.outputFolder : saveFolder;
                execute = kind != skip;
            },
            [this](const ExceptionRecord&, std::uint8_t kind) {
                note(std::string("f").append(std::to_string(kind)));
            });
        reporter.setShowError([this](const ExceptionRecord& record) {
            note(record.canContinue ? "show" : "fatal");
            return choice;
        });
        reporter.setReportSaved([this](const ExceptionRecord&, bool saved, const fs::path&,
                                       const std::string&) { note(saved ? "saved" : "unsaved"); });
        reporter.setQuit([this] { return note("quit"), true; });
    }
};

// What goes wrong in a row, besides the listener's choice and the action it does not let run.
enum class Mishap { None, QuitFails, DialogThrows, NoFolder, UserFolder, Nested, Taken };

void cause(Mishap mishap, Fixture& f) {
    auto& r = f.reporter;
    switch (mishap) {
        case Mishap::None:
            return;
        case Mishap::QuitFails:
            return r.setQuit([] { return false; });
        case Mishap::DialogThrows:
            return r.setShowError([](const ExceptionRecord&) -> ShowChoice { throw 1; });
        case Mishap::NoFolder:
            r.options().outputFolder = (f.tmp / "missing/deeper").string();
            return;
        case Mishap::UserFolder:
            r.options().outputFolder = (f.tmp / "missing").string();
            return r.setFallbackFolder([&f] { return f.tmp / "user/Veltrane"; });
        case Mishap::Nested:
            return r.setShowError([&f](const ExceptionRecord&) {
                f.note("show");
                (void)f.reporter.report("E", "while the dialog is open");
                return ShowChoice::Continue;
            });
        case Mishap::Taken:
            return r.setNotifications([](const ExceptionRecord&, bool& go) { go = false; }, {}, {});
    }
}

struct OrderCase {
    const char* name;
    const char* events;
    const char* savedIn;  ///< folder of the report below the temporary folder; "": none saved
    Mishap mishap = Mishap::None;
    int skip = -1;
    ShowChoice choice = ShowChoice::Continue;
    bool fatal = false;
};

TEST(CrashReporter, StepsRunInOrderAndEachFailureIsTold) {
    using M = Mishap;
    const auto quit = ShowChoice::Quit, go = ShowChoice::Continue;
    const OrderCase rows[] = {
        {"continue", "noticed a0 show a1 a2 a3 saved", "out/"},
        {"quit", "noticed a0 show a1 a2 a3 saved a8 quit", "out/", M::None, -1, quit},
        {"quit fails", "noticed a0 show a1 a2 a3 saved a8 f8", "out/", M::QuitFails, -1, quit},
        {"fatal: the end left to the caller", "noticed a0 fatal a1 a2 a3 saved a8", "out/", M::None,
         -1, go, true},
        {"show not let run", "noticed a0 a2 a3 saved", "out/", M::None, 0},
        {"save not let run", "noticed a0 show a1 a2", "", M::None, 2},
        {"dialog throws", "noticed a0 f0 a2 a3 saved", "out/", M::DialogThrows},
        {"no folder", "noticed a0 show a1 a2 f2 unsaved", "", M::NoFolder},
        {"no folder: the user folder", "noticed a0 show a1 a2 a3 saved", "user/Veltrane/",
         M::UserFolder},
        {"second error in the dialog", "noticed a0 show f0 a1 a2 a3 saved", "out/", M::Nested},
        {"a listener takes the error over", "", "", M::Taken},
    };
    for (const OrderCase& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        f.skip = row.skip;
        f.choice = row.choice;
        cause(row.mishap, f);
        const ReportOutcome outcome = f.reporter.report("std::runtime_error", "boom", !row.fatal);
        EXPECT_EQ(f.events, row.events);
        const bool saved = *row.savedIn != '\0';
        const fs::path file = f.tmp / (saved ? row.savedIn : "out/") / "runemeter.elf";
        EXPECT_EQ(fs::exists(file), saved);
        EXPECT_EQ(outcome.reportFile, saved ? file : fs::path());
        EXPECT_EQ(f.saveFolder, saved ? (f.tmp / row.savedIn).string() : f.saveFolder);
        EXPECT_EQ(test::readFile(file).find("while the dialog"), std::string::npos);
        EXPECT_EQ(outcome.choice, row.fatal ? quit : row.choice);
        EXPECT_FALSE(outcome.nested || f.reporter.busy());
    }
}

TEST(CrashReporter, AReadOnlyFolderGivesWayToTheUserFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    Fixture f;
    cause(Mishap::UserFolder, f);
    f.reporter.options().outputFolder = (f.tmp / "out").string();
    fs::permissions(f.tmp / "out", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(f.reporter.report("E", "m").reportFile, f.tmp / "user/Veltrane/runemeter.elf");
    EXPECT_EQ(f.events, "noticed a0 show a1 a2 a3 saved");
}

TEST(CrashReporterDeathTest, TerminateSavesTheReportThenAborts) {
    test::TempDir folder;
    CrashReporter& reporter = CrashReporter::instance();
    reporter.options().outputFolder = folder.path().string();
    reporter.options().moduleFilePath = "/opt/veltrane/runemeter";
    reporter.setShowError([](const ExceptionRecord&) { return ShowChoice::Continue; });
    EXPECT_DEATH(
        {
            installTerminateReporter();
            try {
                throw std::runtime_error("escaped everything");
            } catch (...) {
                std::terminate();
            }
        },
        "");
    EXPECT_NE(test::readFile(folder / "runemeter.elf").find("Message: escaped everything\n"),
              std::string::npos);
}

}  // namespace
}  // namespace runemeter
