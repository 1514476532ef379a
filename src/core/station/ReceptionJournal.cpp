#include "core/station/ReceptionJournal.h"

#include <QDir>
#include <QFile>

#include "core/base/Errors.h"
#include "core/platform/DurableFile.h"

namespace {

// A small text file a person can read: a title line, then one "key: value" line each; the
// bytes in hexadecimal.
const QByteArray kTitle = "NorvelWin reception journal";
const QByteArray kStored = "stored: ";
const QByteArray kFiles = "files: ";
const QByteArray kBytes = "bytes: ";
const QByteArray kEnd = "end";

QString JournalPath(const QString& dir) {
  return QDir(dir).filePath(QLatin1String(kReceptionJournalName));
}

}  // namespace

std::optional<ReceptionJournal> ReadReceptionJournal(const QString& dir) {
  QFile file(JournalPath(dir));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QList<QByteArray> lines = file.readAll().split('\n');
  // Title, three values and the end mark: anything less was not written whole.
  if (lines.size() < 5 || lines[0].trimmed() != kTitle || lines[4].trimmed() != kEnd ||
      !lines[1].startsWith(kStored) || !lines[2].startsWith(kFiles) ||
      !lines[3].startsWith(kBytes)) {
    return std::nullopt;
  }
  ReceptionJournal journal;
  journal.stored = QDateTime::fromString(
      QString::fromLatin1(lines[1].mid(kStored.size()).trimmed()), Qt::ISODate);
  const QString files = QString::fromUtf8(lines[2].mid(kFiles.size()).trimmed());
  journal.files = files.isEmpty() ? QStringList() : files.split(u';');
  const QByteArray hex = lines[3].mid(kBytes.size()).trimmed();
  journal.bytes = QByteArray::fromHex(hex);
  if (journal.bytes.size() * 2 != hex.size()) return std::nullopt;
  return journal;
}

void WriteReceptionJournal(const QString& dir, const ReceptionJournal& journal) {
  QByteArray text = kTitle + '\n';
  text += kStored + journal.stored.toString(Qt::ISODate).toLatin1() + '\n';
  text += kFiles + journal.files.join(u';').toUtf8() + '\n';
  text += kBytes + journal.bytes.toHex() + '\n';
  text += kEnd + '\n';
  QString reason;
  if (!ReplaceFileDurably(JournalPath(dir), text, &reason)) {
    throw IoError(QStringLiteral("Cannot write file %1: %2")
                      .arg(QLatin1String(kReceptionJournalName), reason));
  }
}

void RemoveReceptionJournal(const QString& dir) {
  QFile::remove(JournalPath(dir));
}
