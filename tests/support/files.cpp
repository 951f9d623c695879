// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/files.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace runemeter::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "runemeter-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Folders a test made unreadable must be opened again before they can be removed.
    for (auto it = fs::recursive_directory_iterator(
             m_path, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

void writeFile(const fs::path& file, std::string_view bytes) {
    if (file.has_parent_path())
        fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void writeZip(const fs::path& file, const std::vector<ZipEntry>& entries) {
    if (file.has_parent_path())
        fs::create_directories(file.parent_path());
    int error = 0;
    zip_t* za = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (za == nullptr)
        throw std::runtime_error("cannot create " + file.string());
    for (const ZipEntry& entry : entries) {
        zip_int64_t index = -1;
        if (!entry.name.empty() && entry.name.back() == '/') {
            index = zip_dir_add(za, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            // The data must live until zip_close; the entries outlive this call.
            zip_source_t* source =
                zip_source_buffer(za, entry.content.data(), entry.content.size(), 0);
            if (source == nullptr)
                throw std::runtime_error("zip source");
            index = zip_file_add(za, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0)
                zip_source_free(source);
        }
        if (index < 0)
            throw std::runtime_error("cannot add " + entry.name);
        const auto at = static_cast<zip_uint64_t>(index);
        if (entry.password != nullptr &&
            zip_file_set_encryption(za, at, ZIP_EM_AES_256, entry.password) != 0)
            throw std::runtime_error("cannot encrypt " + entry.name);
        if (entry.stored)
            zip_set_file_compression(za, at, ZIP_CM_STORE, 0);
    }
    if (zip_close(za) != 0)
        throw std::runtime_error("cannot close " + file.string());
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = ::getenv(name))
        m_old = old;
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_old)
        ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

namespace {

/// The environment of a child: the inherited one (or none) with the launch's changes.
std::vector<std::string> childEnvironment(const Launch& launch) {
    std::vector<std::string> env;
    if (launch.inheritEnv) {
        for (char** e = environ; *e != nullptr; ++e)
            env.emplace_back(*e);
    }
    for (const std::string& change : launch.env) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name + "="); });
        if (change.find('=') != std::string::npos)
            env.push_back(change);
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

ChildProcess::ChildProcess(const Launch& launch) {
    writeFile(m_files / "in", launch.input);
    std::vector<std::string> argv = launch.argv;
    std::vector<std::string> env = childEnvironment(launch);
    const std::vector<char*> argp = pointers(argv);
    const std::vector<char*> envp = pointers(env);
    const std::string in = (m_files / "in").string();
    const std::string out = (m_files / "out").string();
    const std::string err = (m_files / "err").string();
    m_pid = ::fork();
    if (m_pid == 0) {
        const int fdIn = ::open(in.c_str(), O_RDONLY);
        const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0 || ::dup2(fdIn, 0) < 0 || ::dup2(fdOut, 1) < 0 ||
            ::dup2(fdErr, 2) < 0)
            ::_exit(127);
        if (!launch.cwd.empty() && ::chdir(launch.cwd.c_str()) != 0)
            ::_exit(127);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    if (m_pid < 0)
        throw std::runtime_error("cannot start " + launch.argv.at(0));
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

void ChildProcess::signal(int number) const {
    if (m_pid > 0)
        ::kill(m_pid, number);
}

ProcessResult ChildProcess::finish() {
    ProcessResult result;
    int status = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid) {
        if (WIFEXITED(status))
            result.status = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result.status = 128 + WTERMSIG(status);
    }
    m_pid = -1;
    result.out = readFile(m_files / "out");
    result.err = readFile(m_files / "err");
    return result;
}

ProcessResult runProgram(const Launch& launch) {
    ChildProcess child(launch);
    return child.finish();
}

}  // namespace runemeter::test
