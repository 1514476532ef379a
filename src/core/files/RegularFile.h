#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QFile;

// Opens a file the program reads as data (a month file, the tariff file, a configuration) only
// when it is a regular file, links followed: a FIFO would hold the open or the read for ever,
// and a device such as /dev/zero would never end. False with the reason otherwise.
bool OpenRegularFile(QFile& file, QString* problem);

// A configuration file named on the command line: at most `largest` bytes of it (513 by
// default, enough to tell a whole image from a longer file), and its real size.
struct ConfigFileBytes {
  QByteArray bytes;
  qint64 size = 0;
};
std::optional<ConfigFileBytes> ReadConfigFile(const QString& path, QString* problem,
                                              qint64 largest = 513);

// An echo of bad input for a message: at most 200 characters, with the whole length when cut,
// so a damaged line of many megabytes does not flood the terminal or the journal.
QString ShortEcho(const QString& text);

// A small text file a person writes by hand (the tariff file, the subscriber directory), from
// the working directory: none when there is no such file. Only a regular file of at most
// `largest` bytes, in UTF-8 (a byte order mark and carriage returns are dropped); throws IoError
// when it cannot be read or is too large, ConvertError naming the first line not in UTF-8.
std::optional<QString> ReadHandWrittenFile(const QString& dir, const QString& name, qint64 largest);

// A line of such a file made of "[name]" headings and "key = value" settings, "#" starting a
// comment; none for a blank or comment line. A line that is neither is told by its kind, for
// the file's parser to name.
struct HandWrittenLine {
  enum class Kind { kHeading, kSetting, kBadHeading, kNoEquals };
  Kind kind = Kind::kSetting;
  QString name;   // the heading's name, or the setting's key
  QString value;  // the setting's value
};
std::optional<HandWrittenLine> ReadHandWrittenLine(QString line);
