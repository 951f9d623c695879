// Runs the built vtsuite program against a suite in a temporary home folder.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "suite/named_mutex.h"
#include "suite/shared_state.h"
#include "support/files.h"

#ifndef VTSUITE_PATH
#error "VTSUITE_PATH must name the built vtsuite program"
#endif

namespace runemeter {
namespace {

using test::readFile;
using test::ScopedEnv;
using test::splitLines;
using test::TempDir;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class Vtsuite : public ::testing::Test {
protected:
    Vtsuite() { std::filesystem::create_directories(runtimeFolder()); }

    [[nodiscard]] std::filesystem::path home() const { return m_tmp.path() / "home"; }
    [[nodiscard]] std::filesystem::path runtimeFolder() const { return m_tmp.path() / "run"; }
    [[nodiscard]] SuitePaths paths() const {
        return SuitePaths{home() / ".config/Veltrane", home() / ".local/share/Veltrane/"};
    }

    // Starts vtsuite with a clean environment naming only the temporary suite; its output goes
    // to files in the temporary folder.
    pid_t start(const std::vector<std::string>& args, const std::string& tag) {
        const std::string outFile = (m_tmp.path() / (tag + ".out")).string();
        const std::string errFile = (m_tmp.path() / (tag + ".err")).string();
        std::vector<std::string> env = {"HOME=" + home().string(),
                                        "XDG_RUNTIME_DIR=" + runtimeFolder().string(),
                                        "PATH=/usr/bin:/bin", "LC_ALL=C"};
        std::vector<char*> argv;
        std::string program = VTSUITE_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (auto& a : copies) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            ::dup2(err, 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }

    RunResult finish(pid_t pid, const std::string& tag) {
        RunResult r;
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            r.exitCode = WEXITSTATUS(status);
        }
        r.out = readFile(m_tmp.path() / (tag + ".out"));
        r.err = readFile(m_tmp.path() / (tag + ".err"));
        return r;
    }

    RunResult run(const std::vector<std::string>& args) {
        return finish(start(args, "run"), "run");
    }

    // "key: value" lines of vtsuite show (the last one of a key wins).
    std::map<std::string, std::string> show() {
        const RunResult r = run({"show"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, std::string> values;
        for (const std::string& line : splitLines(r.out)) {
            const auto colon = line.find(": ");
            if (colon != std::string::npos) {
                values[line.substr(0, colon)] = line.substr(colon + 2);
            } else if (!line.empty() && line.back() == ':') {
                values[line.substr(0, line.size() - 1)] = "";
            }
        }
        return values;
    }

    bool waitUntil(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    TempDir m_tmp;
    // namedMutexExists in this process looks where the started programs hold the mutex.
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", (m_tmp.path() / "run").string()};
};

TEST_F(Vtsuite, ShowsTheDefaultsOfAFreshSuite) {
    auto v = show();
    const std::string data = (home() / ".local/share/Veltrane/").string();
    EXPECT_EQ(v["logging"], "off");
    EXPECT_EQ(v["logfile"], data + "veltrane.log");
    EXPECT_EQ(v["userfolder"], data);
    EXPECT_EQ(v["helpfile"], "");
    EXPECT_EQ(v["language"], "0 (none)");
    EXPECT_EQ(v["font-name"], "DejaVu Sans");
    EXPECT_EQ(v["font-size"], "9");
    EXPECT_EQ(v["font-charset"], "1");
    EXPECT_EQ(v["font-colour"], "0x000000");
    EXPECT_EQ(v["shell"], "none");
    EXPECT_EQ(v["shell-initialised"], "no");
    EXPECT_EQ(v["mutex"], "free");
    EXPECT_NE(v["state-file"].find("absent"), std::string::npos);
    EXPECT_EQ(splitLines(v["colours"]).size(), 1u);
}

struct SetCase {
    const char* name;
    std::string key;
    std::string value;
    std::string shownKey;
    std::string shown;  // "$T" stands for the temporary folder
};

TEST_F(Vtsuite, SetChangesWhatShowShows) {
    const std::string t = m_tmp.path().string();
    const std::vector<SetCase> cases = {
        {"logging on", "logging", "on", "logging", "on"},
        {"logging OFF", "logging", "OFF", "logging", "off"},
        {"logging yes", "logging", "yes", "logging", "on"},
        {"language decimal", "language", "1031", "language", "0x0407 (1031, primary language 7)"},
        {"language hex", "language", "0x0804", "language", "0x0804 (2052, primary language 4)"},
        {"language none", "language", "0", "language", "0 (none)"},
        {"font name", "font-name", "Tahoma", "font-name", "Tahoma"},
        {"font name with blanks and UTF-8", "font-name", "Noto Sans \xE4\xB8\xAD", "font-name",
         "Noto Sans \xE4\xB8\xAD"},
        {"font size", "font-size", "12", "font-size", "12"},
        {"font size smallest", "font-size", "6", "font-size", "6"},
        {"font charset", "font-charset", "134", "font-charset", "134"},
        {"font charset hex", "font-charset", "0xFF", "font-charset", "255"},
        {"log file", "logfile", t + "/logs/suite.log", "logfile", t + "/logs/suite.log"},
        {"no log file", "logfile", "", "logfile", ""},
        {"help file", "helpfile", t + "/help.chm", "helpfile", t + "/help.chm"},
        {"user folder", "userfolder", t + "/uf", "userfolder", t + "/uf/"},
    };
    for (const SetCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = run({"set", c.key, c.value});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(show()[c.shownKey], c.shown);
    }
    EXPECT_TRUE(std::filesystem::is_directory(m_tmp.path() / "uf"));
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    std::string message;  // a part of what stderr must say
};

TEST_F(Vtsuite, BadInputIsRefusedWithAMessageAndChangesNothing) {
    ASSERT_EQ(run({"set", "language", "0x0407"}).exitCode, 0);
    const std::string before = readFile(paths().stateFile());
    ASSERT_FALSE(before.empty());
    const std::vector<BadCase> cases = {
        {"no command", {}, "Usage"},
        {"unknown command", {"frobnicate"}, "unknown command"},
        {"show with an argument", {"show", "x"}, "no arguments"},
        {"set without value", {"set", "language"}, "key and a value"},
        {"unknown key", {"set", "colour", "1"}, "unknown key"},
        {"logging maybe", {"set", "logging", "maybe"}, "on or off"},
        {"language word", {"set", "language", "german"}, "0 to 0xFFFF"},
        {"language too big", {"set", "language", "0x10000"}, "0 to 0xFFFF"},
        {"language negative", {"set", "language", "-1"}, "0 to 0xFFFF"},
        {"language empty", {"set", "language", ""}, "0 to 0xFFFF"},
        {"language bare 0x", {"set", "language", "0x"}, "0 to 0xFFFF"},
        {"language trailing junk", {"set", "language", "1031 "}, "0 to 0xFFFF"},
        {"language huge", {"set", "language", "99999999999999999999999"}, "0 to 0xFFFF"},
        {"font size too small", {"set", "font-size", "5"}, "6 to 72"},
        {"font size too big", {"set", "font-size", "73"}, "6 to 72"},
        {"font size not a number", {"set", "font-size", "9pt"}, "6 to 72"},
        {"font charset too big", {"set", "font-charset", "256"}, "0 to 255"},
        {"font name empty", {"set", "font-name", ""}, "1 to 53 bytes"},
        {"font name too long", {"set", "font-name", std::string(54, 'f')}, "1 to 53 bytes"},
        {"font name control character", {"set", "font-name", "a\tb"}, "control"},
        {"font name not UTF-8", {"set", "font-name", "\xFF\xFE"}, "UTF-8"},
        {"font name cut UTF-8", {"set", "font-name", "ab\xE4\xB8"}, "UTF-8"},
        {"log file relative", {"set", "logfile", "suite.log"}, "absolute path"},
        {"log file a folder", {"set", "logfile", m_tmp.path().string()}, "names a folder"},
        {"user folder relative", {"set", "userfolder", "uf"}, "absolute path"},
        {"user folder empty", {"set", "userfolder", ""}, "must not be empty"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(readFile(paths().stateFile()), before);
    }
}

TEST_F(Vtsuite, AUserFolderThatCannotBeMadeIsRefused) {
    test::writeFile(m_tmp.path() / "plain", "a file");
    const RunResult r = run({"set", "userfolder", (m_tmp.path() / "plain").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot use"), std::string::npos) << r.err;
    EXPECT_EQ(show()["userfolder"], (home() / ".local/share/Veltrane/").string());
}

TEST_F(Vtsuite, SwitchingLoggingOnMakesTheLogFile) {
    const auto log = home() / ".local/share/Veltrane/veltrane.log";
    ASSERT_FALSE(std::filesystem::exists(log));
    const RunResult r = run({"set", "logging", "on"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(log));
}

TEST_F(Vtsuite, SettingsAreSharedWithTheLibrary) {
    ASSERT_EQ(run({"set", "language", "0x0407"}).exitCode, 0);
    ASSERT_EQ(run({"set", "font-name", "Tahoma"}).exitCode, 0);
    SharedStateStore store(paths());
    EXPECT_EQ(store.load().state.chosenLanguage, 0x0407u);
    EXPECT_EQ(store.load().state.textSettings.fontName(), "Tahoma");

    const auto pid = static_cast<std::int32_t>(::getpid());
    ASSERT_TRUE(store.update([&](SuiteState& s) { s.windows.push_back({13, 4242, pid}); }));
    EXPECT_EQ(show()["window"], "tool 13 (Runemeter), window 4242, pid " + std::to_string(pid));
}

TEST_F(Vtsuite, HelpIsPrinted) {
    const RunResult r = run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: vtsuite"), std::string::npos);
    EXPECT_NE(r.out.find("font-charset"), std::string::npos);
}

struct StopCase {
    const char* name;
    int signal;
};

TEST_F(Vtsuite, ShellRegistersItselfAndClearsItsEntriesWhenStopped) {
    const std::vector<StopCase> cases = {
        {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}};
    const SharedStateStore store(paths());
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        const pid_t shell = start({"shell"}, "shell");
        ASSERT_GT(shell, 0);
        ASSERT_TRUE(waitUntil([&] { return store.load().state.shellInitialised; }));
        const SuiteState running = store.load().state;
        EXPECT_EQ(running.activeWindow(3), static_cast<SuiteWindowId>(shell));
        EXPECT_TRUE(namedMutexExists(kSuiteMutexName));

        // A second shell is refused while the first runs.
        const RunResult second = run({"shell"});
        EXPECT_EQ(second.exitCode, 1);
        EXPECT_NE(second.err.find("another shell is running"), std::string::npos) << second.err;

        ASSERT_EQ(::kill(shell, c.signal), 0);
        const RunResult stopped = finish(shell, "shell");
        EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
        EXPECT_NE(stopped.out.find("stopped"), std::string::npos);

        // Cleared in the file itself, not only hidden because the process has gone.
        const std::string file = readFile(paths().stateFile());
        const ParsedState after = parseSuiteState(
            std::as_bytes(std::span(file.data(), file.size())), paths().defaultUserFolder);
        EXPECT_EQ(after.state.activeWindow(3), 0u);
        EXPECT_FALSE(after.state.shellInitialised);
        EXPECT_FALSE(namedMutexExists(kSuiteMutexName));
    }
}

TEST_F(Vtsuite, AKilledShellCountsAsGone) {
    const SharedStateStore store(paths());
    const pid_t shell = start({"shell"}, "shell");
    ASSERT_GT(shell, 0);
    ASSERT_TRUE(waitUntil([&] { return store.load().state.shellInitialised; }));
    ASSERT_EQ(::kill(shell, SIGKILL), 0);
    (void)finish(shell, "shell");

    EXPECT_EQ(store.load().state.activeWindow(3), 0u);
    EXPECT_FALSE(store.load().state.shellInitialised);
    EXPECT_FALSE(namedMutexExists(kSuiteMutexName));
    auto v = show();
    EXPECT_EQ(v["shell"], "none");
    EXPECT_EQ(v["mutex"], "free");
    // A new shell can start at once.
    const pid_t next = start({"shell"}, "next");
    ASSERT_TRUE(waitUntil([&] { return store.load().state.shellInitialised; }));
    ::kill(next, SIGTERM);
    EXPECT_EQ(finish(next, "next").exitCode, 0);
}

}  // namespace
}  // namespace runemeter
