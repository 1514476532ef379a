#include "cli/LastReception.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include "core/platform/DurableFile.h"

bool WriteLastReception(const QString& dir, QJsonObject summary, const QString& moment) {
  summary.insert(QStringLiteral("time"), moment);
  QString reason;
  return ReplaceFileDurably(QDir(dir).filePath(QLatin1String(kLastReceptionName)),
                            QJsonDocument(summary).toJson(QJsonDocument::Compact) + '\n', &reason);
}

std::optional<QJsonObject> ReadLastReception(const QString& dir) {
  QFile file(QDir(dir).filePath(QLatin1String(kLastReceptionName)));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
  if (!document.isObject()) return std::nullopt;
  return document.object();
}
