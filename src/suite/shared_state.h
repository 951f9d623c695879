// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The suite's shared state: the settings and registrations that all programs of the suite see.
// It lives in one small file in the user's config folder, read and written under a lock so that
// several processes can use it at once. A missing or damaged file reads as the defaults.
//
// State file layout (all integers little-endian):
//
// | offset | size | content                                                    |
// |--------|------|------------------------------------------------------------|
// | 0      | 8    | magic "VTSTATE\0"                                          |
// | 8      | 2    | format version (1)                                         |
// | 10     | 2    | reserved, 0                                                |
// | 12     | 4    | payload length in bytes (at most kMaxStatePayload)          |
// | 16     | 4    | CRC-32 (IEEE) of the payload                               |
// | 20     | n    | payload: records, each tag (2), length (4), data (length)  |
//
// | tag | record             | data                                                   |
// |-----|--------------------|--------------------------------------------------------|
// | 1   | logging            | 1 byte, 0 or 1                                         |
// | 2   | log file           | path bytes, no NUL, at most kMaxStatePath              |
// | 3   | user folder        | path bytes, as above                                   |
// | 4   | help file          | path bytes, as above                                   |
// | 5   | interface language | 4 bytes, language identifier                           |
// | 6   | text settings      | kTextSettingsSize bytes                                |
// | 7   | colours, typefaces | 192 bytes, 48 words                                    |
// | 8   | tool window        | 13 bytes: tool (1), window id (8), process id (4)      |
// | 9   | shell initialised  | 1 byte, 0 or 1                                         |
//
// Records of unknown tags are skipped, so older programs read newer files. Any other
// inconsistency (bad magic, length, checksum, record size or value) makes the file damaged.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// A tool number of the suite (the shell is 3, this tool 13).
using mini_tool_type = std::uint8_t;

/// A window of the suite: the window system's id of a tool's main window.
using SuiteWindowId = std::uint64_t;

/// Size of the shared text-settings record.
inline constexpr std::size_t kTextSettingsSize = 64;
/// Longest interface font name the text-settings record holds, in bytes.
inline constexpr std::size_t kMaxFontNameBytes = kTextSettingsSize - 11;
/// Number of 32-bit words in the colours-and-typefaces block.
inline constexpr std::size_t kColourWords = 48;
/// Word of the colours-and-typefaces block that holds the interface font colour.
inline constexpr std::size_t kInterfaceFontColourWord = 30;
/// Longest path the state file holds, in bytes.
inline constexpr std::size_t kMaxStatePath = 4096;
/// Most tool windows the state file holds.
inline constexpr std::size_t kMaxToolWindows = 256;
/// Largest payload of a state file.
inline constexpr std::size_t kMaxStatePayload = 64 * 1024;

/// The shared text-settings record. Interface font: charset at byte 8, size at byte 9 and the
/// name as a length-prefixed 8-bit string from byte 10 (the name's bytes are UTF-8).
struct TextSettings {
    std::array<std::uint8_t, kTextSettingsSize> bytes{};

    [[nodiscard]] std::uint8_t fontCharset() const { return bytes[8]; }
    void setFontCharset(std::uint8_t charset) { bytes[8] = charset; }
    [[nodiscard]] std::uint8_t fontSize() const { return bytes[9]; }
    void setFontSize(std::uint8_t size) { bytes[9] = size; }
    /// The font name; a length byte beyond the record is cut to what the record holds.
    [[nodiscard]] std::string fontName() const;
    /// Sets the font name; false (record unchanged) when it is longer than kMaxFontNameBytes.
    [[nodiscard]] bool setFontName(std::string_view name);

    bool operator==(const TextSettings&) const = default;
};

/// The colours-and-typefaces block: 48 words, colours as 0x00BBGGRR.
using ColoursAndTypefaces = std::array<std::uint32_t, kColourWords>;

/// One registered tool window.
struct ToolWindow {
    mini_tool_type tool = 0;
    SuiteWindowId window = 0;
    std::int32_t pid = 0;  ///< the process that owns the window

    bool operator==(const ToolWindow&) const = default;
};

/// Everything the suite shares.
struct SuiteState {
    bool logging = false;
    std::filesystem::path logFile;
    std::filesystem::path userFolder;  ///< kept with a trailing '/'
    std::filesystem::path helpFile;
    std::uint32_t chosenLanguage = 0;  ///< 0: none chosen
    TextSettings textSettings;
    ColoursAndTypefaces colours{};
    /// Registered windows; the last one of a tool is that tool's active window.
    std::vector<ToolWindow> windows;
    bool shellInitialised = false;

    bool operator==(const SuiteState&) const = default;

    /// The active window of a tool, 0 when it has none.
    [[nodiscard]] SuiteWindowId activeWindow(mini_tool_type tool) const;
};

/// The default colours-and-typefaces block.
[[nodiscard]] ColoursAndTypefaces defaultColoursAndTypefaces();

