#pragma once
// The passage between the program's UTF-8 strings and Qt's UTF-16 ones
// (Linux only: the Windows build has no Qt).

#include "text/Utf8.h"

#include <QString>
#include <QStringView>

namespace text {

// Between the program's UTF-8 strings and Qt's UTF-16 ones.
inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string ToUtf8(QStringView text) {
  const QByteArray bytes = text.toUtf8();
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

inline std::u16string_view View(QStringView text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace text
