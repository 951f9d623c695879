// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/ui/qt_text.h"

#include <QFile>

#include <vector>

namespace runemeter {

std::u16string toU16(const QString& text) {
    // QChar and char16_t are both one UTF-16 unit; copying units keeps lone surrogates as they are.
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

QString fromU16(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

QString resourceText(ResId id) {
    return fromU16(ResourceString(id));
}

QString formatResource(ResId id, std::initializer_list<std::u16string> args) {
    const std::vector<std::u16string_view> views(args.begin(), args.end());
    return fromU16(formatWithStrings(ResourceString(id), views));
}

QString pathToQString(const std::filesystem::path& path) {
    // QFile::decodeName uses the locale's file-name codec, the same one QFile opens with.
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::filesystem::path pathFromQString(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

}  // namespace runemeter
