#include "core/station/ConfigHistory.h"

#include <QDir>
#include <QFile>

#include "core/platform/DurableFile.h"

namespace {

const QString kBefore = QStringLiteral("-before.cfg");
const QString kAfter = QStringLiteral("-after.cfg");
const QString kFailed = QStringLiteral("-failed.cfg");

QByteArray Bytes(const ConfigImage& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

QDir HistoryDir(const QString& workDir) {
  return QDir(QDir(workDir).filePath(QLatin1String(kHistoryDirName)));
}

}  // namespace

ConfigHistoryEntry::ConfigHistoryEntry(const QString& workDir, const QDateTime& moment)
    : workDir_(workDir) {
  // Two attempts in one second get names of their own.
  const QString base = moment.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
  const QDir dir = HistoryDir(workDir);
  stem_ = base;
  for (int n = 2; QFile::exists(dir.filePath(stem_ + kBefore)); ++n) {
    stem_ = base + QStringLiteral("_%1").arg(n);
  }
}

QString ConfigHistoryEntry::KeepBefore(const ConfigImage& image) {
  const QString failure = Keep(kBefore, image);
  if (!failure.isEmpty()) return failure;
  // The oldest attempts go; the names sort by their moments.
  QDir dir = HistoryDir(workDir_);
  QStringList attempts = dir.entryList({QStringLiteral("*") + kBefore}, QDir::Files, QDir::Name);
  while (attempts.size() > kHistoryAttempts) {
    const QString stem = attempts.takeFirst().chopped(kBefore.size());
    for (const QString& suffix : {kBefore, kAfter, kFailed}) dir.remove(stem + suffix);
  }
  return {};
}

QString ConfigHistoryEntry::BeforeName() const {
  return stem_ + kBefore;
}

QString ConfigHistoryEntry::KeepAfter(const ConfigImage& image) {
  return Keep(kAfter, image);
}

QString ConfigHistoryEntry::KeepFailed(const ConfigImage& image) {
  return Keep(kFailed, image);
}

QString ConfigHistoryEntry::Keep(const QString& suffix, const ConfigImage& image) {
  const QDir dir = HistoryDir(workDir_);
  if (!dir.exists() && !QDir(workDir_).mkdir(QLatin1String(kHistoryDirName))) {
    return QStringLiteral("не удается создать папку %1").arg(QDir::toNativeSeparators(dir.path()));
  }
  QString reason;
  if (!ReplaceFileDurably(dir.filePath(stem_ + suffix), Bytes(image), &reason)) return reason;
  return {};
}
