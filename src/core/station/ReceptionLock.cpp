#include "core/station/ReceptionLock.h"

#include <QCoreApplication>
#include <QDir>

#include "core/platform/FileLock.h"

ReceptionLock::ReceptionLock(const QString& dir, const QString& holder)
    : path_(QDir(dir).filePath(QLatin1String(kReceptionLockName))) {
  const QByteArray who =
      (holder + QStringLiteral(", process %1\n").arg(QCoreApplication::applicationPid())).toUtf8();
  const FileLockAttempt attempt = OsTakeFileLock(path_, who);
  switch (attempt.outcome) {
    case FileLockAttempt::Outcome::kTaken:
      descriptor_ = attempt.descriptor;
      break;
    case FileLockAttempt::Outcome::kHeld:
      holder_ = attempt.holder;
      break;
    case FileLockAttempt::Outcome::kFailed:
      failure_ = attempt.reason;
      break;
  }
}

ReceptionLock::~ReceptionLock() {
  OsReleaseFileLock(descriptor_);
}

QString ReceptionLockText(const ReceptionLock& lock) {
  if (lock.Failed()) {
    return QStringLiteral("Не удается открыть файл %1: %2. Прием данных не выполняется.")
        .arg(QDir::toNativeSeparators(lock.Path()), lock.Failure());
  }
  return QStringLiteral("Прием данных уже выполняется (%1)").arg(lock.Holder());
}
