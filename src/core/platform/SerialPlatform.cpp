// What both platforms share of naming ports: the address a command gave for its port.
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

std::optional<QString> ChosenComPortDevice(int portNumber) {
  if (chosenPort == 0 || portNumber != chosenPort) return std::nullopt;
  return chosenDevice;
}
