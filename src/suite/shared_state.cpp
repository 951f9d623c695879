// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/shared_state.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

namespace runemeter {

namespace {

constexpr std::array<char, 8> kMagic = {'V', 'T', 'S', 'T', 'A', 'T', 'E', '\0'};
constexpr std::uint16_t kFormatVersion = 1;
constexpr std::size_t kHeaderSize = 20;

enum RecordTag : std::uint16_t {
    kTagLogging = 1,
    kTagLogFile = 2,
    kTagUserFolder = 3,
    kTagHelpFile = 4,
    kTagLanguage = 5,
    kTagTextSettings = 6,
    kTagColours = 7,
    kTagToolWindow = 8,
    kTagShellInitialised = 9,
};

constexpr std::size_t kToolWindowRecordSize = 13;

std::uint32_t crc32(std::span<const std::byte> data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::byte b : data) {
        crc = table[(crc ^ std::to_integer<std::uint32_t>(b)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

// Little-endian reading with the bounds checked by the caller.
std::uint64_t readLe(std::span<const std::byte> data, std::size_t offset, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::to_integer<std::uint64_t>(data[offset + i]) << (8 * i);
    }
    return value;
}

void appendLe(std::vector<std::byte>& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
    }
}

void appendRecord(std::vector<std::byte>& out, std::uint16_t tag, std::span<const std::byte> data) {
    appendLe(out, tag, 2);
    appendLe(out, data.size(), 4);
    out.insert(out.end(), data.begin(), data.end());
}

std::span<const std::byte> bytesOf(const std::string& s) {
    return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

// A path record: at most kMaxStatePath bytes, no NUL (the name could never be opened).
std::optional<std::filesystem::path> readPathRecord(std::span<const std::byte> data) {
    if (data.size() > kMaxStatePath) {
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(data.data()), data.size());
    if (text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return std::filesystem::path(text);
}

std::string pathRecordText(const std::filesystem::path& path) {
    std::string text = path.native();
    // Paths that cannot be stored are dropped rather than cut: a cut path names another file.
    if (text.size() > kMaxStatePath || text.find('\0') != std::string::npos) {
        return {};
    }
    return text;
}

bool processIsAlive(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Windows of processes that have ended (a crash leaves them behind) are of no use to anyone;
// a shell that ended is no longer initialised.
void dropWindowsOfEndedProcesses(SuiteState& state) {
    std::erase_if(state.windows, [](const ToolWindow& w) { return !processIsAlive(w.pid); });
    if (state.activeWindow(3) == 0) {
        state.shellInitialised = false;
    }
}

std::filesystem::path withTrailingSlash(std::filesystem::path path) {
    if (!path.empty() && !path.native().ends_with('/')) {
        path += "/";
    }
    return path;
}

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/tmp";
}

std::filesystem::path xdgFolder(const char* variable, const char* fallbackBelowHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    return homeFolder() / fallbackBelowHome;
}

// An open lock file descriptor; closing it releases the lock.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    bool lock(const std::filesystem::path& file, int operation, std::string& error) {
        m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            error = "cannot open the lock file " + file.string() + ": " + std::strerror(errno);
            return false;
        }
        while (::flock(m_fd, operation) != 0) {
            if (errno != EINTR) {
                error = "cannot lock " + file.string() + ": " + std::strerror(errno);
                return false;
            }
        }
        return true;
    }

private:
    int m_fd = -1;
};

struct ReadOutcome {
    std::vector<std::byte> bytes;
    StateFileStatus status = StateFileStatus::Ok;
};

ReadOutcome readStateBytes(const std::filesystem::path& file) {
    ReadOutcome out;
    // O_NONBLOCK: a FIFO in the file's place must not hang every program of the suite; it is
    // refused below as not a regular file. Reads of a regular file are not affected.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        out.status = errno == ENOENT ? StateFileStatus::Absent : StateFileStatus::Unreadable;
        return out;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.status = StateFileStatus::Unreadable;
        return out;
    }
    // One byte more than the largest valid file, so that an oversized file is seen as such.
    const std::size_t limit = kHeaderSize + kMaxStatePayload + 1;
    out.bytes.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd, out.bytes.data() + got, limit - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            out.bytes.clear();
            out.status = StateFileStatus::Unreadable;
            return out;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.bytes.resize(got);
    return out;
}

bool writeAll(int fd, std::span<const std::byte> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string TextSettings::fontName() const {
    const std::size_t length = std::min<std::size_t>(bytes[10], kMaxFontNameBytes);
    return std::string(reinterpret_cast<const char*>(bytes.data() + 11), length);
}

bool TextSettings::setFontName(std::string_view name) {
    if (name.size() > kMaxFontNameBytes) {
        return false;
    }
    std::fill(bytes.begin() + 10, bytes.end(), std::uint8_t{0});
    bytes[10] = static_cast<std::uint8_t>(name.size());
    std::memcpy(bytes.data() + 11, name.data(), name.size());
    return true;
}

SuiteWindowId SuiteState::activeWindow(mini_tool_type tool) const {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (it->tool == tool) {
            return it->window;
        }
    }
    return 0;
}

ColoursAndTypefaces defaultColoursAndTypefaces() {
    // Colours as 0x00BBGGRR. Words 0-15: grid and list colours (background, text, selection,
    // alternate rows, headings); 16-29: highlight colours of the suite's marking schemes;
    // 30: interface font colour; 31-47: styles and sizes of the suite's typefaces.
    ColoursAndTypefaces c{};
    const std::array<std::uint32_t, 16> grid = {
        0x00FFFFFF, 0x00000000, 0x00D77800, 0x00FFFFFF,  // background, text, selection, sel. text
        0x00F5F5F5, 0x00000000, 0x00F0F0F0, 0x00000000,  // alternate row, its text, heading, text
        0x00C0C0C0, 0x00808080, 0x00FFFFFF, 0x000000FF,  // grid lines, dim text, panel, warning
        0x00008000, 0x00800000, 0x00008080, 0x00800080,  // good, link, note, marked
    };
    std::copy(grid.begin(), grid.end(), c.begin());
    const std::array<std::uint32_t, 14> highlights = {
        0x0000FFFF, 0x0000FF00, 0x00FFFF00, 0x00FF00FF, 0x000080FF, 0x00FF8000, 0x008080FF,
        0x0080FF80, 0x00FF8080, 0x0080FFFF, 0x00FFFF80, 0x00FF80FF, 0x00C0C0FF, 0x00C0FFC0,
    };
    std::copy(highlights.begin(), highlights.end(), c.begin() + 16);
    c[kInterfaceFontColourWord] = 0x00000000;
    for (std::size_t i = 31; i < kColourWords; ++i) {
        c[i] = (i % 2 == 1) ? 0 : 9;  // style bits none, size 9 points
    }
    return c;
}

TextSettings defaultTextSettings() {
    TextSettings t;
    t.setFontCharset(1);
    t.setFontSize(9);
    (void)t.setFontName("DejaVu Sans");  // fits: well under the limit
    return t;
}

SuiteState defaultSuiteState(const std::filesystem::path& userFolder) {
    SuiteState s;
    s.userFolder = withTrailingSlash(userFolder);
    s.logFile = s.userFolder / "veltrane.log";
    s.textSettings = defaultTextSettings();
    s.colours = defaultColoursAndTypefaces();
    return s;
}

ParsedState parseSuiteState(std::span<const std::byte> data,
                            const std::filesystem::path& defaultUserFolder) {
    ParsedState damaged{defaultSuiteState(defaultUserFolder), StateFileStatus::Damaged};
    if (data.size() < kHeaderSize) {
        return damaged;
    }
    if (std::memcmp(data.data(), kMagic.data(), kMagic.size()) != 0 ||
        readLe(data, 8, 2) != kFormatVersion || readLe(data, 10, 2) != 0) {
        return damaged;
    }
    const std::uint64_t payloadSize = readLe(data, 12, 4);
    if (payloadSize > kMaxStatePayload || payloadSize != data.size() - kHeaderSize) {
        return damaged;
    }
    const auto payload = data.subspan(kHeaderSize);
    if (crc32(payload) != readLe(data, 16, 4)) {
        return damaged;
    }

    ParsedState result{defaultSuiteState(defaultUserFolder), StateFileStatus::Ok};
    SuiteState& s = result.state;
    std::size_t pos = 0;
    while (pos < payload.size()) {
        if (payload.size() - pos < 6) {
            return damaged;
        }
        const auto tag = static_cast<std::uint16_t>(readLe(payload, pos, 2));
        const std::uint64_t length = readLe(payload, pos + 2, 4);
        pos += 6;
        if (length > payload.size() - pos) {
            return damaged;
        }
        const auto record = payload.subspan(pos, static_cast<std::size_t>(length));
        pos += static_cast<std::size_t>(length);

        const auto flag = [&](bool& target) {
            if (record.size() != 1 || std::to_integer<int>(record[0]) > 1) {
                return false;
            }
            target = std::to_integer<int>(record[0]) == 1;
            return true;
        };
        const auto path = [&](std::filesystem::path& target) {
            auto p = readPathRecord(record);
            if (!p) {
                return false;
            }
            target = std::move(*p);
            return true;
        };
        bool fine = true;
        switch (tag) {
            case kTagLogging:
                fine = flag(s.logging);
                break;
            case kTagLogFile:
                fine = path(s.logFile);
                break;
            case kTagUserFolder:
                fine = path(s.userFolder) && !s.userFolder.empty();
                s.userFolder = withTrailingSlash(s.userFolder);
                break;
            case kTagHelpFile:
                fine = path(s.helpFile);
                break;
            case kTagLanguage:
                fine = record.size() == 4;
                if (fine) {
                    s.chosenLanguage = static_cast<std::uint32_t>(readLe(record, 0, 4));
                }
                break;
            case kTagTextSettings:
                fine = record.size() == kTextSettingsSize;
                if (fine) {
                    std::memcpy(s.textSettings.bytes.data(), record.data(), kTextSettingsSize);
                }
                break;
            case kTagColours:
                fine = record.size() == kColourWords * 4;
                for (std::size_t i = 0; fine && i < kColourWords; ++i) {
                    s.colours[i] = static_cast<std::uint32_t>(readLe(record, i * 4, 4));
                }
                break;
            case kTagToolWindow:
                fine = record.size() == kToolWindowRecordSize && s.windows.size() < kMaxToolWindows;
                if (fine) {
                    s.windows.push_back(ToolWindow{
                        static_cast<mini_tool_type>(readLe(record, 0, 1)), readLe(record, 1, 8),
                        static_cast<std::int32_t>(
                            static_cast<std::uint32_t>(readLe(record, 9, 4)))});
                }
                break;
            case kTagShellInitialised:
                fine = flag(s.shellInitialised);
                break;
            default:
                break;  // a record of a later format version
        }
        if (!fine) {
            return damaged;
        }
    }
    return result;
}

std::vector<std::byte> serialiseSuiteState(const SuiteState& state) {
    std::vector<std::byte> payload;
    const std::byte logging{static_cast<unsigned char>(state.logging ? 1 : 0)};
    appendRecord(payload, kTagLogging, std::span<const std::byte>(&logging, 1));
    appendRecord(payload, kTagLogFile, bytesOf(pathRecordText(state.logFile)));
    // An empty user folder would read back as damaged; the default is used instead.
    if (const std::string folder = pathRecordText(state.userFolder); !folder.empty()) {
        appendRecord(payload, kTagUserFolder, bytesOf(folder));
    }
    appendRecord(payload, kTagHelpFile, bytesOf(pathRecordText(state.helpFile)));
    std::vector<std::byte> word;
    appendLe(word, state.chosenLanguage, 4);
    appendRecord(payload, kTagLanguage, word);
    appendRecord(payload, kTagTextSettings, std::as_bytes(std::span(state.textSettings.bytes)));
    std::vector<std::byte> colours;
    for (std::uint32_t c : state.colours) {
        appendLe(colours, c, 4);
    }
    appendRecord(payload, kTagColours, colours);
    const std::size_t windowCount = std::min(state.windows.size(), kMaxToolWindows);
    // The newest registrations are the ones that matter when there are too many.
    for (std::size_t i = state.windows.size() - windowCount; i < state.windows.size(); ++i) {
        const ToolWindow& w = state.windows[i];
        std::vector<std::byte> record;
        appendLe(record, w.tool, 1);
        appendLe(record, w.window, 8);
        appendLe(record, static_cast<std::uint32_t>(w.pid), 4);
        appendRecord(payload, kTagToolWindow, record);
    }
    const std::byte initialised{static_cast<unsigned char>(state.shellInitialised ? 1 : 0)};
    appendRecord(payload, kTagShellInitialised, std::span<const std::byte>(&initialised, 1));

    std::vector<std::byte> out;
    out.reserve(kHeaderSize + payload.size());
    for (char c : kMagic) {
        out.push_back(static_cast<std::byte>(c));
    }
    appendLe(out, kFormatVersion, 2);
    appendLe(out, 0, 2);
    appendLe(out, payload.size(), 4);
    appendLe(out, crc32(payload), 4);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

SuitePaths suitePathsFromEnvironment() {
    SuitePaths p;
    p.configFolder = xdgFolder("XDG_CONFIG_HOME", ".config") / "Veltrane";
    p.defaultUserFolder =
        withTrailingSlash(xdgFolder("XDG_DATA_HOME", ".local/share") / "Veltrane");
    return p;
}

SharedStateStore::SharedStateStore(SuitePaths paths) : m_paths(std::move(paths)) {
    m_paths.defaultUserFolder = withTrailingSlash(m_paths.defaultUserFolder);
}

ParsedState SharedStateStore::load() const {
    // Without a state file there is nothing to read; a reader never creates folders.
    std::error_code ec;
    if (!std::filesystem::exists(m_paths.stateFile(), ec)) {
        return ParsedState{defaultSuiteState(m_paths.defaultUserFolder), StateFileStatus::Absent};
    }
    // Reading goes on without the lock when it cannot be had (a read-only config folder):
    // writers replace the file by renaming, so a reader never sees half a file.
    FileLock lock;
    std::string error;
    (void)lock.lock(m_paths.lockFile(), LOCK_SH, error);
    ReadOutcome read = readStateBytes(m_paths.stateFile());
    ParsedState parsed;
    if (read.status != StateFileStatus::Ok) {
        parsed = ParsedState{defaultSuiteState(m_paths.defaultUserFolder), read.status};
    } else {
        parsed = parseSuiteState(read.bytes, m_paths.defaultUserFolder);
    }
    dropWindowsOfEndedProcesses(parsed.state);
    return parsed;
}

StateIoResult SharedStateStore::update(const std::function<void(SuiteState&)>& change) {
    StateIoResult result;
    std::error_code ec;
    std::filesystem::create_directories(m_paths.configFolder, ec);
    if (ec) {
        return {false,
                "cannot create the folder " + m_paths.configFolder.string() + ": " + ec.message()};
    }
    FileLock lock;
    if (!lock.lock(m_paths.lockFile(), LOCK_EX, result.error)) {
        result.ok = false;
        return result;
    }
    ReadOutcome read = readStateBytes(m_paths.stateFile());
    if (read.status == StateFileStatus::Unreadable) {
        return {false, "cannot read " + m_paths.stateFile().string()};
    }
    ParsedState parsed =
        read.status == StateFileStatus::Ok
            ? parseSuiteState(read.bytes, m_paths.defaultUserFolder)
            : ParsedState{defaultSuiteState(m_paths.defaultUserFolder), StateFileStatus::Absent};
    dropWindowsOfEndedProcesses(parsed.state);
    change(parsed.state);

    if (parsed.status == StateFileStatus::Damaged) {
        std::filesystem::path keep = m_paths.stateFile();
        keep += ".damaged";
        std::filesystem::rename(m_paths.stateFile(), keep, ec);  // best effort
    }

    const std::vector<std::byte> bytes = serialiseSuiteState(parsed.state);
    std::filesystem::path temp = m_paths.stateFile();
    temp += ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return {false, "cannot write " + temp.string() + ": " + std::strerror(errno)};
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temp.c_str());
        return {false, "cannot write " + temp.string() + ": " + std::strerror(savedErrno)};
    }
    if (::rename(temp.c_str(), m_paths.stateFile().c_str()) != 0) {
        const int renameErrno = errno;
        ::unlink(temp.c_str());
        return {false, "cannot replace " + m_paths.stateFile().string() + ": " +
                           std::strerror(renameErrno)};
    }
    return result;
}

