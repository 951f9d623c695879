// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/start_tool.h"

#include <sys/stat.h>

#include <thread>

#include "suite/unicode_text.h"

namespace runemeter {

bool isExecutableFile(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    return S_ISREG(info.st_mode) && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

bool StartTool(int tool, const std::u16string& parameters, const StartToolServices& services) {
    if (tool == kShellTool && services.shellWindow && services.shellWindow() != 0) {
        return true;
    }
    if (!services.toolExecutable || !services.launch) {
        return false;
    }
    const std::filesystem::path file = services.toolExecutable(tool);
    // Missing or not a program: the tool starts without the shell, silently.
    if (file.empty() || !isExecutableFile(file)) {
        return false;
    }
    const auto started = std::chrono::steady_clock::now();
    if (!services.launch(file, parameters)) {
        if (services.message) {
            services.message(u"Can't start \r" + pathToDisplay(file), u"Fatal Error");
        }
        return false;
    }
    for (;;) {
        const bool initialised = services.shellInitialised && services.shellInitialised();
        if (services.yield) {
            services.yield();
        }
        if (initialised) {
            return true;
        }
        if (std::chrono::steady_clock::now() - started > services.timeout) {
            return false;
        }
        std::this_thread::sleep_for(services.pollInterval);
    }
}

bool ensureShellRunning(bool mutexExists, const StartToolServices& services) {
    if (mutexExists) {
        return false;
    }
    return StartTool(kShellTool, std::u16string(kShellParameters), services);
}

}  // namespace runemeter
