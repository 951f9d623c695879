#pragma once

// Test helpers: a temporary folder that removes itself, files with given bytes, and zip
// archives written with libzip.

#include <unistd.h>
#include <zip.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter::test {

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("runemeter-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
                  "-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        // Folders a test made unreadable must be opened again before they can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(
                 m_path, std::filesystem::directory_options::skip_permission_denied, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
            }
        }
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(const std::filesystem::path& rel) const {
        return m_path / rel;
    }

private:
    std::filesystem::path m_path;
};

/// Writes bytes to a file, creating its folders.
inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

/// The whole content of a file.
inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/// One entry of an archive to write: a name ending in '/' is a folder.
struct ZipEntry {
    std::string name;
    std::string content;
    bool stored = false;             ///< stored without compression (so tests can patch the data)
    const char* password = nullptr;  ///< encrypted with this password when set
};

/// Writes a zip archive with the given entries, in order.
inline void writeZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries) {
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path());
    int error = 0;
    zip_t* za = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (za == nullptr)
        throw std::runtime_error("cannot create " + file.string());
    for (const ZipEntry& entry : entries) {
        zip_int64_t index = -1;
        if (!entry.name.empty() && entry.name.back() == '/') {
            index = zip_dir_add(za, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            // The data must live until zip_close; entries outlive this call.
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
        if (entry.password != nullptr &&
            zip_file_set_encryption(za, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256,
                                    entry.password) != 0) {
            throw std::runtime_error("cannot encrypt " + entry.name);
        }
        if (entry.stored)
            zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(za) != 0)
        throw std::runtime_error("cannot close " + file.string());
}

}  // namespace runemeter::test
