#include "cli/StandardOutput.h"

#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#else
#include <io.h>
#endif

StandardOutput::StandardOutput(int descriptor) : descriptor_(descriptor) {
  open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 StandardOutput::writeData(const char* data, qint64 size) {
  if (failure_ != 0) return -1;
  qint64 done = 0;
  while (done < size) {
    const auto written = ::write(descriptor_, data + done, static_cast<size_t>(size - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      failure_ = written < 0 ? errno : EIO;
      setErrorString(QString::fromLocal8Bit(std::strerror(failure_)));
      return -1;
    }
    done += written;
  }
  return done;
}
