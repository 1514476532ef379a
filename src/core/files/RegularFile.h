#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QFile;

// Opens a file the program reads as data (a month file, the tariff file, a configuration) only
// when it is a regular file, links followed: a FIFO would hold the open or the read for ever,
// and a device such as /dev/zero would never end. False with the reason otherwise.
bool OpenRegularFile(QFile& file, QString* problem);

// A configuration file named on the command line: at most 513 bytes of it (enough to tell a
// whole image from a longer file), and its real size.
struct ConfigFileBytes {
  QByteArray bytes;
  qint64 size = 0;
};
std::optional<ConfigFileBytes> ReadConfigFile(const QString& path, QString* problem);

// An echo of bad input for a message: at most 200 characters, with the whole length when cut,
// so a damaged line of many megabytes does not flood the terminal or the journal.
QString ShortEcho(const QString& text);
