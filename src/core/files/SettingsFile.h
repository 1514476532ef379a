#pragma once

#include <QDateTime>

#include "core/base/Ports.h"

class Clock;
class OperatorUi;
class QString;

// "NorvelWin.ini": the moment of the last reset of the station's records, the serial port
// number and the board count, three CR LF lines in Windows-1251.
struct LinkSettings {
  QDateTime resetMoment;
  quint16 portNumber = kDefaultPort;
  quint16 boardCount = 2;
};

inline constexpr char kSettingsFileName[] = "NorvelWin.ini";
// What a first start without the file says: a notice of the first run, not a fault.
inline constexpr char kSettingsFileMissingText[] = "Не найден файл NorvelWin.ini";

// Reads the file, showing its own messages. A missing file gives port 2, 2 boards and now; an
// unreadable first line gives now. A port or board line that is not a number, or a file that
// cannot be read, throws IoError.
LinkSettings ReadSettingsFile(const QString& dir, OperatorUi& ui, Clock& clock);

// Writes the three lines, replacing the file whole. Throws IoError on failure; the former file
// then stays as it was.
void WriteSettingsFile(const QString& dir, quint16 portNumber, quint16 boardCount,
                       const QDateTime& resetMoment);

// Stores a new port number and board count, keeping the stored reset moment.
void SaveLinkSettings(const QString& dir, OperatorUi& ui, Clock& clock, quint16 portNumber,
                      quint16 boardCount);
