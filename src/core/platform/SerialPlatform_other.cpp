// The serial link's platform questions where there is no Unix kernel to ask (Windows, the
// station tool's first home): ports keep their Windows names, and Qt's serial port's own queue
// is all that is known of the bytes on their way out.
#include "core/platform/SerialPlatform.h"

namespace {
// The port a command was pointed at by address, and that address.
int chosenPort = 0;
QString chosenDevice;
}  // namespace

void SetComPortDevice(int portNumber, const QString& device) {
  chosenPort = device.isEmpty() ? 0 : portNumber;
  chosenDevice = device;
}

QString ComPortDeviceName(int portNumber) {
  if (portNumber == chosenPort) return chosenDevice;
  return QStringLiteral("\\\\.\\COM%1").arg(portNumber);
}

qint64 OsOutputQueue(qintptr) {
  return 0;
}

bool OsLineHungUp(qintptr) {
  return false;
}

std::optional<bool> OsTransmitterEmpty(qintptr) {
  return std::nullopt;
}
