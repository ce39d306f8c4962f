// The fonts a layout names, as the host has them.
#include "platform/Fonts.h"

#include <text/Utf8Qt.h>

#include <QFontDatabase>

#include <algorithm>
#include <cstdlib>

QStringList FontCandidates(std::string_view name) {
  // The named face first, then its nearest equivalents on Linux hosts.
  QStringList families{text::ToQString(name)};
  if (name == "Comic Sans MS")
    families << "Comic Neue"
             << "Comic Relief";
  else
    families << "Microsoft Sans Serif"
             << "DejaVu Sans"
             << "Liberation Sans";
  return families;
}

QFont MakeFont(const FontDesc& desc) {
  QFont font;
  font.setStyleHint(desc.name == "Comic Sans MS" ? QFont::Cursive : QFont::SansSerif);
  // Only the first face the host has: asking for missing ones makes every
  // lookup search the host's fallbacks, which slows start-up. The list of
  // the host's faces is read once; looking a name up in it is cheap, unlike
  // QFontDatabase::hasFamily.
  static const QStringList hostFamilies = QFontDatabase::families();
  const QStringList candidates = FontCandidates(desc.name);
  const auto found = std::find_if(candidates.begin(), candidates.end(), [](const QString& family) {
    return hostFamilies.contains(family);
  });
  font.setFamilies({found != candidates.end() ? *found : candidates.front()});
  font.setPixelSize(std::abs(desc.height));
  font.setBold(desc.bold);
  return font;
}