/// The default text settings: "DejaVu Sans", size 9, charset 1.
[[nodiscard]] TextSettings defaultTextSettings();

/// The state of a fresh suite whose user folder is userFolder.
[[nodiscard]] SuiteState defaultSuiteState(const std::filesystem::path& userFolder);

/// How a state file was found.
enum class StateFileStatus { Ok, Absent, Damaged, Unreadable };

/// A parse result: the state (defaults unless Ok) and what was found.
struct ParsedState {
    SuiteState state;
    StateFileStatus status = StateFileStatus::Absent;
};

/// Reads a state file's bytes; anything malformed gives the defaults with status Damaged.
[[nodiscard]] ParsedState parseSuiteState(std::span<const std::byte> data,
                                          const std::filesystem::path& defaultUserFolder);

/// The bytes of a state file; fields beyond the format's limits are cut to them.
[[nodiscard]] std::vector<std::byte> serialiseSuiteState(const SuiteState& state);

/// Where the suite keeps its state and its user data.
struct SuitePaths {
    std::filesystem::path configFolder;       ///< holds the state file and its lock
    std::filesystem::path defaultUserFolder;  ///< the user folder when none is set

    [[nodiscard]] std::filesystem::path stateFile() const { return configFolder / "suite-state"; }
    [[nodiscard]] std::filesystem::path lockFile() const {
        return configFolder / "suite-state.lock";
    }
};

/// Paths from the environment: $XDG_CONFIG_HOME (else ~/.config) + "/Veltrane", and
/// $XDG_DATA_HOME (else ~/.local/share) + "/Veltrane/". Relative XDG values are ignored.
[[nodiscard]] SuitePaths suitePathsFromEnvironment();

/// Outcome of reading or writing the state file.
struct StateIoResult {
    bool ok = true;
    std::string error;  ///< what went wrong, for the user

    explicit operator bool() const { return ok; }
};

/// The file-backed state of one suite. Every call takes the lock, so processes and threads
/// may use the same files at once. Windows of processes that no longer run are left out.
class SharedStateStore {
public:
    explicit SharedStateStore(SuitePaths paths);

    [[nodiscard]] const SuitePaths& paths() const { return m_paths; }

    /// Reads the state under a shared lock; defaults when the file is absent or damaged.
    [[nodiscard]] ParsedState load() const;

    /// Reads, lets change modify, and writes back, all under one exclusive lock. The file is
    /// written to a temporary file and renamed over the old one; a damaged file is kept
    /// beside it as "suite-state.damaged" before it is replaced.
    [[nodiscard]] StateIoResult update(const std::function<void(SuiteState&)>& change);

private:
    SuitePaths m_paths;
};

// --- The shared library's calls. They use the store chosen by SetupSuiteSharing (or, before
// --- it is called, one made from the environment).

/// Connects this process to the suite's shared state, found through the environment.
void SetupSuiteSharing(mini_tool_type tool);
/// Like SetupSuiteSharing, with explicit folders (tests and tools).
void SetupSuiteSharingAt(mini_tool_type tool, const SuitePaths& paths);
/// The store the calls below use.
[[nodiscard]] std::shared_ptr<SharedStateStore> suiteStore();

/// The shell's window, 0 when no shell runs.
[[nodiscard]] SuiteWindowId GetShellWnd();
/// True while a running shell has said it is ready.
[[nodiscard]] bool GetWShellInitialised();
/// Sets the shell's ready flag (the shell calls it).
bool SetWShellInitialised(bool initialised);
/// Registers a tool's main window for this process.
bool SetNewWnd(mini_tool_type tool, SuiteWindowId window);
/// Makes the window its tool's active window (registering it when needed).
bool SetActiveMainToolWindow(mini_tool_type tool, SuiteWindowId window);
/// Unregisters the window; other windows of the tool stay.
bool UnSetWnd(mini_tool_type tool, SuiteWindowId window);
/// Every registered window of running processes.
[[nodiscard]] std::vector<ToolWindow> GetRegisteredWindows();
/// The suite's log file name (may be empty).
[[nodiscard]] std::filesystem::path GetLogFilename();
/// Whether the suite wants log lines written.
[[nodiscard]] bool GetLogging();
/// The per-user folder (ends with '/'), created when it does not exist yet.
[[nodiscard]] std::filesystem::path GetUserReadWriteDir();
/// The help file name kept for all tools.
[[nodiscard]] std::filesystem::path GetHelpfilename();
/// Keeps the help file name for all tools.
bool SetHelpfilename(const std::filesystem::path& name);
/// The chosen interface language identifier, 0 when none is chosen.
[[nodiscard]] std::uint32_t GetChosenLanguageInterface();
/// A copy of the shared text-settings record.
[[nodiscard]] TextSettings GetTextSettings();
/// Writes the text-settings record back.
bool SetTextSettings(const TextSettings& settings);
/// The default colours-and-typefaces block.
[[nodiscard]] ColoursAndTypefaces GetDefaultColoursAndTypefaces();

}  // namespace runemeter
