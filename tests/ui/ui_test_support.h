#pragma once

// Helpers of the widget tests: a fresh home folder per test program and real files in it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

namespace runemeter::test {

/// A temporary home with its own XDG folders, so no test touches the user's real files.
class FreshHome {
public:
    FreshHome() {
        const QString root = m_dir.path();
        set("HOME", root);
        set("XDG_CONFIG_HOME", root + "/.config");
        set("XDG_DATA_HOME", root + "/.local/share");
        set("XDG_CACHE_HOME", root + "/.cache");
        set("XDG_RUNTIME_DIR", root + "/run");
        QDir(root).mkpath("run");
        QFile::setPermissions(root + "/run",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    [[nodiscard]] bool isValid() const { return m_dir.isValid(); }
    [[nodiscard]] QString path() const { return m_dir.path(); }

private:
    static void set(const char* name, const QString& value) { qputenv(name, value.toLocal8Bit()); }
    QTemporaryDir m_dir;
};

/// Writes bytes to a file, creating its folder; false when it cannot.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// UTF-16 little-endian bytes with their signature.
inline QByteArray utf16Le(const QString& text) {
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

/// UTF-16 big-endian bytes with their signature.
inline QByteArray utf16Be(const QString& text) {
    QByteArray bytes("\xFE\xFF", 2);
    for (QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() >> 8));
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return bytes;
}

}  // namespace runemeter::test
