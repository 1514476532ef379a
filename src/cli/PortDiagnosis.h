#pragma once

#include <QString>
#include <optional>

class StationCtrlClass;

// What stands behind "the station does not answer", for every command that talks to it.

// The line that tells the four faults behind "Проверьте подключение..." apart: a device that
// is not there, one another program holds (named), one this user may not open, or a station
// that is silent on a port that opened.
QString PortLine(const StationCtrlClass& station, int portNumber);

// A device that is not there, or that this user may not open, will not mend itself by morning:
// a person must look, and a timer must not simply try again.
struct DeviceFault {
  QString reason;  // device_missing, permission_denied, unknown_host
  QString text;    // "the port's device is not there"
};
std::optional<DeviceFault> FindDeviceFault(const StationCtrlClass& station);
