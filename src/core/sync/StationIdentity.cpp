#include "core/sync/StationIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTimeZone>
#include <QUuid>
#include <QVariant>

#include "core/base/Errors.h"
#include "core/platform/DurableFile.h"
#include "core/sync/DatabaseConnection.h"

bool ValidStationName(const QString& name) {
  static const QRegularExpression shape(QStringLiteral("^[\\w.-]{1,64}$"),
                                        QRegularExpression::UseUnicodePropertiesOption);
  return shape.match(name).hasMatch();
}

StationIdentity ReadStationIdentity(const QString& dir) {
  QFile file(QDir(dir).filePath(QLatin1String(kStationFileName)));
  if (!file.exists()) return {};
  if (!file.open(QIODevice::ReadOnly)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2")
                      .arg(QLatin1String(kStationFileName), file.errorString()));
  }
  StationIdentity identity;
  const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  for (QString line : lines) {
    line = line.section(u'#', 0, 0).trimmed();
    if (line.isEmpty()) continue;
    const QString key = line.section(u'=', 0, 0).trimmed();
    const QString value = line.section(u'=', 1).trimmed();
    if (key == QLatin1String("name")) identity.name = value;
    if (key == QLatin1String("id")) identity.id = value;
  }
  if (!ValidStationName(identity.name) || identity.id.isEmpty()) {
    throw ConvertError(
        QStringLiteral("Файл %1: нужны строки «name = ИМЯ» (буквы, цифры, «.», «_», «-») и "
                       "«id = ...»")
            .arg(QLatin1String(kStationFileName)));
  }
  return identity;
}

StationIdentity NewStationIdentity(const QString& name) {
  return {name, QUuid::createUuid().toString(QUuid::WithoutBraces)};
}

void WriteStationIdentity(const QString& dir, const StationIdentity& identity) {
  const QString text =
      QStringLiteral(
          "# The name under which norvel sync stores this working directory's calls, and the id\n"
          "# that tells this directory from any other claiming the same name. Keep both: the\n"
          "# database knows the station by them.\n"
          "name = %1\n"
          "id = %2\n")
          .arg(identity.name, identity.id);
  QString error;
  if (!ReplaceFileDurably(QDir(dir).filePath(QLatin1String(kStationFileName)), text.toUtf8(),
                          &error)) {
    throw IoError(QStringLiteral("Не удается записать файл %1: %2")
                      .arg(QLatin1String(kStationFileName), error));
  }
}

QString DefaultStationName(const QString& dir) {
  QString name = QSysInfo::machineHostName().section(u'.', 0, 0) + u'-' +
                 QFileInfo(QDir(dir).absolutePath()).fileName();
  static const QRegularExpression other(QStringLiteral("[^\\w.-]+"),
                                        QRegularExpression::UseUnicodePropertiesOption);
  name.replace(other, QStringLiteral("-"));
  name = name.left(64);
  return ValidStationName(name) ? name : QStringLiteral("station");
}

namespace {

// The zone a station is registered with; a different one asked for is refused, since the
// station's stored calls were read in the registered one.
QString RegisteredZone(const QString& station, const QString& registered, const QString& wanted) {
  if (!wanted.isEmpty() && wanted != registered) {
    throw ConvertError(QStringLiteral("Станция «%1» записана в базе с часовым поясом %2, а не %3; "
                                      "ее звонки прочитаны в нем")
                           .arg(station, registered, wanted));
  }
  return registered;
}

}  // namespace

bool RegisterStation(DatabaseConnection& c, StationIdentity& station, const QString& dir,
                     bool newStation, bool nameChosen, QString& timezone) {
  // A directory whose identity file is gone is known by its host and path: it takes its
  // registration back rather than start a second station with the same calls.
  if (newStation) {
    QSqlQuery known = c.Prepare(
        QStringLiteral("SELECT name, id, timezone FROM stations WHERE host = ? AND dir = ?"));
    known.addBindValue(QSysInfo::machineHostName());
    known.addBindValue(QDir(dir).absolutePath());
    c.Run(known);
    if (known.next()) {
      const StationIdentity registered{known.value(0).toString(), known.value(1).toString()};
      if (nameChosen && registered.name != station.name) {
        throw ConvertError(QStringLiteral("Этот рабочий каталог уже записан в базе как станция "
                                          "«%1»; его звонки хранятся под этим именем")
                               .arg(registered.name));
      }
      timezone = RegisteredZone(registered.name, known.value(2).toString(), timezone);
      station = registered;
      WriteStationIdentity(dir, station);
      return false;
    }
  }
  // Two first syncs of one name at once: the second waits, then finds the name taken by the
  // same id, or by another.
  c.BeginExclusive(QStringLiteral("station:") + station.name);
  QSqlQuery find =
      c.Prepare(QStringLiteral("SELECT id, host, dir, timezone FROM stations WHERE name = ?"));
  find.addBindValue(station.name);
  c.Run(find);
  if (find.next()) {
    if (find.value(0).toString() != station.id) {
      throw ConvertError(
          QStringLiteral("Имя станции «%1» в базе уже занято другим рабочим каталогом "
                         "(%2:%3); выберите другое имя в файле %4")
              .arg(station.name, find.value(1).toString(), find.value(2).toString(),
                   QLatin1String(kStationFileName)));
    }
    timezone = RegisteredZone(station.name, find.value(3).toString(), timezone);
    c.Rollback();
    if (newStation) WriteStationIdentity(dir, station);
    return false;
  }
  // A station's clock is taken to be in this machine's zone unless one was given.
  if (timezone.isEmpty()) timezone = QString::fromLatin1(QTimeZone::systemTimeZoneId());
  QSqlQuery add = c.Prepare(QStringLiteral(
      "INSERT INTO stations (name, id, host, dir, timezone) VALUES (?, ?, ?, ?, ?)"));
  add.addBindValue(station.name);
  add.addBindValue(station.id);
  add.addBindValue(QSysInfo::machineHostName());
  add.addBindValue(QDir(dir).absolutePath());
  add.addBindValue(timezone);
  c.Run(add);
  // The file before the commit: a commit that fails after it leaves a name the database does
  // not know yet, which the next sync registers; never a name held by an id nobody keeps.
  try {
    if (newStation) WriteStationIdentity(dir, station);
  } catch (...) {
    c.Rollback();
    throw;
  }
  c.Commit();
  return true;
}