// --- The process-wide connection ---

namespace {

struct Connection {
    std::mutex mutex;
    std::shared_ptr<SharedStateStore> store;
};

Connection& connection() {
    static Connection c;
    return c;
}

SuiteState currentState() {
    return suiteStore()->load().state;
}

bool changeState(const std::function<void(SuiteState&)>& change) {
    return static_cast<bool>(suiteStore()->update(change));
}

std::int32_t ownPid() {
    return static_cast<std::int32_t>(::getpid());
}

}  // namespace

void SetupSuiteSharing(mini_tool_type tool) {
    SetupSuiteSharingAt(tool, suitePathsFromEnvironment());
}

void SetupSuiteSharingAt(mini_tool_type tool, const SuitePaths& paths) {
    // Registrations carry their own tool number; the state itself is the same for every tool.
    (void)tool;
    Connection& c = connection();
    const std::lock_guard guard(c.mutex);
    c.store = std::make_shared<SharedStateStore>(paths);
}

std::shared_ptr<SharedStateStore> suiteStore() {
    Connection& c = connection();
    const std::lock_guard guard(c.mutex);
    if (!c.store) {
        c.store = std::make_shared<SharedStateStore>(suitePathsFromEnvironment());
    }
    return c.store;
}

SuiteWindowId GetShellWnd() {
    return currentState().activeWindow(3);
}

