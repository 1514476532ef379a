// Custom line rates such as 325 and 976 bit/s exist only in the kernel's termios2 (the BOTHER
// rate), whose header cannot share a file with <termios.h>; hence this file of its own.
#include "core/platform/SerialRates.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

std::optional<QList<unsigned>> OsRefusedRates(const QString& device, const QList<unsigned>& rates,
                                              QString* failure) {
  const int descriptor =
      ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    *failure = QString::fromLocal8Bit(std::strerror(errno));
    return std::nullopt;
  }
  struct termios2 before {};
  if (ioctl(descriptor, TCGETS2, &before) != 0) {
    *failure = QString::fromLocal8Bit(std::strerror(errno));
    ::close(descriptor);
    return std::nullopt;
  }
  QList<unsigned> refused;
  for (const unsigned rate : rates) {
    struct termios2 settings = before;
    settings.c_cflag &= ~CBAUD;
    settings.c_cflag |= BOTHER;
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    struct termios2 back {};
    if (ioctl(descriptor, TCSETS2, &settings) != 0 || ioctl(descriptor, TCGETS2, &back) != 0 ||
        back.c_ospeed != rate) {
      refused << rate;
    }
  }
  // Whatever the trial did, the line goes back to the settings it had.
  ioctl(descriptor, TCSETS2, &before);
  ::close(descriptor);
  return refused;
}
