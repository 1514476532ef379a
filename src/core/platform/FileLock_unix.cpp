// File locks with flock(): the kernel drops the lock when the process ends, however it ends,
// so a crashed reception never leaves the working directory locked.
#include "core/platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace {
QString Reason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}
}  // namespace

FileLockAttempt OsTakeFileLock(const QString& path, const QByteArray& holderText) {
  FileLockAttempt attempt;
  const QByteArray name = QFile::encodeName(path);
  const int descriptor = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    attempt.reason = Reason(errno);
    return attempt;
  }
  if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK) {
      attempt.reason = Reason(error);
      ::close(descriptor);
      return attempt;
    }
    // The holder wrote its name and process into the file when it took the lock.
    char text[256] = {};
    const ssize_t count = ::pread(descriptor, text, sizeof text - 1, 0);
    attempt.outcome = FileLockAttempt::Outcome::kHeld;
    attempt.holder = count > 0 ? QString::fromUtf8(text, static_cast<int>(count)).trimmed()
                               : QStringLiteral("?");
    ::close(descriptor);
    return attempt;
  }
  if (::ftruncate(descriptor, 0) == 0) {
    [[maybe_unused]] const ssize_t written =
        ::pwrite(descriptor, holderText.constData(), static_cast<size_t>(holderText.size()), 0);
  }
  attempt.outcome = FileLockAttempt::Outcome::kTaken;
  attempt.descriptor = descriptor;
  return attempt;
}

void OsReleaseFileLock(int descriptor) {
  if (descriptor >= 0) ::close(descriptor);  // closing releases the lock
}

int OsHoldFileLock(const QString& path) {
  // Without O_NONBLOCK a FIFO left in the record's place would hold the open for ever.
  const int descriptor =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return -1;
  if (::flock(descriptor, LOCK_SH | LOCK_NB) != 0) {
    ::close(descriptor);
    return -1;
  }
  return descriptor;
}
