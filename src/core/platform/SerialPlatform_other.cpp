// The serial link's platform questions where there is no Unix kernel to ask (Windows, the
// station tool's first home): ports keep their Windows names, and Qt's serial port's own queue
// is all that is known of the bytes on their way out.
#include "core/platform/SerialPlatform.h"

QString ComPortDeviceName(int portNumber) {
  if (const std::optional<QString> chosen = ChosenComPortDevice(portNumber)) return *chosen;
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
