#include "core/files/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include "core/image/ConfigImage.h"

bool OpenRegularFile(QFile& file, QString* problem) {
  const QFileInfo info(file.fileName());
  if (info.exists() && !info.isFile()) {
    *problem = QStringLiteral("это не обычный файл (канал, устройство или папка)");
    return false;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    *problem = file.errorString();
    return false;
  }
  return true;
}

std::optional<ConfigFileBytes> ReadConfigFile(const QString& path, QString* problem) {
  QFile file(path);
  if (!OpenRegularFile(file, problem)) return std::nullopt;
  ConfigFileBytes read;
  read.bytes = file.read(kImageSize + 1);
  read.size = file.size();
  return read;
}

QString ShortEcho(const QString& text) {
  constexpr qsizetype kLimit = 200;
  if (text.size() <= kLimit) return text;
  return text.left(kLimit) + QStringLiteral("… (%1 знаков)").arg(text.size());
}
