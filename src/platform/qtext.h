// Qt's text and the engine's: QString and std::u16string hold the same UTF-16, so the
// conversions copy code units and never change a character. File paths are the bytes Linux
// has for them.
#pragma once

#include <QFile>
#include <QString>

#include <string>
#include <string_view>

namespace kestrova::platform {

[[nodiscard]] inline QString toQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

[[nodiscard]] inline std::u16string toU16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

[[nodiscard]] inline std::string toFsPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

[[nodiscard]] inline QString fromFsPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace kestrova::platform