bool GetWShellInitialised() {
    return currentState().shellInitialised;
}

bool SetWShellInitialised(bool initialised) {
    return changeState([&](SuiteState& s) { s.shellInitialised = initialised; });
}

bool SetNewWnd(mini_tool_type tool, SuiteWindowId window) {
    return changeState([&](SuiteState& s) {
        const ToolWindow w{tool, window, ownPid()};
        if (std::find(s.windows.begin(), s.windows.end(), w) == s.windows.end()) {
            s.windows.push_back(w);
        }
    });
}

bool SetActiveMainToolWindow(mini_tool_type tool, SuiteWindowId window) {
    return changeState([&](SuiteState& s) {
        const ToolWindow w{tool, window, ownPid()};
        std::erase(s.windows, w);
        s.windows.push_back(w);
    });
}

bool UnSetWnd(mini_tool_type tool, SuiteWindowId window) {
    return changeState([&](SuiteState& s) {
        std::erase_if(s.windows, [&](const ToolWindow& w) {
            return w.tool == tool && w.window == window && w.pid == ownPid();
        });
        if (s.activeWindow(3) == 0) {
            s.shellInitialised = false;
        }
    });
}

std::vector<ToolWindow> GetRegisteredWindows() {
    return currentState().windows;
}

std::filesystem::path GetLogFilename() {
    return currentState().logFile;
}

bool GetLogging() {
    return currentState().logging;
}

std::filesystem::path GetUserReadWriteDir() {
    std::filesystem::path folder = currentState().userFolder;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // a failure shows when a file is written
    return folder;
}

std::filesystem::path GetHelpfilename() {
    return currentState().helpFile;
}

bool SetHelpfilename(const std::filesystem::path& name) {
    return changeState([&](SuiteState& s) { s.helpFile = name; });
}

std::uint32_t GetChosenLanguageInterface() {
    return currentState().chosenLanguage;
}

TextSettings GetTextSettings() {
    return currentState().textSettings;
}

bool SetTextSettings(const TextSettings& settings) {
    return changeState([&](SuiteState& s) { s.textSettings = settings; });
}

ColoursAndTypefaces GetDefaultColoursAndTypefaces() {
    return currentState().colours;
}

}  // namespace runemeter
