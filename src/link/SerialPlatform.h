#pragma once

#include <QString>
#include <QtGlobal>

// The device that stands for port COM<portNumber> on this platform.
QString ComPortDeviceName(int portNumber);

// Bytes that the operating system still holds for sending on an open serial device.
qint64 OsOutputQueue(qintptr handle);
