// Durable file operations on a Unix kernel: every write, the sync and the final size are
// checked by hand, since Qt's own QSaveFile on Qt 6.4 can report success after a write that
// failed for lack of space; and the directory is synced after a rename, which Qt does not do.
#include "core/platform/DurableFile.h"

#include "core/base/DurableSteps.h"

#include <fcntl.h>
#include <sys/stat.h>
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

QString SystemReason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

void SetDurableWriteCall(DurableWriteCall call) {
  g_write = call ? call : SystemWrite;
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

  const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
  const int folder = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  DurableStepTaken("file replaced");
  return true;
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
  const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
  const int folder = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}
