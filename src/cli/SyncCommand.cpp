// norvel sync: the calls of the working directory's month files into an SQLite file or a
// PostgreSQL database, where the calls of many stations and years are queried together.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "cli/LastReception.h"
#include "cli/NorvelCommand.h"
#include "core/base/Clock.h"
#include "core/sync/CallSync.h"

namespace {

struct Outcome {
  int exitCode = exitcode::kOk;
  QString reason = QStringLiteral("synced");
  QString station;
  SyncResult result;
};

QByteArray Json(const Outcome& outcome) {
  QJsonArray files;
  for (const SyncedFile& file : outcome.result.files) {
    files.append(QJsonObject{{QStringLiteral("file"), file.file},
                             {QStringLiteral("added"), file.added},
                             {QStringLiteral("removed"), file.removed},
                             {QStringLiteral("resynced"), file.resynced}});
  }
  const QJsonObject object{{QStringLiteral("exit_code"), outcome.exitCode},
                           {QStringLiteral("reason"), outcome.reason},
                           {QStringLiteral("station"), outcome.station},
                           {QStringLiteral("timezone"), outcome.result.timezone},
                           {QStringLiteral("added"), outcome.result.added},
                           {QStringLiteral("removed"), outcome.result.removed},
                           {QStringLiteral("pruned"), outcome.result.pruned},
                           {QStringLiteral("rerated"), outcome.result.rerated},
                           {QStringLiteral("unchanged"), outcome.result.unchanged},
                           {QStringLiteral("costs"), outcome.result.costs},
                           {QStringLiteral("alerts"), outcome.result.alerts},
                           {QStringLiteral("files"), files}};
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// "synced 25 calls of office1: Data12.txt 25 (again, 3 removed)".
QByteArray Summary(const Outcome& outcome) {
  QString text =
      QStringLiteral("synced %1 calls of %2").arg(outcome.result.added).arg(outcome.station);
  QStringList files;
  for (const SyncedFile& file : outcome.result.files) {
    QString part = QStringLiteral("%1 %2").arg(file.file).arg(file.added);
    if (file.resynced) part += QStringLiteral(" (read again whole)");
    files << part;
  }
  if (!files.isEmpty()) text += QStringLiteral(": ") + files.join(QStringLiteral(", "));
  if (outcome.result.rerated > 0) {
    text += QStringLiteral("; %1 stored calls re-rated").arg(outcome.result.rerated);
  }
  if (outcome.result.pruned > 0) {
    text += QStringLiteral("; %1 calls before the prune day deleted").arg(outcome.result.pruned);
  }
  if (outcome.exitCode != exitcode::kOk) text += QStringLiteral("; stopped: ") + outcome.reason;
  return (text + u'\n').toUtf8();
}

}  // namespace

int RunSync(const QStringList& arguments, CommandIo& io) {
  CommandLine line(
      io, QStringLiteral("sync"),
      QStringLiteral("Copies the calls of the working directory's month files into the table "
                     "'calls' of a database: an SQLite file (sqlite:PATH, no server) or "
                     "PostgreSQL (postgresql://user@host/db; a Unix socket with "
                     "?host=/run/postgresql). Running it again adds only new calls; a month "
                     "file whose synced part changed is synced again whole, in one transaction. "
                     "With a tariff file the rows get their zone and cost. The station's name "
                     "is kept in NorvelStation.txt of the working directory: given once with "
                     "--station, or made from the host's and the directory's names."));
  line.Add({QStringLiteral("db"), QStringLiteral("The database: sqlite:PATH or postgresql://..."),
            QStringLiteral("URL")});
  line.AddDirOption();
  line.Add({QStringLiteral("station"),
            QStringLiteral("The station's name, the first time (letters, digits, '.', '_', '-')."),
            QStringLiteral("NAME")});
  line.Add({QStringLiteral("timezone"),
            QStringLiteral("The zone of the station's clock, the first time (as Europe/Moscow); "
                           "without it, this machine's."),
            QStringLiteral("ZONE")});
  line.Add({QStringLiteral("init"),
            QStringLiteral("Create the tables and their index when they are missing.")});
  line.Add({QStringLiteral("prune-before"),
            QStringLiteral("Delete this station's calls that started before the day, and record "
                           "it; no later sync adds them back (retention)."),
            QStringLiteral("YYYY-MM-DD")});
  line.Add({QStringLiteral("rerate"),
            QStringLiteral("Give this station's stored calls the zones and costs of the tariff "
                           "file, and the names of the subscriber directory, as they are now "
                           "(with --month, of that month only).")});
  line.Add({QStringLiteral("month"), QStringLiteral("The month of --rerate, 1..12."),
            QStringLiteral("M")});
  line.Add({QStringLiteral("json"), QStringLiteral("Print one JSON object instead of the line.")});
  line.Add(QuietOption());
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  if (!line.Positional().isEmpty()) {
    return line.Usage(QStringLiteral("unexpected '%1'").arg(line.Positional().first()));
  }
  if (!line.IsSet(QStringLiteral("db"))) return line.Usage(QStringLiteral("--db URL is needed"));
  SyncOptions options;
  QString problem;
  QString url = line.Value(QStringLiteral("db"));
  if (url.startsWith(QLatin1String("sqlite:"))) {
    // A relative SQLite path is taken from where the command runs, as any file argument.
    const QString path = url.mid(7);
    if (!path.isEmpty())
      url = QStringLiteral("sqlite:") + QDir(io.currentDir).absoluteFilePath(path);
  }
  if (!ParseDatabaseTarget(url, options.target, &problem)) return line.Usage(problem);
  options.dir =
      QDir(io.currentDir)
          .absoluteFilePath(line.IsSet(QStringLiteral("dir")) ? line.Value(QStringLiteral("dir"))
                                                              : QStringLiteral("."));
  options.dir = QDir::cleanPath(options.dir);
  if (!QDir(options.dir).exists()) {
    return line.Usage(QStringLiteral("no directory '%1'").arg(options.dir));
  }
  const QString wanted = line.Value(QStringLiteral("station"));
  if (line.IsSet(QStringLiteral("station")) && !ValidStationName(wanted)) {
    return line.Usage(
        QStringLiteral("'%1' is no station name: letters, digits, '.', '_', '-', up to 64")
            .arg(wanted));
  }
  options.timezone = line.Value(QStringLiteral("timezone"));
  if (line.IsSet(QStringLiteral("timezone")) && !QTimeZone(options.timezone.toLatin1()).isValid()) {
    return line.Usage(QStringLiteral("'%1' is no time zone this machine knows (as Europe/Moscow)")
                          .arg(options.timezone));
  }
  options.init = line.IsSet(QStringLiteral("init"));
  // The last reception of the directory goes with the run into the database.
  if (const std::optional<QJsonObject> reception = ReadLastReception(options.dir)) {
    options.receptionAt = reception->value(QStringLiteral("time")).toString();
    options.receptionResult = reception->value(QStringLiteral("reason")).toString();
  }
  options.rerate = line.IsSet(QStringLiteral("rerate"));
  const std::optional<int> month = line.Number(QStringLiteral("month"), 1, 12, 0);
  if (!month) return exitcode::kUsage;
  if (*month != 0 && !options.rerate)
    return line.Usage(QStringLiteral("--month goes with --rerate"));
  options.rerateMonth = *month;
  if (line.IsSet(QStringLiteral("prune-before"))) {
    options.pruneBefore =
        QDate::fromString(line.Value(QStringLiteral("prune-before")), QStringLiteral("yyyy-MM-dd"));
    if (!options.pruneBefore.isValid()) {
      return line.Usage(QStringLiteral("--prune-before takes a day as YYYY-MM-DD"));
    }
  }
  const bool json = line.IsSet(QStringLiteral("json"));
  const bool quiet = line.IsSet(QStringLiteral("quiet"));
  ConsoleUi ui(io.err, false);

  Outcome outcome;
  UnfinishedRun unfinished(options.dir, kLastSyncName);
  try {
    options.station = ReadStationIdentity(options.dir);
    if (options.station.name.isEmpty()) {
      options.station =
          NewStationIdentity(wanted.isEmpty() ? DefaultStationName(options.dir) : wanted);
      options.newStation = true;
      options.nameChosen = !wanted.isEmpty();
    } else if (!wanted.isEmpty() && wanted != options.station.name) {
      return line.Usage(
          QStringLiteral("this working directory is station '%1' (%2); its rows in the "
                         "database are kept under that name")
              .arg(options.station.name, QLatin1String(kStationFileName)));
    }
    outcome.station = options.station.name;
    SyncCalls(options, outcome.result);
    outcome.station = outcome.result.station;
    if (!outcome.result.alertsProblem.isEmpty()) {
      ui.Say(outcome.result.alertsProblem + QStringLiteral(" (подозрительные вызовы не сохранены)"),
             ConsoleUi::Priority::kWarning);
    }
    if (outcome.result.stationRegistered && options.newStation) {
      ui.Say(QStringLiteral("Станция этого рабочего каталога названа «%1» (файл %2)")
                 .arg(options.station.name, QLatin1String(kStationFileName)));
    } else if (options.newStation) {
      ui.Say(QStringLiteral("Файл %1 восстановлен по базе: этот рабочий каталог — станция «%2»")
                 .arg(QLatin1String(kStationFileName), outcome.station),
             ConsoleUi::Priority::kWarning);
    }
  } catch (const DatabaseError& error) {
    ui.Say(error.Message());
    outcome.exitCode = error.Reachable() ? exitcode::kFilesFailed : exitcode::kNoAnswer;
    outcome.reason = error.Reachable() ? QStringLiteral("database_refused")
                                       : QStringLiteral("database_unreachable");
  } catch (const NorvelError& error) {
    ui.Say(error.Message());
    outcome.exitCode = exitcode::kFilesFailed;
    outcome.reason = QStringLiteral("files_failed");
  }
  // Findings the database refused: the calls and figures are stored, the alerts need a person.
  for (const QString& refused : outcome.result.alertsNotStored) {
    ui.Say(QStringLiteral("Подозрительные вызовы не сохранены: ") + refused);
  }
  if (!outcome.result.alertsNotStored.isEmpty() && outcome.exitCode == exitcode::kOk) {
    outcome.exitCode = exitcode::kFilesFailed;
    outcome.reason = QStringLiteral("alerts_not_stored");
  }
  for (const QString& note : outcome.result.notes) ui.Say(note, ConsoleUi::Priority::kWarning);
  // Kept for norvel status, per database: when this sync ran and how it ended.
  QString unwritten;
  if (WriteLastSync(options.dir, options.target.Describe(),
                    QJsonDocument::fromJson(Json(outcome)).object(),
                    io.clock.Now().toString(QLatin1String(kLastReceptionTimeFormat)), &unwritten)) {
    unfinished.Recorded();
  } else {
    ui.Say(QStringLiteral("Не удается записать файл %1: %2")
               .arg(QLatin1String(kLastSyncName), unwritten));
  }
  if (json) {
    io.out.write(Json(outcome));
  } else if (!quiet) {
    // In the journal a failed sync shows with -p err, an unreachable server as a warning.
    io.out.write(
        WithPriority(1, SummaryPriority(outcome.exitCode), QString::fromUtf8(Summary(outcome))));
  }
  return outcome.exitCode;
}
