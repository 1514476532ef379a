// The serial link's questions to a Unix kernel. The station tool was born on Windows, where
// ports are named \\.\COMn; here a port number maps to a device path, and the bytes still
// waiting in the kernel's transmit queue are asked of the driver with TIOCOUTQ, so that a write
// is not counted done (and later purged) while it is still on its way out at 325 bit/s. A
// hang-up is seen with poll(), and a UART's own transmitter with TIOCSERGETLSR, which unlike
// tcdrain() never blocks, so a dead device cannot hang the program.
#include "core/platform/SerialPlatform.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#if defined(Q_OS_LINUX)
#include <linux/serial.h>
#endif

QString ComPortDeviceName(int portNumber) {
  if (const std::optional<QString> chosen = ChosenComPortDevice(portNumber)) return *chosen;
  // A USB adapter or any other device can be chosen per port: NORVEL_COM2=/dev/ttyUSB0.
  const QByteArray chosen = qgetenv(QStringLiteral("NORVEL_COM%1").arg(portNumber).toLatin1());
  if (!chosen.isEmpty()) return QString::fromLocal8Bit(chosen);
  return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

qint64 OsOutputQueue(qintptr handle) {
  int queued = 0;
  if (::ioctl(static_cast<int>(handle), TIOCOUTQ, &queued) == 0 && queued > 0) return queued;
  return 0;
}

bool OsLineHungUp(qintptr handle) {
  struct pollfd watch {
    static_cast<int>(handle), POLLIN, 0
  };
  if (::poll(&watch, 1, 0) < 0) return false;
  return (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

std::optional<bool> OsTransmitterEmpty(qintptr handle) {
#if defined(Q_OS_LINUX)
  unsigned int status = 0;
  if (::ioctl(static_cast<int>(handle), TIOCSERGETLSR, &status) != 0) return std::nullopt;
  return (status & TIOCSER_TEMT) != 0;
#else
  Q_UNUSED(handle);
  return std::nullopt;
#endif
}
