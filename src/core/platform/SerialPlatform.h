#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The device that stands for port COM<portNumber> on this platform.
QString ComPortDeviceName(int portNumber);
// Makes COM<portNumber> stand for `device` in this process (a command given a device server's
// address for its port); an empty device gives the port back its own.
void SetComPortDevice(int portNumber, const QString& device);
// The device SetComPortDevice made the port stand for, if any.
std::optional<QString> ChosenComPortDevice(int portNumber);

// Bytes that the operating system still holds for sending on an open serial device.
qint64 OsOutputQueue(qintptr handle);

// The device is gone or its far end hung up (an unplugged adapter, a closed pseudo-terminal):
// the descriptor reports a hang-up or an error.
bool OsLineHungUp(qintptr handle);

// Whether the transmitter has sent its last bit; none where the driver cannot tell (USB
// adapters, pseudo-terminals).
std::optional<bool> OsTransmitterEmpty(qintptr handle);
