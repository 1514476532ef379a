#include "ui/tariff/ColumnFont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>

const QString kColumnSample = QStringLiteral(
    "0123456789 .:-+*#?()ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
    "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюяЁё");

bool HasEvenColumns(const QFont& font) {
  const QFontMetricsF metrics(font);
  const qreal width = metrics.horizontalAdvance(kColumnSample.front());
  if (width <= 0) return false;
  for (QChar c : kColumnSample) {
    if (!metrics.inFont(c) || qAbs(metrics.horizontalAdvance(c) - width) > 0.01) return false;
  }
  return true;
}

QFont ColumnFont() {
  const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (HasEvenColumns(system)) return system;
  QStringList families = QFontDatabase::families();
  std::stable_partition(families.begin(), families.end(),
                        [](const QString& family) { return QFontDatabase::isFixedPitch(family); });
  for (const QString& family : families) {
    QFont candidate = system;
    candidate.setFamilies({family});
    if (HasEvenColumns(candidate)) return candidate;
  }
  return system;
}
