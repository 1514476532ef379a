#include "cli/PortDiagnosis.h"

#include <QLocale>
#include <QStringList>

#include "core/link/RS232.h"
#include "core/platform/Processes.h"
#include "core/station/StationCtrl.h"

QString PortLine(const StationCtrlClass& station, int portNumber) {
  const RS232Class* link = station.Link();
  if (!link) return {};
  QString reason = link->OpenFailure();
  if (reason.isEmpty() && link->LongestPause() > RS232Class::kPauseNoticeMs) {
    // Neither the cable nor the station: this program stood still while the station spoke.
    return QStringLiteral(
               "COM%1 is %2: программа была приостановлена на %3 с; run the command "
               "again")
        .arg(portNumber)
        .arg(link->DeviceName(),
             QLocale(QLocale::Russian)
                 .toString(static_cast<double>(link->LongestPause()) / 1000, 'f', 1));
  }
  if (reason.isEmpty()) {
    reason = QStringLiteral("the port opened but the station did not answer or a read failed");
  } else {
    const QStringList holders = OsDeviceHolders(link->DeviceName());
    if (!holders.isEmpty()) {
      reason += QStringLiteral(" (in use by %1)").arg(holders.join(QStringLiteral(", ")));
    }
  }
  return QStringLiteral("COM%1 is %2: %3; run: norvel doctor")
      .arg(portNumber)
      .arg(link->DeviceName(), reason);
}

std::optional<DeviceFault> FindDeviceFault(const StationCtrlClass& station) {
  const QString failure = station.Link() ? station.Link()->OpenFailure() : QString();
  if (failure.contains(QStringLiteral("No such file"), Qt::CaseInsensitive)) {
    return DeviceFault{QStringLiteral("device_missing"),
                       QStringLiteral("the port's device is not there")};
  }
  if (failure.contains(QStringLiteral(" is no known host"))) {
    return DeviceFault{QStringLiteral("unknown_host"),
                       QStringLiteral("the device server's name is not known")};
  }
  if (failure.contains(QStringLiteral("ermission"))) {
    return DeviceFault{QStringLiteral("permission_denied"),
                       QStringLiteral("this user may not open the port's device")};
  }
  return std::nullopt;
}
