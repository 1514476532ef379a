// Where the system gives no view of other processes' files, nobody is seen holding anything.
#include "core/platform/Processes.h"

#include <QFileInfo>

QStringList OsDeviceHolders(const QString&) {
  return {};
}

bool OsProcessRunning(const QString&) {
  return false;
}

QString OsFileLockHolder(const QString&) {
  return {};
}

bool OsProcessAlive(qint64) {
  return true;
}

void OsRemoveOnTermination(const QString&, const QString&) {}
void OsRemoveOutputOnTermination(const QString&) {}

QString OsReplaceWith(const QString&, const QStringList&) {
  return QStringLiteral("not on this system");
}

QString OsExecutablePath(const char* argv0) {
  return QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
}

void OsNoteTermination() {}

int OsTerminationSignal() {
  return 0;
}
