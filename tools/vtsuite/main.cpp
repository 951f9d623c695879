// SPDX-License-Identifier: GPL-3.0-or-later
// vtsuite: the suite's controller on the command line. It shows and sets the shared suite
// settings and runs as the suite's shell, holding the suite's mutex while it runs.
//
// Exit codes: 0 done, 1 could not be done (state not writable, another shell running),
// 2 bad command line or bad value.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "frame/tool_frame.h"
#include "localisation/lang_file.h"
#include "localisation/loc_utils.h"
#include "suite/locale_table.h"
#include "suite/named_mutex.h"
#include "suite/shared_state.h"
#include "suite/suite_notify.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace {

using namespace runemeter;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::uint32_t kMaxLanguageId = 0xFFFF;
constexpr unsigned kMinFontSize = 6;
constexpr unsigned kMaxFontSize = 72;

constexpr std::string_view kUsage =
    "Usage: vtsuite COMMAND [ARGUMENTS]\n"
    "\n"
    "Shows and sets the settings shared by the Veltrane suite's programs, and runs the\n"
    "suite's shell.\n"
    "\n"
    "Commands:\n"
    "  show             print every shared setting and registered tool window\n"
    "  set KEY VALUE    change one shared setting (keys below)\n"
    "  shell            run as the suite's shell until interrupted (Ctrl+C or SIGTERM)\n"
    "  languages        list the interface languages that have language files, named in\n"
    "                   the chosen interface language\n"
    "  notify language  tell every running tool that the interface language changed\n"
    "                   ('set language' does this too)\n"
    "  --help, -h       print this help\n"
    "  --version        print the version\n"
    "\n"
    "Keys for set:\n"
    "  logging        on or off (also yes/no, true/false, 1/0)\n"
    "  logfile        absolute path of the suite's log file, or \"\" for none\n"
    "  userfolder     absolute path of the suite's per-user folder (made if missing)\n"
    "  helpfile       absolute path of the help file, or \"\" for none\n"
    "  language       interface language identifier, decimal or 0x hex, 0 to 0xFFFF\n"
    "                 (0 means none chosen)\n"
    "  font-name      interface font name, 1 to 53 bytes of UTF-8\n"
    "  font-size      interface font size in points, 6 to 72\n"
    "  font-charset   interface font character set, 0 to 255\n"
    "\n"
    "The state is kept in $XDG_CONFIG_HOME/Veltrane (default ~/.config/Veltrane); the user\n"
    "folder defaults to $XDG_DATA_HOME/Veltrane (default ~/.local/share/Veltrane).\n";

int usageError(const std::string& message) {
    std::cerr << "vtsuite: " << message << "\nTry 'vtsuite --help'.\n";
    return kExitUsage;
}

int failure(const std::string& message) {
    std::cerr << "vtsuite: " << message << "\n";
    return kExitFailed;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Unsigned decimal, or hexadecimal after "0x"; nothing else, no sign, no blanks.
std::optional<std::uint64_t> parseNumber(std::string_view text, bool allowHex) {
    int base = 10;
    if (allowHex && (text.starts_with("0x") || text.starts_with("0X"))) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty() || text.size() > 16) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> parseSwitch(std::string_view text) {
    const std::string t = lower(text);
    if (t == "on" || t == "yes" || t == "true" || t == "1") {
        return true;
    }
    if (t == "off" || t == "no" || t == "false" || t == "0") {
        return false;
    }
    return std::nullopt;
}

bool hasControlCharacters(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string hexWord(std::uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
    return buffer;
}

std::string statusText(StateFileStatus status) {
    switch (status) {
        case StateFileStatus::Ok:
            return "ok";
        case StateFileStatus::Absent:
            return "absent, defaults shown";
        case StateFileStatus::Damaged:
            return "damaged, defaults shown";
        case StateFileStatus::Unreadable:
            return "unreadable, defaults shown";
    }
    return "unknown";
}

// The languages of the language files in a folder, by identifier; files that cannot be read
// are left out.
void languagesIn(const std::filesystem::path& folder, std::set<std::uint32_t>& into) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".lng" || name.ends_with(".ntv.lng")) {
            continue;
        }
        try {
            into.insert(TLangFile::Create(entry.path(), true)->Header().locale);
        } catch (const std::exception&) {
            continue;
        }
    }
}

// Every interface language the suite's programs can show: English, which they are written
// in, and each language with a file in the user folder or among the shipped ones.
int commandLanguages() {
    const SuiteState s = suiteStore()->load().state;
    std::set<std::uint32_t> languages{kExeResourceLocale};
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    languagesIn(program.parent_path().parent_path() / "share" / "runemeter" / "interfaces",
                languages);
    languagesIn(InterfacesFolder(s.userFolder), languages);
    const std::uint32_t shown = s.chosenLanguage == 0 ? kExeResourceLocale : s.chosenLanguage;
    for (const std::uint32_t id : languages) {
        std::string name;
        try {
            name = utf16ToUtf8(LanguageDisplayName(id, shown));
        } catch (const ELocalesError&) {
            name = "?";
        }
        std::cout << (id == s.chosenLanguage ? "* " : "  ") << hexWord(id, 4) << "  " << name
                  << "\n";
    }
    return kExitOk;
}

