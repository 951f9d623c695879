// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/logging.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace runemeter {

std::atomic<bool> keeping_log{false};

namespace {

struct LogTarget {
    std::mutex mutex;
    std::filesystem::path file;
};

LogTarget& logTarget() {
    static LogTarget target;
    return target;
}

}  // namespace

void SetLogFilename(const std::filesystem::path& name) {
    LogTarget& t = logTarget();
    const std::lock_guard guard(t.mutex);
    t.file = name;
}

std::filesystem::path logFilename() {
    LogTarget& t = logTarget();
    const std::lock_guard guard(t.mutex);
    return t.file;
}

std::string formatLogLine(std::u16string_view text, bool flag,
                          std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()) % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>((millis.count() + 1000) % 1000));
    std::string line = stamp;
    if (flag) {
        line += '[';
        line += utf16ToUtf8(GetShortToolFilename(current_tool_var));
        line += "] ";
    }
    line += utf16ToUtf8(oneLine(text));
    return line;
}

void AddToLogFile(std::u16string_view text, bool flag) noexcept {
    if (!keeping_log) {
        return;
    }
    try {
        LogTarget& t = logTarget();
        const std::lock_guard guard(t.mutex);
        if (t.file.empty()) {
            return;
        }
        // No O_CREAT: the suite's log is written only when it exists. O_APPEND and one write
        // per line keep lines of several programs apart; O_NONBLOCK keeps a pipe without reader
        // from hanging the program.
        const int fd =
            ::open(t.file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            return;
        }
        const std::string line = formatLogLine(text, flag, std::chrono::system_clock::now()) + "\n";
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;  // a full disk or a broken log must not stop the program
            }
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    } catch (...) {
        // Out of memory while formatting: the line is lost, the program goes on.
    }
}

}  // namespace runemeter
