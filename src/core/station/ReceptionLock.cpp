#include "core/station/ReceptionLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

ReceptionLock::ReceptionLock(const QString& dir, const QString& holder) {
#if defined(Q_OS_UNIX)
  const QByteArray path = QFile::encodeName(QDir(dir).filePath(QLatin1String(kReceptionLockName)));
  const int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    holder_ = QStringLiteral("?");
    return;
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    // The holder wrote its name and process into the file when it took the lock.
    char text[256] = {};
    const ssize_t count = ::pread(descriptor, text, sizeof text - 1, 0);
    holder_ = count > 0 ? QString::fromUtf8(text, static_cast<int>(count)).trimmed()
                        : QStringLiteral("?");
    ::close(descriptor);
    return;
  }
  const QByteArray who =
      (holder + QStringLiteral(", process %1\n").arg(QCoreApplication::applicationPid())).toUtf8();
  if (::ftruncate(descriptor, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(descriptor, who.constData(), who.size(), 0);
  }
  descriptor_ = descriptor;
#else
  // Elsewhere one program at a time is the rule by itself.
  Q_UNUSED(dir);
  Q_UNUSED(holder);
  descriptor_ = 0;
#endif
}

ReceptionLock::~ReceptionLock() {
#if defined(Q_OS_UNIX)
  if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the lock
#endif
}

QString ReceptionRunningText(const ReceptionLock& lock) {
  return QStringLiteral("Прием данных уже выполняется (%1)").arg(lock.Holder());
}
