// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built vtsuite program against a suite in a temporary home folder.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "suite/named_mutex.h"
#include "suite/shared_state.h"
#include "suite/suite_notify.h"
#include "support/files.h"

namespace runemeter {
namespace {

using test::ProcessResult;

class Vtsuite : public ::testing::Test {
protected:
    Vtsuite() { std::filesystem::create_directories(m_tmp / "run"); }

    // vtsuite with an environment that names only the temporary suite.
    [[nodiscard]] test::Launch launch(const std::vector<std::string>& args) const {
        test::Launch launch;
        launch.argv = {VTSUITE_PATH};
        launch.argv.insert(launch.argv.end(), args.begin(), args.end());
        launch.env = {"HOME=" + (m_tmp / "home").string(),
                      "XDG_RUNTIME_DIR=" + (m_tmp / "run").string(), "XDG_CONFIG_HOME",
                      "XDG_DATA_HOME"};
        return launch;
    }
    [[nodiscard]] ProcessResult run(const std::vector<std::string>& args) const {
        return test::runProgram(launch(args));
    }
    // The value of a "key: value" line of vtsuite show.
    [[nodiscard]] std::string show(const std::string& key) const {
        const std::string out = run({"show"}).out;
        const std::size_t at = out.find("\n" + key + ": ") + key.size() + 3;
        return at < key.size() + 3 ? "(none)" : out.substr(at, out.find('\n', at) - at);
    }

    test::TempDir m_tmp;
    const SuitePaths m_paths{m_tmp / "home/.config/Veltrane",
                             m_tmp / "home/.local/share/Veltrane/"};
    // namedMutexExists and the notification socket look in the runtime folder vtsuite uses.
    test::ScopedEnv m_runtime{"XDG_RUNTIME_DIR", (m_tmp / "run").string()};
};

// Each change of the language is also sent to every registered tool window, through its socket.
TEST_F(Vtsuite, SetChangesWhatShowShowsAndTellsTheToolsAboutTheLanguage) {
    const ToolWindow window{13, 4242, static_cast<std::int32_t>(::getpid())};
    ASSERT_TRUE(
        SharedStateStore(m_paths).update([&](SuiteState& s) { s.windows.push_back(window); }));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    notificationSocketPath(window).value().string().copy(address.sun_path,
                                                         sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);

    const std::string t = m_tmp.path().string();
    const std::vector<std::array<std::string, 3>> cases{
        {"logging", "OFF", "off"},
        {"logging", "yes", "on"},
        {"language", "1031", "0x0407 (1031, primary language 7)"},
        {"language", "0x0804", "0x0804 (2052, primary language 4)"},
        {"font-name", "Noto Sans \xE4\xB8\xAD", "Noto Sans \xE4\xB8\xAD"},
        {"font-size", "6", "6"},
        {"font-charset", "0xFF", "255"},
        {"logfile", t + "/logs/suite.log", t + "/logs/suite.log"},
        {"userfolder", t + "/uf", t + "/uf/"}};
    for (const auto& [key, value, shown] : cases) {
        SCOPED_TRACE(key + " " + value);
        const ProcessResult r = run({"set", key, value});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(show(key), shown);
    }
    // Tools log only into a file that exists, so switching logging on makes it.
    EXPECT_TRUE(std::filesystem::is_regular_file(m_paths.defaultUserFolder / "veltrane.log"));
    EXPECT_TRUE(std::filesystem::is_regular_file(m_tmp / "logs/suite.log"));
    EXPECT_EQ(SharedStateStore(m_paths).load().state.chosenLanguage, 0x0804u);

    for (int sent = 0; sent < 2; ++sent) {
        const int connection = ::accept(listener, nullptr, nullptr);
        std::array<std::byte, kSuiteMessageSize> bytes{};
        EXPECT_EQ(::recv(connection, bytes.data(), bytes.size(), MSG_WAITALL), 16);
        const SuiteMessage message = decodeSuiteMessage(bytes).value_or(SuiteMessage{});
        EXPECT_EQ(message.code(), kNotifyLanguageChanged);
        EXPECT_EQ(message.senderTool(), 3);
        ::close(connection);
    }
    ::close(listener);
}

TEST_F(Vtsuite, BadInputIsRefusedWithAMessageAndChangesNothing) {
    ASSERT_EQ(run({"set", "language", "0x0407"}).status, 0);
    const std::string before = test::readFile(m_paths.stateFile());
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"set", "colour", "1"}, "unknown key"},
        {{"set", "logging", "maybe"}, "on or off"},
        {{"set", "language", "0x10000"}, "0 to 0xFFFF"},
        {{"set", "language", "1031 "}, "0 to 0xFFFF"},
        {{"set", "font-size", "5"}, "6 to 72"},
        {{"set", "font-charset", "256"}, "0 to 255"},
        {{"set", "font-name", std::string(54, 'f')}, "1 to 53 bytes"},
        {{"set", "font-name", "a\tb"}, "control"},
        {{"set", "font-name", "ab\xE4\xB8"}, "UTF-8"},
        {{"set", "logfile", "suite.log"}, "absolute path"},
        {{"set", "logfile", m_tmp.path().string()}, "names a folder"},
        {{"set", "userfolder", ""}, "must not be empty"}};
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const ProcessResult r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(test::readFile(m_paths.stateFile()), before);
    }
}

TEST_F(Vtsuite, ShellRegistersItselfAndClearsItsEntriesWhenStopped) {
    const SharedStateStore store(m_paths);
    for (const int signal : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        test::ChildProcess shell(launch({"shell"}));
        for (int i = 0; i < 1000 && !store.load().state.shellInitialised; ++i) {
            ::usleep(20000);
        }
        EXPECT_EQ(store.load().state.activeWindow(3), static_cast<SuiteWindowId>(shell.pid()));
        EXPECT_TRUE(namedMutexExists(kSuiteMutexName));
        const ProcessResult second = run({"shell"});
        EXPECT_TRUE(second.status == 1 &&
                    second.err.find("another shell is running") != second.err.npos)
            << second.err;

        shell.signal(signal);
        const ProcessResult stopped = shell.finish();
        EXPECT_FALSE(namedMutexExists(kSuiteMutexName));
        if (signal == SIGKILL) {
            continue;  // a killed shell leaves its entries, but the next one starts all the same
        }
        EXPECT_EQ(stopped.status, 0) << stopped.err;
        // Cleared in the file itself, not only hidden because the process has gone.
        const std::string file = test::readFile(m_paths.stateFile());
        const ParsedState after = parseSuiteState(
            std::as_bytes(std::span(file.data(), file.size())), m_paths.defaultUserFolder);
        EXPECT_EQ(after.state.activeWindow(3), 0u);
        EXPECT_FALSE(after.state.shellInitialised);
    }
}

}  // namespace
}  // namespace runemeter
