// Durable file operations where there is no Unix kernel (Windows): Qt's save file does the
// replacing, and its sizes are checked all the same; a sync is the C runtime's commit.
#include "core/platform/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#if defined(Q_OS_WIN)
#include <io.h>
#endif

void SetDurableWriteCall(DurableWriteCall) {}
void SetDurableDirectorySyncCall(DurableSyncCall) {}

// Windows keeps a rename on the disk by itself.
bool SyncDirectoryOf(const QString&, QString*) {
  return true;
}

bool SyncFileToDisk(QFile& file) {
  if (!file.flush()) return false;
#if defined(Q_OS_WIN)
  return ::_commit(file.handle()) == 0;
#else
  return true;
#endif
}

bool ReplaceFileDurably(const QString& path, const QByteArray& bytes, QString* reason) {
  QSaveFile file(path);
  const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                  file.flush() && file.commit() && QFileInfo(path).size() == bytes.size();
  if (!ok && reason) *reason = file.errorString();
  return ok;
}

QString CutShortReason(const QString& path) {
  return QStringLiteral("файл записан не полностью (%1 байт)").arg(QFileInfo(path).size());
}

bool PlaceFileDurably(const QString& finished, const QString& path, QString* reason) {
  QFile::remove(path);
  if (QFile::rename(finished, path)) return true;
  QFile file(finished);
  if (reason) *reason = file.errorString();
  QFile::remove(finished);
  return false;
}
