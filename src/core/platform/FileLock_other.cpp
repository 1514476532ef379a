// Where there is no flock() (Windows), the lock file is opened and kept: the program is the
// only one of its kind on such a desk, and the file tells which directory is in use.
#include "core/platform/FileLock.h"

#include <QFile>

FileLockAttempt OsTakeFileLock(const QString& path, const QByteArray& holderText) {
  FileLockAttempt attempt;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    attempt.reason = file.errorString();
    return attempt;
  }
  file.write(holderText);
  attempt.outcome = FileLockAttempt::Outcome::kTaken;
  attempt.descriptor = 0;
  return attempt;
}

void OsReleaseFileLock(int) {}

int OsHoldFileLock(const QString&) {
  return -1;
}
