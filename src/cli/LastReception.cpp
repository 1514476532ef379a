#include "cli/LastReception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <cstdio>

#include "core/files/RegularFile.h"
#include "core/platform/DurableFile.h"
#include "core/platform/FileLock.h"
#include "core/platform/Processes.h"

namespace {

constexpr char kUnfinishedSuffix[] = ".unfinished";

QString MarkerPath(const QString& dir, const char* name) {
  return QDir(dir).filePath(QLatin1String(name) + QLatin1String(kUnfinishedSuffix));
}

// A record of a few hundred bytes; anything much larger is not one.
constexpr qint64 kLargestRecord = 64 * 1024;

// The record in the file; none when there is no file, and none with `damage` said when the
// file is there but holds no record (a pipe, a folder, a cut or overwritten file).
std::optional<QJsonObject> ReadObjectFile(const QString& path, QString* damage) {
  if (!QFileInfo::exists(path)) return std::nullopt;
  QFile file(path);
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    if (damage) *damage = problem;
    return std::nullopt;
  }
  if (file.size() > kLargestRecord) {
    if (damage) *damage = QStringLiteral("%1 bytes, no record of this program").arg(file.size());
    return std::nullopt;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(file.read(kLargestRecord), &error);
  if (!document.isObject()) {
    if (damage) {
      *damage =
          error.error != QJsonParseError::NoError
              ? QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)
              : QStringLiteral("not a JSON object");
    }
    return std::nullopt;
  }
  return document.object();
}

// The record, or while a run has not recorded its end, the record before it.
std::optional<QJsonObject> ReadObject(const QString& dir, const char* name,
                                      QString* damage = nullptr) {
  QString broken;
  if (std::optional<QJsonObject> record =
          ReadObjectFile(QDir(dir).filePath(QLatin1String(name)), &broken))
    return record;
  if (damage && !broken.isEmpty())
    *damage = QStringLiteral("%1: %2").arg(QLatin1String(name), broken);
  return ReadObjectFile(MarkerPath(dir, name), nullptr);
}

bool WriteObject(const QString& dir, const char* name, const QJsonObject& object, QString* reason) {
  QString problem;
  const bool written =
      ReplaceFileDurably(QDir(dir).filePath(QLatin1String(name)),
                         QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', &problem);
  if (!written && reason) *reason = problem;
  return written;
}

}  // namespace

bool WriteLastReception(const QString& dir, QJsonObject summary, const QString& moment,
                        QString* reason) {
  summary.insert(QStringLiteral("time"), moment);
  return WriteObject(dir, kLastReceptionName, summary, reason);
}

std::optional<QJsonObject> ReadLastReception(const QString& dir, QString* damage) {
  return ReadObject(dir, kLastReceptionName, damage);
}

bool WriteLastSync(const QString& dir, const QString& database, QJsonObject summary,
                   const QString& moment, QString* reason) {
  summary.insert(QStringLiteral("time"), moment);
  QJsonObject all = ReadLastSyncs(dir);
  all.insert(database, summary);
  return WriteObject(dir, kLastSyncName, all, reason);
}

QJsonObject ReadLastSyncs(const QString& dir) {
  return ReadObject(dir, kLastSyncName).value_or(QJsonObject());
}

bool WriteLastAlerts(const QString& dir, QJsonObject run, const QString& moment, QString* reason) {
  run.insert(QStringLiteral("time"), moment);
  return WriteObject(dir, kLastAlertsName, run, reason);
}

std::optional<QJsonObject> ReadLastAlerts(const QString& dir) {
  return ReadObject(dir, kLastAlertsName);
}

UnfinishedRun::UnfinishedRun(const QString& dir, const char* name)
    : marker_(MarkerPath(dir, name)) {
  const QString record = QDir(dir).filePath(QLatin1String(name));
  // A rename takes no free space; only the very first run makes an empty marker.
  if (QFileInfo::exists(record)) {
    std::rename(QFile::encodeName(record).constData(), QFile::encodeName(marker_).constData());
  } else if (!QFileInfo::exists(marker_)) {
    QFile(marker_).open(QIODevice::WriteOnly);
  }
  lock_ = OsHoldFileLock(marker_);
}

UnfinishedRun::~UnfinishedRun() {
  OsReleaseFileLock(lock_);
}

void UnfinishedRun::Recorded() {
  QFile::remove(marker_);
}

std::optional<QDateTime> UnfinishedRun::Left(const QString& dir, const char* name) {
  const QString marker = MarkerPath(dir, name);
  const QFileInfo info(marker);
  if (!info.exists() || !OsFileLockHolder(marker).isEmpty()) return std::nullopt;
  // The rename at the start of the run is the marker's last change.
  return info.metadataChangeTime();
}
