#include "app/help_link.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <optional>

#include "app/ui_rules.h"

namespace bm::app {

namespace {

QString ToQ(std::u16string_view text) {
  return QString::fromStdU16String(std::u16string(text));
}

QStringList ManualPlaces(std::u16string_view program_directory) {
  QStringList places;
  for (const std::u16string& candidate : ManualCandidates(program_directory)) {
    places << ToQ(candidate);
  }
  const QString manual = QStringLiteral("brindlemoor/") + QString::fromLatin1(kManualFileName);
  places << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, manual);
#ifdef BRINDLEMOOR_INSTALLED_MANUAL
  places << QStringLiteral(BRINDLEMOOR_INSTALLED_MANUAL);
#endif
  return places;
}

}  // namespace

QUrl ManualUrl(std::u16string_view program_directory, const QString& section) {
  const QStringList places = ManualPlaces(program_directory);
  QString chosen = places.front();
  for (const QString& place : places) {
    if (QFileInfo(place).isFile()) {
      chosen = place;
      break;
    }
  }
  QUrl url = QUrl::fromLocalFile(chosen);
  if (!section.isEmpty()) url.setFragment(section);
  return url;
}

QUrl ExternalUrl(std::u16string_view requested, std::u16string_view program_directory) {
  if (const std::optional<std::u16string> section = ManualSection(requested, program_directory)) {
    return ManualUrl(program_directory, ToQ(*section));
  }
  const QString text = ToQ(requested);
  static const QRegularExpression kScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
  if (kScheme.match(text).hasMatch()) return QUrl(text);
  return QUrl::fromLocalFile(text);
}

}  // namespace bm::app
