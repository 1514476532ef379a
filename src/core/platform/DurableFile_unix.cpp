// Durable file operations on a Unix kernel: every write, the sync and the final size are
// checked by hand, since Qt's own QSaveFile on Qt 6.4 can report success after a write that
// failed for lack of space; and the directory is synced after a rename, which Qt does not do.
#include "core/platform/DurableFile.h"

#include "core/base/DurableSteps.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace {

long SystemWrite(int descriptor, const char* data, long size) {
  return static_cast<long>(::write(descriptor, data, static_cast<size_t>(size)));
}
DurableWriteCall g_write = SystemWrite;

int SystemSync(int descriptor) {
  return ::fsync(descriptor);
}
DurableSyncCall g_directorySync = SystemSync;

QString SystemReason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

void SetDurableWriteCall(DurableWriteCall call) {
  g_write = call ? call : SystemWrite;
}

void SetDurableDirectorySyncCall(DurableSyncCall call) {
  g_directorySync = call ? call : SystemSync;
}

bool SyncDirectoryOf(const QString& path, QString* reason) {
  const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
  // A folder this user may write into but not read cannot be opened to sync: nothing to do
  // about it, and the rename stands as the system keeps it.
  const int folder = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return true;
  const int synced = g_directorySync(folder);
  const int error = errno;
  ::close(folder);
  // Some file systems (network ones among them) cannot sync a folder at all and say so with
  // EINVAL; an I/O error means the new name may not survive a power cut, and is told.
  if (synced != 0 && error != EINVAL && error != ENOTSUP) {
    if (reason) *reason = SystemReason(error);
    return false;
  }
  return true;
}

bool SyncFileToDisk(QFile& file) {
  return file.flush() && ::fsync(file.handle()) == 0;
}

bool ReplaceFileDurably(const QString& path, const QByteArray& bytes, QString* reason) {
  const QByteArray target = QFile::encodeName(path);
  const QByteArray temporary = target + ".tmp";
  const auto fail = [&](int error, int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    ::unlink(temporary.constData());
    if (reason) *reason = SystemReason(error);
    return false;
  };

  const int descriptor =
      ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) return fail(errno, -1);
  const char* data = bytes.constData();
  long left = static_cast<long>(bytes.size());
  while (left > 0) {
    const long written = g_write(descriptor, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return fail(errno, descriptor);
    // A write that takes nothing makes no progress: the device is full.
    if (written == 0) return fail(ENOSPC, descriptor);
    data += written;
    left -= written;
  }
  if (::fsync(descriptor) != 0) return fail(errno, descriptor);
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return fail(errno, descriptor);
  if (status.st_size != bytes.size()) return fail(ENOSPC, descriptor);
  if (::close(descriptor) != 0) return fail(errno, -1);
  if (::rename(temporary.constData(), target.constData()) != 0) return fail(errno, -1);
  if (!SyncDirectoryOf(path, reason)) return false;
  DurableStepTaken("file replaced");
  return true;
}

QString CutShortReason(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat status {};
  const qint64 size = ::stat(name.constData(), &status) == 0 ? status.st_size : 0;
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<rlim_t>(size) >= limit.rlim_cur) {
    return SystemReason(EFBIG);
  }
  struct statvfs disk {};
  constexpr unsigned long long kNearlyFull = 1 << 20;
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  if (::statvfs(folder.constData(), &disk) == 0 &&
      static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < kNearlyFull) {
    return SystemReason(ENOSPC);
  }
  return QStringLiteral("файл записан не полностью (%1 байт)").arg(size);
}

bool PlaceFileDurably(const QString& finished, const QString& path, QString* reason) {
  const QByteArray from = QFile::encodeName(finished);
  const QByteArray target = QFile::encodeName(path);
  const auto fail = [&](int error) {
    ::unlink(from.constData());
    if (reason) *reason = SystemReason(error);
    return false;
  };
  const int descriptor = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return fail(errno);
  if (::fsync(descriptor) != 0) {
    const int error = errno;
    ::close(descriptor);
    return fail(error);
  }
  ::close(descriptor);
  if (::rename(from.constData(), target.constData()) != 0) return fail(errno);
  return SyncDirectoryOf(path, reason);
}