int commandShow() {
    const auto store = suiteStore();
    const ParsedState parsed = store->load();
    const SuiteState& s = parsed.state;
    std::string out;
    const auto line = [&out](std::string_view key, const std::string& value) {
        out += key;
        out += ": ";
        out += value;
        out += '\n';
    };
    line("state-file",
         store->paths().stateFile().string() + " (" + statusText(parsed.status) + ")");
    line("logging", s.logging ? "on" : "off");
    line("logfile", s.logFile.string());
    line("userfolder", s.userFolder.string());
    line("helpfile", s.helpFile.string());
    line("language", s.chosenLanguage == 0
                         ? std::string("0 (none)")
                         : hexWord(s.chosenLanguage, 4) + " (" + std::to_string(s.chosenLanguage) +
                               ", primary language " +
                               std::to_string(PrimaryLanguage(s.chosenLanguage)) + ")");
    line("font-name", s.textSettings.fontName());
    line("font-size", std::to_string(s.textSettings.fontSize()));
    line("font-charset", std::to_string(s.textSettings.fontCharset()));
    line("font-colour", hexWord(s.colours[kInterfaceFontColourWord], 6));
    std::string colours;
    for (std::size_t i = 0; i < s.colours.size(); ++i) {
        if (i != 0) {
            colours += ' ';
        }
        colours += hexWord(s.colours[i], 8).substr(2);
    }
    line("colours", colours);
    const SuiteWindowId shell = s.activeWindow(kShellTool);
    line("shell", shell == 0 ? std::string("none") : "window " + std::to_string(shell));
    line("shell-initialised", s.shellInitialised ? "yes" : "no");
    line("mutex", namedMutexExists(kSuiteMutexName) ? "held" : "free");
    for (const ToolWindow& w : s.windows) {
        std::u16string name16 = Tool_Name(w.tool);
        std::string name(name16.begin(), name16.end());  // tool names are ASCII
        line("window", "tool " + std::to_string(w.tool) + " (" + name + "), window " +
                           std::to_string(w.window) + ", pid " + std::to_string(w.pid));
    }
    std::cout << out << std::flush;
    return kExitOk;
}

// Tools write to the log only when the file exists, so switching logging on makes it.
void makeLogFileIfWanted(const SuiteState& s) {
    if (!s.logging || s.logFile.empty()) {
        return;
    }
    std::error_code ec;
    if (std::filesystem::exists(s.logFile, ec)) {
        return;
    }
    std::filesystem::create_directories(s.logFile.parent_path(), ec);
    std::ofstream made(s.logFile, std::ios::app);
    if (made) {
        std::cout << "made the empty log file " << s.logFile.string() << "\n";
    } else {
        std::cerr << "vtsuite: warning: cannot make the log file " << s.logFile.string()
                  << "; nothing is logged until it exists\n";
    }
}

std::optional<std::string> checkPathValue(std::string_view key, std::string_view value,
                                          bool allowEmpty) {
    if (value.empty()) {
        if (allowEmpty) {
            return std::nullopt;
        }
        return std::string(key) + " must not be empty";
    }
    if (value.front() != '/') {
        return std::string(key) + " must be an absolute path (starting with '/'), not \"" +
               std::string(value) + "\"";
    }
    if (value.size() > kMaxStatePath) {
        return std::string(key) + " is longer than " + std::to_string(kMaxStatePath) + " bytes";
    }
    return std::nullopt;
}

// The suite's notification 59 to every registered tool window; returns how many took it.
int notifyLanguageChanged() {
    const int reached = notifyAllTools(kNotifyLanguageChanged, kShellTool);
    std::cout << "language change sent to " << reached << " tool window"
              << (reached == 1 ? "" : "s") << std::endl;
    return reached;
}

