#include "core/station/ConfigHistory.h"

#include <QDir>
#include <QFile>

#include "core/platform/DurableFile.h"

namespace {

const QString kBefore = QStringLiteral("-before.cfg");
const QString kAfter = QStringLiteral("-after.cfg");

QByteArray Bytes(const ConfigImage& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

}  // namespace

QString KeepConfigHistory(const QString& workDir, const ConfigImage& before,
                          const ConfigImage& after, const QDateTime& moment) {
  QDir dir(QDir(workDir).filePath(QLatin1String(kHistoryDirName)));
  if (!dir.exists() && !QDir(workDir).mkdir(QLatin1String(kHistoryDirName))) {
    return QStringLiteral("не удается создать папку %1").arg(dir.path());
  }
  // Two writes in one second get names of their own.
  QString stem = moment.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
  for (int n = 2; QFile::exists(dir.filePath(stem + kBefore)); ++n) {
    stem = moment.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral("_%1").arg(n);
  }
  QString reason;
  if (!ReplaceFileDurably(dir.filePath(stem + kBefore), Bytes(before), &reason) ||
      !ReplaceFileDurably(dir.filePath(stem + kAfter), Bytes(after), &reason)) {
    QFile::remove(dir.filePath(stem + kBefore));
    return reason;
  }
  // The oldest pairs go; the names sort by their moments.
  QStringList pairs = dir.entryList({QStringLiteral("*") + kBefore}, QDir::Files, QDir::Name);
  while (pairs.size() > kHistoryPairs) {
    const QString oldest = pairs.takeFirst();
    dir.remove(oldest);
    dir.remove(oldest.chopped(kBefore.size()) + kAfter);
  }
  return {};
}
