#include "core/files/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "core/base/Errors.h"
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

std::optional<ConfigFileBytes> ReadConfigFile(const QString& path, QString* problem,
                                              qint64 largest) {
  QFile file(path);
  if (!OpenRegularFile(file, problem)) return std::nullopt;
  ConfigFileBytes read;
  read.bytes = file.read(largest);
  read.size = file.size();
  // A read that fails (EIO from a failing disk) is an error, never an empty or short file.
  if (file.error() != QFileDevice::NoError || read.bytes.size() < std::min(read.size, largest)) {
    *problem = file.error() != QFileDevice::NoError
                   ? file.errorString()
                   : QStringLiteral("read %1 of %2 bytes").arg(read.bytes.size()).arg(read.size);
    return std::nullopt;
  }
  return read;
}

QString ShortEcho(const QString& text) {
  constexpr qsizetype kLimit = 200;
  if (text.size() <= kLimit) return text;
  return text.left(kLimit) + QStringLiteral("… (%1 знаков)").arg(text.size());
}

std::optional<HandWrittenLine> ReadHandWrittenLine(QString line) {
  const qsizetype hash = line.indexOf(u'#');
  if (hash >= 0) line.truncate(hash);
  line = line.trimmed();
  if (line.isEmpty()) return std::nullopt;
  HandWrittenLine read;
  if (line.startsWith(u'[')) {
    const bool whole = line.endsWith(u']') && line.size() >= 3;
    read.kind = whole ? HandWrittenLine::Kind::kHeading : HandWrittenLine::Kind::kBadHeading;
    if (whole) read.name = line.mid(1, line.size() - 2).trimmed();
    return read;
  }
  const qsizetype equals = line.indexOf(u'=');
  if (equals < 0) {
    read.kind = HandWrittenLine::Kind::kNoEquals;
    return read;
  }
  read.name = line.left(equals).trimmed();
  read.value = line.mid(equals + 1).trimmed();
  return read;
}

std::optional<QString> ReadHandWrittenFile(const QString& dir, const QString& name,
                                           qint64 largest) {
  QFile file(QDir(dir).filePath(name));
  if (!file.exists()) return std::nullopt;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, problem));
  }
  if (file.size() > largest) {
    throw IoError(QStringLiteral("Файл %1 слишком велик для такого файла (%2 байт)")
                      .arg(name)
                      .arg(file.size()));
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  }
  // A file saved in Windows-1251 would give names of replacement characters: it is named.
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) {
    int line = 1;
    for (const QByteArray& each : bytes.split('\n')) {
      QStringDecoder check(QStringDecoder::Utf8);
      const QString decoded = check.decode(each);  // decodes only when taken
      if (check.hasError()) break;
      ++line;
    }
    throw ConvertError(QStringLiteral("Файл %1, строка %2: текст не в UTF-8 (сохраните файл в "
                                      "кодировке UTF-8)")
                           .arg(name)
                           .arg(line));
  }
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  text.remove(u'\r');
  return text;
}