int commandSet(std::string_view key, std::string_view value) {
    std::function<void(SuiteState&)> change;
    if (key == "logging") {
        const auto on = parseSwitch(value);
        if (!on) {
            return usageError("logging must be on or off, not \"" + std::string(value) + "\"");
        }
        change = [on](SuiteState& s) { s.logging = *on; };
    } else if (key == "logfile" || key == "helpfile") {
        if (const auto bad = checkPathValue(key, value, true)) {
            return usageError(*bad);
        }
        const std::filesystem::path path{std::string(value)};
        std::error_code ec;
        if (!path.empty() && std::filesystem::is_directory(path, ec)) {
            return usageError(std::string(key) + " names a folder: " + path.string());
        }
        if (key == "logfile") {
            change = [path](SuiteState& s) { s.logFile = path; };
        } else {
            change = [path](SuiteState& s) { s.helpFile = path; };
        }
    } else if (key == "userfolder") {
        if (const auto bad = checkPathValue(key, value, false)) {
            return usageError(*bad);
        }
        std::filesystem::path folder{std::string(value)};
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec || !std::filesystem::is_directory(folder, ec)) {
            return failure("cannot use " + folder.string() + " as the user folder: " +
                           (ec ? ec.message() : std::string("it is not a folder")));
        }
        if (!folder.native().ends_with('/')) {
            folder += "/";
        }
        change = [folder](SuiteState& s) { s.userFolder = folder; };
    } else if (key == "language") {
        const auto id = parseNumber(value, true);
        if (!id || *id > kMaxLanguageId) {
            return usageError(
                "language must be a language identifier from 0 to 0xFFFF "
                "(decimal or 0x hex), not \"" +
                std::string(value) + "\"");
        }
        change = [id](SuiteState& s) { s.chosenLanguage = static_cast<std::uint32_t>(*id); };
    } else if (key == "font-name") {
        if (value.empty() || value.size() > kMaxFontNameBytes || findInvalidUtf8(value) ||
            hasControlCharacters(value)) {
            return usageError("font-name must be 1 to " + std::to_string(kMaxFontNameBytes) +
                              " bytes of UTF-8 text without control characters");
        }
        const std::string name(value);
        change = [name](SuiteState& s) { (void)s.textSettings.setFontName(name); };
    } else if (key == "font-size") {
        const auto size = parseNumber(value, false);
        if (!size || *size < kMinFontSize || *size > kMaxFontSize) {
            return usageError("font-size must be a whole number from " +
                              std::to_string(kMinFontSize) + " to " + std::to_string(kMaxFontSize) +
                              ", not \"" + std::string(value) + "\"");
        }
        change = [size](SuiteState& s) {
            s.textSettings.setFontSize(static_cast<std::uint8_t>(*size));
        };
    } else if (key == "font-charset") {
        const auto charset = parseNumber(value, true);
        if (!charset || *charset > 255) {
            return usageError("font-charset must be a number from 0 to 255, not \"" +
                              std::string(value) + "\"");
        }
        change = [charset](SuiteState& s) {
            s.textSettings.setFontCharset(static_cast<std::uint8_t>(*charset));
        };
    } else {
        return usageError("unknown key \"" + std::string(key) +
                          "\"; keys: logging, logfile, userfolder, helpfile, language, "
                          "font-name, font-size, font-charset");
    }

    SuiteState after;
    const StateIoResult written = suiteStore()->update([&](SuiteState& s) {
        change(s);
        after = s;
    });
    if (!written) {
        return failure("the setting was not saved: " + written.error);
    }
    if (key == "logging" || key == "logfile") {
        makeLogFileIfWanted(after);
    }
    if (key == "language") {
        notifyLanguageChanged();
    }
    return kExitOk;
}

int commandShell() {
    // Block the stop signals before anything is registered, so that none is lost between
    // registering and waiting, and the entries are always cleared.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        return failure("cannot block the stop signals");
    }

    std::string error;
    std::optional<NamedMutex> mutex = NamedMutex::acquire(kSuiteMutexName, error);
    if (!mutex) {
        return failure("cannot run as the shell: " + error +
                       (namedMutexExists(kSuiteMutexName) ? " (another shell is running)" : ""));
    }

    const auto pid = static_cast<SuiteWindowId>(::getpid());
    const StateIoResult started = suiteStore()->update([&](SuiteState& s) {
        const ToolWindow own{kShellTool, pid, static_cast<std::int32_t>(pid)};
        std::erase(s.windows, own);
        s.windows.push_back(own);
        s.shellInitialised = true;
    });
    if (!started) {
        return failure("cannot register the shell: " + started.error);
    }
    std::cout << "vtsuite shell running, pid " << pid << "; stop it with Ctrl+C" << std::endl;

    int signal = 0;
    while (::sigwait(&stopSignals, &signal) != 0) {
    }

    const StateIoResult stopped = suiteStore()->update([&](SuiteState& s) {
        std::erase_if(s.windows,
                      [&](const ToolWindow& w) { return w.tool == kShellTool && w.window == pid; });
        s.shellInitialised = false;
    });
    mutex->release();
    if (!stopped) {
        return failure("cannot clear the shell's entries: " + stopped.error);
    }
    std::cout << "vtsuite shell stopped" << std::endl;
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    SetCurrentTool(kShellTool);
    SetupSuiteSharing(kShellTool);
    if (args.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    const std::string_view command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        std::cout << "vtsuite " << RUNEMETER_VERSION << "\n";
        return kExitOk;
    }
    if (command == "show") {
        if (args.size() != 1) {
            return usageError("show takes no arguments");
        }
        return commandShow();
    }
    if (command == "set") {
        if (args.size() != 3) {
            return usageError("set takes a key and a value, e.g. 'vtsuite set logging on'");
        }
        return commandSet(args[1], args[2]);
    }
    if (command == "shell") {
        if (args.size() != 1) {
            return usageError("shell takes no arguments");
        }
        return commandShell();
    }
    if (command == "languages") {
        if (args.size() != 1) {
            return usageError("languages takes no arguments");
        }
        return commandLanguages();
    }
    if (command == "notify") {
        if (args.size() != 2 || args[1] != "language") {
            return usageError("notify takes one argument: 'vtsuite notify language'");
        }
        (void)notifyLanguageChanged();
        return kExitOk;
    }
    return usageError("unknown command \"" + std::string(command) + "\"");
}
