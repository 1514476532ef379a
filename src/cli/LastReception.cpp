#include "cli/LastReception.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include "core/platform/DurableFile.h"

namespace {

std::optional<QJsonObject> ReadObject(const QString& dir, const char* name) {
  QFile file(QDir(dir).filePath(QLatin1String(name)));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QJsonDocument document = QJsonDocument::fromJson(file.read(1 << 20));
  if (!document.isObject()) return std::nullopt;
  return document.object();
}

bool WriteObject(const QString& dir, const char* name, const QJsonObject& object) {
  QString reason;
  return ReplaceFileDurably(QDir(dir).filePath(QLatin1String(name)),
                            QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', &reason);
}

}  // namespace

bool WriteLastReception(const QString& dir, QJsonObject summary, const QString& moment) {
  summary.insert(QStringLiteral("time"), moment);
  return WriteObject(dir, kLastReceptionName, summary);
}

std::optional<QJsonObject> ReadLastReception(const QString& dir) {
  return ReadObject(dir, kLastReceptionName);
}

bool WriteLastSync(const QString& dir, const QString& database, QJsonObject summary,
                   const QString& moment) {
  summary.insert(QStringLiteral("time"), moment);
  QJsonObject all = ReadLastSyncs(dir);
  all.insert(database, summary);
  return WriteObject(dir, kLastSyncName, all);
}

QJsonObject ReadLastSyncs(const QString& dir) {
  return ReadObject(dir, kLastSyncName).value_or(QJsonObject());
}
